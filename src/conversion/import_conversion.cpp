#include "conversion/import_conversion.h"

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

const SIZE_T IMPORT_TRANSFER_SIZE = 2048;
const SIZE_T BLANK_HANDLE_SIZE = 32;

}  // namespace

int import_driver(const char *source_path, const char *destination_path) {
    // One run, one import: kept off the stack converters run on.
    static WCHAR source_file[PATH_BUFFER_SIZE], destination_file[PATH_BUFFER_SIZE];
    resolve_path(source_path, source_file);
    resolve_path(destination_path, destination_file);
    ConversionParams params = {source_path, destination_path, 0, source_file, destination_file};
    return enumerate_converters(import_attempt, &params, 0);
}

int import_attempt(const char *display_name, const char *library_path, const char *, int, int, int,
                   int running_result, void *context) {
    const ConversionParams *params = static_cast<const ConversionParams *>(context);

    // Released in reverse: transfer buffer, blank handle, path handle,
    // class-name handle, then the library.
    ConverterLibrary lib;
    GlobalBlock class_name_handle;
    GlobalBlock path_handle;
    GlobalBlock blank_handle;
    GlobalBlock transfer_buffer;
    if (bind_converter(&lib, library_path, 0, g_progress_window) != BIND_OK) return running_result;

    // A source path the path handle cannot hold is one no converter can be
    // asked about: not taken.
    path_handle.handle = make_path_handle(GMEM_ZEROINIT, params->source_path);
    if (!path_handle.handle) return running_result;
    class_name_handle.handle = make_class_name_handle(GMEM_ZEROINIT, display_name);
    if (!class_name_handle.handle) return running_result;

    before_converter_code();
    if (lib.register_app) lib.register_app(1, NULL);

    before_converter_code();
    if (lib.is_format_correct(path_handle.handle, class_name_handle.handle) == 0) return running_result;

    // Taken before the destination is touched, so that a failed allocation
    // leaves it as it was.
    blank_handle.handle = g_global_alloc(GMEM_ZEROINIT, BLANK_HANDLE_SIZE);
    transfer_buffer.handle = g_global_alloc(GMEM_ZEROINIT, IMPORT_TRANSFER_SIZE);
    if (!blank_handle.handle || !transfer_buffer.handle) return running_result;

    // Opening the source itself for writing would truncate it before the
    // converter reads it: a destination that cannot be opened.
    if (same_file(params->destination_file, params->source_file)) return running_result;
    // Written through this handle only, never a C runtime stream that
    // converter code sharing the runtime could close (_fcloseall).
    OwnFile destination;
    destination.take(create_for_writing(params->destination_file));
    if (!destination.is_open()) return running_result;
    // Watched until the run ends, unless deleted here: the run may still
    // end through the guard after a success.
    fault_guard_destination(params->destination_file, &destination);

    {
        ConversionStateLock lock;
        g_output_file = &destination;
        g_transfer_buffer = transfer_buffer.handle;
        g_write_failed = 0;
    }
    before_converter_code();
    int result = converter_result(lib.foreign_to_rtf(path_handle.handle, NULL, transfer_buffer.handle, NULL,
                                                     blank_handle.handle, output_callback));
    {
        ConversionStateLock lock;
        g_transfer_buffer = NULL;
        g_output_file = NULL;
    }

    // A destination that misses chunks is no success, whatever the converter
    // says; one whose handle names another file by now is not ours to
    // report on at all.
    if (!destination.still_names_it()) fault_guard_note_own_file_changed();
    if (result >= 0 && g_write_failed) result = RESULT_WRITE_FAILED;
    result = settle_own_files(result);
    // Deleted while the handle is still open, so that it can serve where the
    // folder handle cannot; gone once it is closed.
    if (result < 0 && !fault_guard_delete_destination()) result = RESULT_OWN_FILE_CHANGED;
    fault_guard_destination_closed();
    destination.release();
    return result;
}

long __stdcall output_callback(long count, long percent) {
    int chunk = static_cast<short>(count & 0xFFFF);
    int shown = static_cast<short>(percent & 0xFFFF);
    // Converter code may have put its own filter or error mode in place
    // since the entry point was called; not the DLL directory, which a
    // converter may set to load a helper during a conversion.
    arm_fault_guard();
    ConversionStateLock lock;
    if (!g_output_file || !g_transfer_buffer) return RESULT_WRITE_FAILED;

    // A count the block cannot hold would read past its end: refused like a
    // failed write, and never written.
    if (chunk < 0 || static_cast<SIZE_T>(chunk) > GlobalSize(g_transfer_buffer)) {
        g_write_failed = 1;
        return RESULT_WRITE_FAILED;
    }
    const void *bytes = GlobalLock(g_transfer_buffer);
    if (!bytes) {
        g_write_failed = 1;
        return RESULT_WRITE_FAILED;
    }
    bool ours = chunk == 0 || g_output_file->still_names_it();
    if (!ours) fault_guard_note_own_file_changed();
    if (!ours || (chunk != 0 && !write_all(g_output_file->handle(), bytes, static_cast<DWORD>(chunk)))) {
        GlobalUnlock(g_transfer_buffer);
        g_write_failed = 1;
        return RESULT_WRITE_FAILED;
    }
    GlobalUnlock(g_transfer_buffer);
    progress_update(shown);
    return 0;
}
