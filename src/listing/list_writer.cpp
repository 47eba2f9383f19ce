#include "listing/list_writer.h"

#include <string.h>
#include <windows.h>

#include "common/file_routines.h"
#include "discovery/converter_enumerator.h"
#include "discovery/exclusion_filter.h"
#include "listing/list_line.h"

namespace {

struct ListContext {
    HANDLE file;
};

void list_section(ListContext *ctx, int export_flag) {
    enumerate_converters(list_writer, ctx, export_flag);
    write_all(ctx->file, "\n", 1);
}

}  // namespace

int list_writer(const char *display_name, const char *library_path, const char *extension_list, int, int,
                int export_flag, int running_result, void *context) {
    ListContext *ctx = static_cast<ListContext *>(context);
    char line[LIST_LINE_SIZE + 1];
    format_list_line(line, LIST_LINE_SIZE, display_name, library_path, extension_list);
    if (passes_exclusion_filter(library_path, export_flag)) {
        size_t length = strlen(line);
        line[length++] = '\n';
        write_all(ctx->file, line, static_cast<DWORD>(length));
    }
    return running_result;
}

void list_block(const wchar_t *request_file, int dispatch_code) {
    // Opened (and so emptied) before the bits are looked at.
    if (!request_file[0]) return;
    ListContext ctx = {CreateFileW(request_file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL)};
    if (ctx.file == INVALID_HANDLE_VALUE) return;
    if (dispatch_code & 1) list_section(&ctx, 0);
    if (dispatch_code & 2) list_section(&ctx, 1);
    CloseHandle(ctx.file);
}
