// Process-wide state through which the data callbacks, which receive no
// context, reach the running conversion. Set immediately around the one call
// of a conversion entry point and emptied right after it.
#pragma once

#include <windows.h>

#include "common/own_file.h"

extern const OwnFile *g_output_file;  // import: the destination
extern const OwnFile *g_input_file;   // export: the source
extern HGLOBAL g_transfer_buffer;     // the block the chunks pass through
extern long long g_bytes_read;        // export: source bytes delivered so far
extern long long g_total_length;      // export: the source's length

// Set when a chunk could not be written (import) or the source could not be
// read (export): such a conversion never ends as success.
extern int g_write_failed;
extern int g_read_failed;

// Held by a data callback for its whole call and by the attempt while it
// empties the state: a converter thread that calls back while the attempt
// ends never meets a file being closed. No heap.
void lock_conversion_state();
void unlock_conversion_state();
struct ConversionStateLock {
    ConversionStateLock() { lock_conversion_state(); }
    ~ConversionStateLock() { unlock_conversion_state(); }
    ConversionStateLock(const ConversionStateLock &) = delete;
    ConversionStateLock &operator=(const ConversionStateLock &) = delete;
};
