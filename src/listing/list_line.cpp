#include "listing/list_line.h"

#include <stdio.h>
#include <string.h>

#include "common/white_space.h"

size_t format_list_line(char *out, size_t size, const char *display_name, const char *library_path,
                        const char *extension_list) {
    if (size == 0) return 0;
    while (is_word_space(static_cast<unsigned char>(*extension_list))) ++extension_list;
    // "WP" marks the built-in converters, whose files end in ".WPC" (exact
    // case); every converter handed out is a 32-bit one.
    const char *wp = strstr(library_path, ".WPC") ? "WP" : "";
    int n = snprintf(out, size, "Ext%s%d: %s (*.%.3s)", wp, 32, display_name, extension_list);
    if (n < 0) {
        out[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1;
}
