#include "app/request_dispatch.h"

#include <string.h>

#include "app/progress_window.h"
#include "app/request.h"
#include "common/file_routines.h"
#include "common/result_codes.h"
#include "common/status_text.h"
#include "common/text_limits.h"
#include "conversion/export_conversion.h"
#include "conversion/fault_guard.h"
#include "conversion/import_conversion.h"
#include "discovery/converter_enumerator.h"
#include "listing/list_writer.h"

namespace {

// The request file read through a handle, a buffer at a time.
struct HandleReader {
    HANDLE file;
    char buffer[512];
    DWORD length;
    DWORD at;
};

int handle_next(void *context) {
    HandleReader *reader = static_cast<HandleReader *>(context);
    if (reader->at == reader->length) {
        reader->at = 0;
        if (!ReadFile(reader->file, reader->buffer, sizeof reader->buffer, &reader->length, NULL))
            reader->length = 0;
        if (reader->length == 0) return -1;
    }
    return static_cast<unsigned char>(reader->buffer[reader->at++]);
}

// Reads the request file; it is closed again before any converter is
// enumerated.
void read_request_file(const WCHAR *request_file, Request *req) {
    HandleReader reader = {open_for_reading(request_file), {}, 0, 0};
    if (reader.file == INVALID_HANDLE_VALUE) {
        req->dispatch_code = DISPATCH_UNUSABLE_REQUEST;
        return;
    }
    ByteSource src = byte_source(handle_next, &reader);
    parse_request_file(&src, req);
    CloseHandle(reader.file);
}

// The request file, held open for the status from before any converter
// runs: it is still the request until the run ends, so it is not truncated,
// and it is written through this handle wherever a converter moves the
// current directory. Shared for reading and writing, not for deletion.
HANDLE open_status_file(const WCHAR *request_file) {
    if (!request_file[0]) return INVALID_HANDLE_VALUE;
    return CreateFileW(request_file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

void write_status_file(const WCHAR *request_file, int result) {
    // No converter ran, or the request file could not be held open: by path,
    // created anew or truncated.
    if (write_guarded_status(result)) return;
    char bytes[STATUS_TEXT_SIZE];
    size_t length = format_status_text(bytes, sizeof bytes, g_progress_text, result);
    if (!request_file[0]) return;
    HANDLE file = CreateFileW(request_file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    write_all(file, bytes, static_cast<DWORD>(length));
    CloseHandle(file);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_line_tail, int) {
    window_setup(instance, previous_instance);
    g_source_selector = 'W';

    Request req;
    request_init(&req);
    // The request file as docvane opens it, wherever a converter moves the
    // current directory.
    // Off the stack converters run on, as the conversion paths are.
    static WCHAR request_file[PATH_BUFFER_SIZE];
    request_file[0] = L'\0';
    switch (parse_command_tail(command_line_tail, &req)) {
    case TAIL_EMPTY:
        // No request at all: no path was given, so nothing is read or
        // written; the caller learns that nothing was done.
    case TAIL_REFUSED:
        // A word longer than the path buffers: a cut path would name another
        // file, and no status file can be written to a path we cannot hold.
        return RESULT_NOT_TAKEN;
    case TAIL_REQUEST_FILE:
        resolve_path(req.request_path, request_file);
        read_request_file(request_file, &req);
        // Only a conversion request file chooses the converter sources.
        if (req.dispatch_code == DISPATCH_IMPORT || req.dispatch_code == DISPATCH_EXPORT) {
            g_source_selector = req.source_selector;
            // A converter that faults or ends the process still leaves the
            // caller a status file.
            begin_guarded_run(open_status_file(request_file), request_file);
        }
        break;
    case TAIL_CONVERSION:
        begin_guarded_run(INVALID_HANDLE_VALUE, NULL);
        break;
    }

    int result = RESULT_OK;
    switch (req.dispatch_code) {
    case DISPATCH_UNUSABLE_REQUEST:
        result = RESULT_NOT_TAKEN;
        break;
    case DISPATCH_IMPORT:
        result = import_driver(req.source_path, req.destination_path);
        break;
    case DISPATCH_EXPORT:
        result = export_driver(req.source_path, req.destination_path, req.converter_index);
        break;
    default:
        if (req.dispatch_code >= DISPATCH_FIRST_LIST) list_block(request_file, req.dispatch_code);
        break;
    }

    // Never a success when a file docvane holds names another file by now.
    if (req.dispatch_code == DISPATCH_IMPORT || req.dispatch_code == DISPATCH_EXPORT)
        result = settle_own_files(result);
    // From here on nothing a converter left behind can change the outcome.
    claim_run_end(result);
    if (req.request_path[0] && req.dispatch_code < DISPATCH_FIRST_LIST) write_status_file(request_file, result);
    return result;
}
