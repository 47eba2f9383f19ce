// Reading words, single bytes and decimal integers from a stream of bytes,
// the way request parameters are read from the command-line tail and from a
// request file, with the shared white-space rule; double quotes are word
// characters too.
#pragma once

#include <stddef.h>

#include "common/white_space.h"

// A source of bytes: next() returns the next byte (0..255) or -1 at the end.
struct ByteSource {
    int (*next)(void *context);
    void *context;
    int pushed;  // one byte given back, or -2 for none
};

ByteSource byte_source(int (*next)(void *), void *context);

// A source over a zero-terminated string (ends at its zero byte).
struct StringCursor {
    const char *at;
};
int string_cursor_next(void *cursor);

// Skips white space; returns the first byte after it without consuming it,
// or -1 at the end.
int skip_space(ByteSource *src);

enum WordStatus { WORD_OK, WORD_NONE, WORD_REFUSED };

// Skips white space, then reads one word into buf (at most size - 1 bytes and
// a zero byte). WORD_NONE at the end of the source; WORD_REFUSED, leaving
// buf empty, when the word does not fit or holds a zero byte: either way the
// string would name another file than the caller wrote.
WordStatus read_word(ByteSource *src, char *buf, size_t size);

// Reads exactly one byte, white space included; -1 at the end.
int read_byte(ByteSource *src);

// Skips white space, then reads a decimal integer with optional sign into
// *value. Too many digits saturate at the 32-bit limits. Returns 0 and
// consumes only the white space (and a lone sign) when no digit follows.
int read_int(ByteSource *src, int *value);
