// Converter library files, and the libraries they name, are whatever the
// registry and the search folders hold: the PE reader must stay inside the
// bytes it is given and give consistent facts.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "info/library_verdict.h"
#include "info/manifest.h"
#include "info/pe_image.h"

namespace {

void take_import(void *context, const char *library, int delayed) {
    if (strlen(library) >= PE_LIBRARY_NAME_SIZE || (delayed != 0 && delayed != 1)) abort();
    ++*static_cast<int *>(context);
}

// Every imported function is bound against the image's own exports, as a
// library importing from itself would be.
struct Binding {
    const PeExports *exports;
    int functions;
};

void take_function(void *context, const char *library, const char *name, unsigned ordinal) {
    Binding *b = static_cast<Binding *>(context);
    if (strlen(library) >= PE_LIBRARY_NAME_SIZE || strlen(name) >= PE_FUNCTION_NAME_SIZE) abort();
    if (name[0] && ordinal) abort();
    if (ordinal > 0xFFFF) abort();
    char forward[PE_FORWARD_SIZE];
    PeExportKind kind = bind_export(b->exports, name, ordinal, forward);
    if (kind != PE_EXPORT_FOUND && kind != PE_EXPORT_ABSENT && kind != PE_EXPORT_FORWARDED) abort();
    if (strnlen(forward, PE_FORWARD_SIZE) == PE_FORWARD_SIZE) abort();
    ++b->functions;
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
    static PeExports exports;
    bool opened = open_exports(pe_read_bytes, &bytes, &exports);
    if (opened && f.kind == PE_NOT_PE) abort();
    Binding binding = {&exports, 0};
    if (opened) list_imported_functions(pe_read_bytes, &bytes, take_function, &binding);
    if (f.kind == PE_NOT_PE && binding.functions) abort();

    // The manifest, cut to a small room, and what the scanner makes of it;
    // the same scanner reads the input as a manifest itself.
    static char manifest[512];
    size_t n = read_manifest_resource(pe_read_bytes, &bytes, 2, manifest, sizeof manifest);
    if (n >= sizeof manifest || manifest[n] != '\0') abort();
    static AssemblyIdentity assemblies[MANIFEST_MAX_ASSEMBLIES];
    static char files[MANIFEST_MAX_FILES][PE_LIBRARY_NAME_SIZE];
    char version[32];
    const char *texts[] = {manifest, reinterpret_cast<const char *>(data)};
    const size_t lengths[] = {n, size};
    for (int t = 0; t < 2; ++t) {
        if (manifest_dependencies(texts[t], lengths[t], assemblies, MANIFEST_MAX_ASSEMBLIES) > MANIFEST_MAX_ASSEMBLIES)
            abort();
        if (manifest_files(texts[t], lengths[t], files, MANIFEST_MAX_FILES) > MANIFEST_MAX_FILES) abort();
        manifest_redirect(texts[t], lengths[t], "9.0.21022.8", version, sizeof version);
    }
    return 0;
}
