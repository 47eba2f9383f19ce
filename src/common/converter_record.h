// The converter record and the converter action: what the enumerator hands
// out for one converter, and the function that receives it.
#pragma once

// Receives the eight record values in this order and returns the new running
// result. Returning running_result unchanged means "not taken, go on". The
// strings are borrowed for the call only.
typedef int (*ConverterAction)(const char *display_name, const char *library_path,
                               const char *extension_list, int running_index,
                               int is_32bit, int export_flag, int running_result,
                               void *context);

// The context of the import and export attempts.
struct ConversionParams {
    const char *source_path;       // as given: what converters are told
    const char *destination_path;
    int converter_index;  // export only
    // The same files as docvane itself opens them: wide, resolved against
    // the current directory docvane started in (a converter may change it).
    const wchar_t *source_file;
    const wchar_t *destination_file;
};
