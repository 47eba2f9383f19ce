#include "conversion/export_conversion.h"

#include <string.h>
#include <windows.h>

#include "app/progress_window.h"
#include "common/file_routines.h"
#include "common/result_codes.h"
#include "common/text_limits.h"
#include "conversion/conversion_state.h"
#include "conversion/converter_binding.h"
#include "conversion/fault_guard.h"
#include "discovery/converter_enumerator.h"

namespace {

const UINT EXPORT_BLOCK_FLAGS = GMEM_MOVEABLE | GMEM_ZEROINIT;
const SIZE_T EXPORT_CHUNK_SIZE = 2048;
const SIZE_T SIDE_BLOCK_SIZE = 8;

// The side block as handed over: 8 and 1 as 16-bit values, then zeros.
// The transfer buffer starts with the side block's handle: 4 bytes of handle
// and 4 zero bytes on i686; on x86_64 a handle is 8 bytes and fills all 8.
bool fill_side_and_transfer(HGLOBAL side_block, HGLOBAL transfer_buffer) {
    unsigned char *side = static_cast<unsigned char *>(GlobalLock(side_block));
    if (!side) return false;
    const unsigned short header[2] = {8, 1};
    memcpy(side, header, sizeof header);
    GlobalUnlock(side_block);

    unsigned char *transfer = static_cast<unsigned char *>(GlobalLock(transfer_buffer));
    if (!transfer) return false;
    static_assert(sizeof side_block <= SIDE_BLOCK_SIZE, "the handle must fit the 8-byte transfer buffer");
    memcpy(transfer, &side_block, sizeof side_block);
    GlobalUnlock(transfer_buffer);
    return true;
}

}  // namespace

int export_driver(const char *source_path, const char *destination_path, int converter_index) {
    // One run, one export: kept off the stack converters run on.
    static WCHAR source_file[PATH_BUFFER_SIZE], destination_file[PATH_BUFFER_SIZE];
    resolve_path(source_path, source_file);
    resolve_path(destination_path, destination_file);
    ConversionParams params = {source_path, destination_path, converter_index, source_file, destination_file};
    return enumerate_converters(export_attempt, &params, 1);
}

int export_attempt(const char *display_name, const char *library_path, const char *, int running_index, int,
                   int, int running_result, void *context) {
    const ConversionParams *params = static_cast<const ConversionParams *>(context);
    if (params->converter_index != running_index) return running_result;

    // Released in reverse: transfer buffer, side block, path handle,
    // class-name handle, then the library.
    ConverterLibrary lib;
    GlobalBlock class_name_handle;
    GlobalBlock path_handle;
    GlobalBlock side_block;
    GlobalBlock transfer_buffer;
    if (bind_converter(&lib, library_path, 1, NULL) != BIND_OK) return RESULT_EXPORT_CANNOT_START;

    // The converter is told the destination in the path handle; one it cannot
    // hold is a destination that cannot be created.
    if (!path_fits_path_handle(params->destination_path)) return RESULT_DESTINATION_NOT_CREATED;
    path_handle.handle = make_path_handle(EXPORT_BLOCK_FLAGS, params->destination_path);
    if (!path_handle.handle) return RESULT_EXPORT_CANNOT_START;

    // The source is opened and every block taken before the destination is
    // truncated, so neither a missing source nor a failed allocation costs
    // the caller an existing destination.
    // Read through this handle only, never a C runtime stream that
    // converter code sharing the runtime could close.
    OwnFile source;
    source.take(open_for_reading(params->source_file));
    if (!source.is_open()) return RESULT_EXPORT_CANNOT_START;
    class_name_handle.handle = make_class_name_handle(EXPORT_BLOCK_FLAGS, display_name);
    if (!class_name_handle.handle) return RESULT_EXPORT_CANNOT_START;
    side_block.handle = g_global_alloc(EXPORT_BLOCK_FLAGS, SIDE_BLOCK_SIZE);
    transfer_buffer.handle = g_global_alloc(EXPORT_BLOCK_FLAGS, SIDE_BLOCK_SIZE);
    if (!side_block.handle || !transfer_buffer.handle ||
        !fill_side_and_transfer(side_block.handle, transfer_buffer.handle))
        return RESULT_EXPORT_CANNOT_START;

    // Truncating the source as destination would destroy it before it is read.
    if (same_file(params->destination_file, params->source_file)) return RESULT_DESTINATION_NOT_CREATED;
    HANDLE destination = create_for_writing(params->destination_file);
    if (destination == INVALID_HANDLE_VALUE) return RESULT_DESTINATION_NOT_CREATED;
    CloseHandle(destination);
    // Watched until the run ends, unless deleted here: through the folder,
    // so a converter may replace the file (write its own and rename it over
    // the destination) and still succeed.
    fault_guard_destination(params->destination_file, NULL);

    before_converter_code();
    if (lib.register_app) lib.register_app(1, NULL);

    g_bytes_read = 0;
    LARGE_INTEGER length;
    g_total_length = GetFileSizeEx(source.handle(), &length) ? length.QuadPart : -1;

    {
        ConversionStateLock lock;
        g_input_file = &source;
        g_transfer_buffer = transfer_buffer.handle;
        g_read_failed = 0;
    }
    before_converter_code();
    int result = converter_result(lib.rtf_to_foreign(path_handle.handle, NULL, transfer_buffer.handle,
                                                     class_name_handle.handle, input_callback));
    {
        ConversionStateLock lock;
        g_transfer_buffer = NULL;
        g_input_file = NULL;
    }
    source.release();

    // The converter saw only part of the source: never a success.
    if (result >= 0 && g_read_failed) result = RESULT_EXPORT_CANNOT_START;
    result = settle_own_files(result);
    if (result < 0 && !fault_guard_delete_destination()) result = RESULT_OWN_FILE_CHANGED;
    return result;
}

long __stdcall input_callback(long, long) {
    // As in the output callback: the filter and the error modes again.
    arm_fault_guard();
    ConversionStateLock lock;
    if (!g_input_file || !g_transfer_buffer) return 0;
    HGLOBAL buffer = g_transfer_buffer;
    if (GlobalSize(buffer) < EXPORT_CHUNK_SIZE) {
        // Moveable: the handle stays valid, the returned one is not needed.
        g_global_realloc(buffer, EXPORT_CHUNK_SIZE, 0);
        // Never read more than the block holds: a block that did not grow
        // ends the data as a read failure.
        if (GlobalSize(buffer) < EXPORT_CHUNK_SIZE) {
            g_read_failed = 1;
            return 0;
        }
    }
    void *bytes = GlobalLock(buffer);
    if (!bytes) {
        g_read_failed = 1;
        return 0;
    }
    // A source handle that names another file by now is read no further:
    // those would be a converter's bytes.
    DWORD n = 0;
    if (!g_input_file->still_names_it()) {
        fault_guard_note_own_file_changed();
        g_read_failed = 1;
    } else {
        // Up to a whole chunk, as one stream read gave: ReadFile may give
        // less before the end.
        DWORD got;
        while (n < EXPORT_CHUNK_SIZE) {
            if (!ReadFile(g_input_file->handle(), static_cast<char *>(bytes) + n,
                          static_cast<DWORD>(EXPORT_CHUNK_SIZE) - n, &got, NULL)) {
                g_read_failed = 1;
                break;
            }
            if (got == 0) break;
            n += got;
        }
    }
    GlobalUnlock(buffer);
    g_bytes_read += static_cast<long long>(n);

    // An empty (or unmeasurable) source has been read whole once it ends.
    int percent = g_total_length > 0 ? static_cast<int>(g_bytes_read * 100 / g_total_length) : 100;
    progress_update(percent);
    return static_cast<long>(n);
}
