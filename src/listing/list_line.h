// One display line of a list file: "Ext%s%d: %s (*.%.3s)".
#pragma once

#include <stddef.h>

// The list line buffer: lines of display names up to 63 characters are at
// most 80 characters.
constexpr size_t LIST_LINE_SIZE = 100;

// Formats the line for one converter into out (size bytes, always
// terminated); returns the length written.
size_t format_list_line(char *out, size_t size, const char *display_name, const char *library_path,
                        const char *extension_list);
