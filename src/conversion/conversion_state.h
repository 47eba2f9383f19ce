// Process-wide state through which the data callbacks, which receive no
// context, reach the running conversion. Set immediately around the one call
// of a conversion entry point and emptied right after it.
#pragma once

#include <stdio.h>
#include <windows.h>

extern FILE *g_output_file;       // import: the destination
extern FILE *g_input_file;        // export: the source
extern HGLOBAL g_transfer_buffer; // the block the chunks pass through
extern long long g_bytes_read;    // export: source bytes delivered so far
extern long long g_total_length;  // export: the source's length

// Set when a chunk could not be written (import) or the source could not be
// read (export): such a conversion never ends as success.
extern int g_write_failed;
extern int g_read_failed;
