// Import: a foreign document to RTF through the first converter that
// recognises it.
#pragma once

// The converter result of the converter that took the source, or -15.
int import_driver(const char *source_path, const char *destination_path);

// The converter action of an import (see ConverterAction).
int import_attempt(const char *display_name, const char *library_path, const char *extension_list,
                   int running_index, int is_32bit, int export_flag, int running_result, void *context);

// Writes the converter's chunk from the transfer buffer to the destination.
long __stdcall output_callback(long count, long percent);
