// The side-by-side assemblies a converter's manifest names, found as the
// loader finds them: in the system's side-by-side store, else beside the
// converter; and the libraries they supply, which the loader takes from the
// assembly instead of searching for them. Reads files only.
#pragma once

#include "common/text_limits.h"
#include "info/library_verdict.h"
#include "info/manifest.h"

struct SuppliedLibrary {
    char name[PE_LIBRARY_NAME_SIZE];
    char path[PATH_BUFFER_SIZE];
};

struct SideBySide {
    LoadProblem problem;  // the first assembly not found; LOAD_OK when all are
    char assemblies[320];  // each assembly and where it was found, for the report
    int supplied_count;
    SuppliedLibrary supplied[MANIFEST_MAX_FILES];
};

// Learns where the store is, for a docvane of machine own_machine. Once.
void start_side_by_side(unsigned own_machine);

// Reads the manifest of the library at library_path (resource 2, as the
// loader does for a DLL) and resolves what it names; no manifest: nothing.
void read_side_by_side(const char *library_path, SideBySide *out);

// The path of the library an assembly supplies under name, or null.
const char *supplied_path(const SideBySide *sxs, const char *name);
