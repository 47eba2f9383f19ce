// What would happen if docvane used a converter library, from what its file
// and the files it needs show: "ok" or the problem, and what docvane then
// does. No Win32.
#pragma once

#include <stddef.h>

#include "common/text_limits.h"
#include "info/pe_image.h"

enum LibraryFileStatus {
    LIBRARY_READ,        // the file was read; the facts say what it is
    LIBRARY_NO_PATH,     // the converter names no library
    LIBRARY_MISSING,     // no such file or folder
    LIBRARY_UNREADABLE,  // there, but it cannot be opened or read
};

// The entry point names looked for in every library, in this order; a
// direction requires some of them (see library_verdict).
extern const char *const ENTRY_POINT_NAMES[];
constexpr int ENTRY_POINT_COUNT = 4;

// Room for one problem in words, paths included.
constexpr size_t REPORT_PROBLEM_SIZE = 768;

// Why a library that a converter needs, directly or through another, does
// not load.
enum LoadProblemKind {
    LOAD_OK,
    LOAD_MISSING,        // found nowhere the loader looks
    LOAD_OTHER_MACHINE,  // the file the loader finds first is for another machine
    LOAD_NOT_DLL,        // the file the loader finds first is no PE image
    LOAD_UNREADABLE,     // the file the loader finds first cannot be read
    LOAD_MISSING_FUNCTION,  // library loads, but does not export function, which needed_by imports
    LOAD_ASSEMBLY_MISSING,  // library names a side-by-side assembly found nowhere
    LOAD_ASSEMBLY_UNKNOWN,  // ... and the side-by-side store cannot be read: cannot judge
};

struct LoadProblem {
    LoadProblemKind kind;
    char library[PE_LIBRARY_NAME_SIZE];    // as the importer names it
    char needed_by[PE_LIBRARY_NAME_SIZE];  // the library that imports it; "": the converter
    char found_at[PATH_BUFFER_SIZE];       // the file found, for the kinds that have one
    unsigned long detail;                  // its machine, or the Win32 error
    int beside_converter;                  // LOAD_MISSING: a file of that name is in the converter's folder
    char function[PE_FUNCTION_NAME_SIZE];  // LOAD_MISSING_FUNCTION: "Name" or "#7"
    int system_library;                    // LOAD_MISSING_FUNCTION: library is the system's own
};

// What loading the converter and finding its entry points gives beyond its
// own file: its static imports, and for each forwarded entry point the
// target library and whether it exports the target name.
struct LibraryLoad {
    LoadProblem imports;
    LoadProblem forward_load[ENTRY_POINT_COUNT];
    PeExportKind forward_export[ENTRY_POINT_COUNT];  // PE_EXPORT_FOUND: the target resolves
    char delayed[160];  // delay-loaded libraries, listed but not judged
    char assemblies[320];  // the side-by-side assemblies its manifest names, and where each was found
};

// library_verdict's answers.
enum Verdict { VERDICT_UNUSABLE = 0, VERDICT_OK = 1, VERDICT_UNKNOWN = 2 };

// Writes "ok" or the problem into out. own_machine is the machine of the
// docvane build the report is for; load may be null (nothing beyond the
// file known). Returns a Verdict: VERDICT_UNKNOWN where the side-by-side
// store could not be read and nothing else is wrong.
int library_verdict(LibraryFileStatus status, unsigned long error, const PeFacts *facts, const LibraryLoad *load,
                    int export_flag, unsigned own_machine, char *out, size_t size);

// "needs X: ..." for a library that does not load.
void describe_load_problem(const LoadProblem *p, char *out, size_t size);

// What docvane does with a converter it numbers but cannot use.
const char *unusable_consequence(int export_flag);
// ... and one whose verdict could not be judged.
const char *unknown_consequence();
