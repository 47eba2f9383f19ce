#include "app/word_reader.h"

#include <limits.h>

ByteSource byte_source(int (*next)(void *), void *context) {
    ByteSource src;
    src.next = next;
    src.context = context;
    src.pushed = -2;
    return src;
}

int string_cursor_next(void *cursor) {
    StringCursor *c = static_cast<StringCursor *>(cursor);
    if (*c->at == '\0') return -1;
    return static_cast<unsigned char>(*c->at++);
}

static int get(ByteSource *src) {
    if (src->pushed != -2) {
        int c = src->pushed;
        src->pushed = -2;
        return c;
    }
    return src->next(src->context);
}

static void unget(ByteSource *src, int c) { src->pushed = c; }

int skip_space(ByteSource *src) {
    int c;
    do {
        c = get(src);
    } while (c != -1 && is_word_space(c));
    unget(src, c);
    return c;
}

WordStatus read_word(ByteSource *src, char *buf, size_t size) {
    buf[0] = '\0';
    int c = skip_space(src);
    if (c == -1) return WORD_NONE;
    size_t len = 0;
    for (;;) {
        c = get(src);
        if (c == -1 || is_word_space(c)) break;
        if (c == 0 || len + 1 >= size) {
            buf[0] = '\0';
            return WORD_REFUSED;
        }
        buf[len++] = static_cast<char>(c);
    }
    unget(src, c);
    buf[len] = '\0';
    return WORD_OK;
}

int read_byte(ByteSource *src) { return get(src); }

int read_int(ByteSource *src, int *value) {
    int c = skip_space(src);
    if (c == -1) return 0;
    get(src);
    int negative = 0;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = get(src);
    }
    if (c < '0' || c > '9') {
        unget(src, c);
        return 0;
    }
    long long n = 0;
    while (c >= '0' && c <= '9') {
        if (n <= INT_MAX) n = n * 10 + (c - '0');  // past the limit: saturated below
        c = get(src);
    }
    unget(src, c);
    if (negative) n = -n;
    if (n > INT_MAX) n = INT_MAX;
    if (n < INT_MIN) n = INT_MIN;
    *value = static_cast<int>(n);
    return 1;
}
