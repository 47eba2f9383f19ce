#include "app/status_text.h"

#include <string.h>

#include "app/progress_text.h"

namespace {

// A newline, the longest result ("-2147483648"), a newline and the zero byte.
const size_t RESULT_ROOM = 14;

}  // namespace

size_t format_status_text(char *out, size_t size, const char *progress_text, int result) {
    if (size == 0) return 0;
    size_t n = 0;
    while (progress_text[n] && n + RESULT_ROOM < size) {
        out[n] = progress_text[n];
        ++n;
    }
    if (n + 1 < size) out[n++] = '\n';
    // The result as the progress text renders a percentage.
    render_progress_text("%d\n", result, out + n, size - n);
    return n + strlen(out + n);
}
