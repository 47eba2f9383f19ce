// Export: an RTF file to the foreign format of the converter chosen by its
// running index.
#pragma once

// The chosen converter's result, -16, -12, or -15 when the index is never
// reached.
int export_driver(const char *source_path, const char *destination_path, int converter_index);

// The converter action of an export (see ConverterAction).
int export_attempt(const char *display_name, const char *library_path, const char *extension_list,
                   int running_index, int is_32bit, int export_flag, int running_result, void *context);

// Places the next piece of the source at the start of the transfer buffer.
long __stdcall input_callback(long unused_count, long unused_percent);
