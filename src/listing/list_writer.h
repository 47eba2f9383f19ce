// The list block and the list writer: a list request's file rewritten with
// one display line per converter of the requested directions.
#pragma once

#include <wchar.h>

// Creates (or truncates) request_file, the request path as resolved at the
// start, and writes the import section (bit 0 of dispatch_code) and the
// export section (bit 1) through its handle. Writes nothing if the file
// cannot be opened.
void list_block(const wchar_t *request_file, int dispatch_code);

// The converter action of a list: writes the converter's line and returns
// running_result unchanged, so every eligible converter is listed.
int list_writer(const char *display_name, const char *library_path, const char *extension_list,
                int running_index, int is_32bit, int export_flag, int running_result, void *context);
