// Converter library files, and the libraries they name, are whatever the
// registry and the search folders hold: the PE reader must stay inside the
// bytes it is given and give consistent facts.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "info/library_verdict.h"
#include "info/pe_image.h"

namespace {

void take_import(void *context, const char *library, int delayed) {
    if (strlen(library) >= PE_LIBRARY_NAME_SIZE || (delayed != 0 && delayed != 1)) abort();
    ++*static_cast<int *>(context);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    PeBytes bytes = {data, size};
    int imports = 0;
    PeFacts f = inspect_pe(pe_read_bytes, &bytes, ENTRY_POINT_NAMES, ENTRY_POINT_COUNT, take_import, &imports);
    if (f.found_names >> ENTRY_POINT_COUNT) abort();
    if (f.kind == PE_NOT_PE && (f.found_names || f.machine || imports)) abort();
    for (int i = 0; i < ENTRY_POINT_COUNT; ++i) {
        if (((f.found_names >> i) & 1) != (f.exports[i] == PE_EXPORT_FOUND)) abort();
        if (strnlen(f.forward[i], PE_FORWARD_SIZE) == PE_FORWARD_SIZE) abort();
    }
    // The verdict with the file alone, and with every forwarder's target
    // missing, as the loader would meet them.
    LibraryLoad load;
    memset(&load, 0, sizeof load);
    for (int i = 0; i < ENTRY_POINT_COUNT; ++i) {
        load.forward_load[i].kind = LOAD_MISSING;
        memcpy(load.forward_load[i].library, f.forward[i], PE_LIBRARY_NAME_SIZE - 1);
    }
    char text[REPORT_PROBLEM_SIZE];
    for (int export_flag = 0; export_flag < 2; ++export_flag) {
        library_verdict(LIBRARY_READ, 0, &f, nullptr, export_flag, PE_MACHINE_I386, text, sizeof text);
        library_verdict(LIBRARY_READ, 0, &f, &load, export_flag, PE_MACHINE_I386, text, sizeof text);
    }
    return 0;
}
