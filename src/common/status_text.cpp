#include "common/status_text.h"

namespace {

// A newline, the longest result ("-2147483648"), a newline and the zero byte.
const size_t RESULT_ROOM = 14;

}  // namespace

size_t format_decimal(char *out, int value) {
    // Through unsigned, so the most negative value has a magnitude too.
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    char digits[10];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    size_t n = 0;
    if (value < 0) out[n++] = '-';
    while (count) out[n++] = digits[--count];
    out[n] = '\0';
    return n;
}

size_t format_status_text(char *out, size_t size, const char *progress_text, int result) {
    if (size == 0) return 0;
    size_t n = 0;
    while (progress_text[n] && n + RESULT_ROOM < size) {
        out[n] = progress_text[n];
        ++n;
    }
    if (n + 1 < size) out[n++] = '\n';
    char line[RESULT_ROOM];
    size_t length = format_decimal(line, result);
    line[length++] = '\n';
    for (size_t i = 0; i < length && n + 1 < size; ++i) out[n++] = line[i];
    out[n] = '\0';
    return n;
}

int parse_status_text(const char *bytes, size_t count, char *progress, size_t progress_size, int *result) {
    if (count < 3 || bytes[count - 1] != '\n') return 0;
    size_t first_end = 0;
    while (first_end < count && bytes[first_end] != '\n') ++first_end;
    if (first_end + 1 >= count) return 0;
    size_t at = first_end + 1;
    bool negative = at < count - 1 && bytes[at] == '-';
    if (negative) ++at;
    if (at >= count - 1 || count - 1 - at > 10) return 0;
    long long magnitude = 0;
    for (; at < count - 1; ++at) {
        if (bytes[at] < '0' || bytes[at] > '9') return 0;
        magnitude = magnitude * 10 + (bytes[at] - '0');
    }
    long long value = negative ? -magnitude : magnitude;
    if (value < -2147483647LL - 1 || value > 2147483647LL) return 0;
    for (size_t i = 0; i < first_end; ++i)
        if (bytes[i] == '\0') return 0;
    if (progress_size) {
        size_t n = first_end < progress_size - 1 ? first_end : progress_size - 1;
        for (size_t i = 0; i < n; ++i) progress[i] = bytes[i];
        progress[n] = '\0';
    }
    *result = static_cast<int>(value);
    return 1;
}
