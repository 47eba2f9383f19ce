#include "listing/list_writer.h"

#include <stdio.h>

#include "common/file_routines.h"
#include "discovery/converter_enumerator.h"
#include "discovery/exclusion_filter.h"
#include "listing/list_line.h"

namespace {

struct ListContext {
    FILE *file;
};

void list_section(ListContext *ctx, int export_flag) {
    enumerate_converters(list_writer, ctx, export_flag);
    fputs("\n", ctx->file);
}

}  // namespace

int list_writer(const char *display_name, const char *library_path, const char *extension_list, int, int,
                int export_flag, int running_result, void *context) {
    ListContext *ctx = static_cast<ListContext *>(context);
    char line[LIST_LINE_SIZE];
    format_list_line(line, sizeof line, display_name, library_path, extension_list);
    if (passes_exclusion_filter(library_path, export_flag)) fprintf(ctx->file, "%s\n", line);
    return running_result;
}

void list_block(const char *request_path, int dispatch_code) {
    // Opened (and so emptied) before the bits are looked at.
    ListContext ctx = {open_on_copy(request_path, "wb")};
    if (!ctx.file) return;
    if (dispatch_code & 1) list_section(&ctx, 0);
    if (dispatch_code & 2) list_section(&ctx, 1);
    fclose(ctx.file);
}
