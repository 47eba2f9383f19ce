#include "app/progress_text.h"

#include <string.h>

const char PROGRESS_FORMAT_LITERAL[] = "Datei wird generiert (%d%)...";

namespace {

struct Out {
    char *at;
    char *end;  // last byte, kept for the zero
    void put(char c) {
        if (at < end) *at++ = c;
    }
    void puts(const char *s, size_t n) {
        for (size_t i = 0; i < n; ++i) put(s[i]);
    }
};

}  // namespace

void render_progress_text(const char *format, int percent, char *out, size_t size) {
    if (size == 0) return;
    Out o = {out, out + size - 1};
    const char *conv = strstr(format, "%d");
    if (!conv) {
        o.puts(format, strlen(format));
        *o.at = '\0';
        return;
    }
    o.puts(format, static_cast<size_t>(conv - format));
    char digits[12];
    int n = 0;
    unsigned int magnitude = percent < 0 ? 0u - static_cast<unsigned int>(percent)
                                         : static_cast<unsigned int>(percent);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (percent < 0) o.put('-');
    while (n) o.put(digits[--n]);
    const char *rest = conv + 2;
    o.puts(rest, strlen(rest));
    *o.at = '\0';
}
