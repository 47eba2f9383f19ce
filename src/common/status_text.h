// The status file's bytes: the last progress text and the run's result, two
// lines each ended by LF. Plain code on the caller's buffer, so the fault
// guard can use it in a process it must not trust.
#pragma once

#include <stddef.h>

// Room for a progress text of 127 characters, the longest result and the
// zero byte.
constexpr size_t STATUS_TEXT_SIZE = 144;

// Writes the status into out (always terminated) and returns its length. The
// text is cut where the result would no longer fit.
size_t format_status_text(char *out, size_t size, const char *progress_text, int result);

// Writes value in decimal into out (room for 12 bytes), terminated; returns
// its length. No C library: the fault guard calls it too.
size_t format_decimal(char *out, int value);

// Reads a status file's bytes: exactly two lines, each ended by LF, the
// second a decimal result that fits 32 bits. Returns 1 with *result set and
// the first line in progress (cut to fit, always terminated), else 0: the
// file is something else (a request docvane never answered, say).
int parse_status_text(const char *bytes, size_t count, char *progress, size_t progress_size, int *result);
