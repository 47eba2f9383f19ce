#include "info/library_verdict.h"

#include <stdio.h>
#include <string.h>

const char *const ENTRY_POINT_NAMES[ENTRY_POINT_COUNT] = {"InitConverter32", "IsFormatCorrect32",
                                                          "ForeignToRtf32", "RtfToForeign32"};

namespace {

// Bits of ENTRY_POINT_NAMES that each direction's binding requires.
const unsigned IMPORT_REQUIRED = 1u | 2u | 4u;
const unsigned EXPORT_REQUIRED = 1u | 8u;

}  // namespace

int library_verdict(LibraryFileStatus status, unsigned long error, const PeFacts *facts, int export_flag,
                    unsigned own_machine, char *out, size_t size) {
    switch (status) {
    case LIBRARY_NO_PATH:
        snprintf(out, size, "no library path");
        return 0;
    case LIBRARY_MISSING:
        snprintf(out, size, "file missing");
        return 0;
    case LIBRARY_UNREADABLE:
        snprintf(out, size, "file unreadable (error %lu)", error);
        return 0;
    case LIBRARY_READ:
        break;
    }
    if (facts->kind == PE_NOT_PE) {
        snprintf(out, size, "not a Windows DLL");
        return 0;
    }
    if (facts->kind == PE_NOT_DLL) {
        snprintf(out, size, "not a Windows DLL: a program, not a library");
        return 0;
    }
    if (facts->machine != own_machine) {
        if (facts->machine == PE_MACHINE_AMD64)
            snprintf(out, size, "64-bit library: only the x86_64 docvane can load it");
        else if (facts->machine == PE_MACHINE_I386)
            snprintf(out, size, "32-bit library: only the i686 docvane can load it");
        else
            snprintf(out, size, "library for machine type 0x%04x: docvane cannot load it", facts->machine);
        return 0;
    }
    unsigned required = export_flag ? EXPORT_REQUIRED : IMPORT_REQUIRED;
    unsigned missing = required & ~facts->found_names;
    if (!missing) {
        snprintf(out, size, "ok");
        return 1;
    }
    size_t n = static_cast<size_t>(snprintf(out, size, "lacks"));
    const char *separator = " ";
    for (int i = 0; i < ENTRY_POINT_COUNT && n < size; ++i) {
        if (!(missing & (1u << i))) continue;
        n += static_cast<size_t>(snprintf(out + n, size - n, "%s%s", separator, ENTRY_POINT_NAMES[i]));
        separator = ", ";
    }
    return 0;
}

const char *unusable_consequence(int export_flag) {
    return export_flag ? "export with this index ends with -16" : "import passes it over";
}
