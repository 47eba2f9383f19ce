// Converter library files are whatever the registry points at: the PE reader
// must stay inside the bytes it is given and give consistent facts.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "info/library_verdict.h"
#include "info/pe_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    PeBytes bytes = {data, size};
    PeFacts f = inspect_pe(pe_read_bytes, &bytes, ENTRY_POINT_NAMES, ENTRY_POINT_COUNT);
    if (f.found_names >> ENTRY_POINT_COUNT) abort();
    if (f.kind == PE_NOT_PE && (f.found_names || f.machine)) abort();
    char text[160];
    for (int export_flag = 0; export_flag < 2; ++export_flag)
        library_verdict(LIBRARY_READ, 0, &f, export_flag, PE_MACHINE_I386, text, sizeof text);
    return 0;
}
