#include "info/library_verdict.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

const char *const ENTRY_POINT_NAMES[ENTRY_POINT_COUNT] = {"InitConverter32", "IsFormatCorrect32",
                                                          "ForeignToRtf32", "RtfToForeign32"};

namespace {

// Bits of ENTRY_POINT_NAMES that each direction's binding requires.
const unsigned IMPORT_REQUIRED = 1u | 2u | 4u;
const unsigned EXPORT_REQUIRED = 1u | 8u;

const char *machine_words(unsigned long machine) {
    if (machine == PE_MACHINE_AMD64) return "a 64-bit library";
    if (machine == PE_MACHINE_I386) return "a 32-bit library";
    return "a library for another machine type";
}

// Appends to out at *n, never past size.
void append(char *out, size_t size, size_t *n, const char *format, ...) __attribute__((format(printf, 4, 5)));
void append(char *out, size_t size, size_t *n, const char *format, ...) {
    if (*n >= size) return;
    va_list args;
    va_start(args, format);
    int w = vsnprintf(out + *n, size - *n, format, args);
    va_end(args);
    if (w > 0) *n += static_cast<size_t>(w);
    if (*n > size - 1) *n = size - 1;
}

// One entry point the loader does not find, in its own words.
void describe_entry_point(int i, const PeFacts *facts, const LibraryLoad *load, char *out, size_t size) {
    const char *name = ENTRY_POINT_NAMES[i];
    switch (facts->exports[i]) {
    case PE_EXPORT_OUT_OF_ORDER:
        snprintf(out, size, "%s is in the export name table out of order, where the loader's search does not find it",
                 name);
        break;
    case PE_EXPORT_NO_ADDRESS:
        snprintf(out, size, "%s is exported with no address: the loader finds no export", name);
        break;
    case PE_EXPORT_OUTSIDE_IMAGE:
        snprintf(out, size, "%s is exported at an address outside the library: the loader finds no export", name);
        break;
    case PE_EXPORT_FORWARDED: {
        char problem[PE_FORWARD_SIZE + 2 * PATH_BUFFER_SIZE];
        if (load && load->forward_load[i].kind != LOAD_OK) {
            describe_load_problem(&load->forward_load[i], problem, sizeof problem);
            snprintf(out, size, "%s is forwarded to %s: %s", name, facts->forward[i], problem);
        } else {
            const char *dot = strrchr(facts->forward[i], '.');
            int library_length = dot ? static_cast<int>(dot - facts->forward[i]) : 0;
            snprintf(out, size, "%s is forwarded to %s, which %.*s does not export as the loader finds it", name,
                     facts->forward[i], library_length, facts->forward[i]);
        }
        break;
    }
    default:
        out[0] = '\0';
        break;
    }
}

bool entry_point_found(int i, const PeFacts *facts, const LibraryLoad *load) {
    if (facts->exports[i] == PE_EXPORT_FOUND) return true;
    // Without the load, a forwarder's target is not known to fail.
    if (facts->exports[i] == PE_EXPORT_FORWARDED)
        return !load || (load->forward_load[i].kind == LOAD_OK && load->forward_export[i] == PE_EXPORT_FOUND);
    return false;
}

}  // namespace

void describe_load_problem(const LoadProblem *p, char *out, size_t size) {
    size_t n = 0;
    out[0] = '\0';
    append(out, size, &n, "needs %s", p->library);
    if (p->needed_by[0]) append(out, size, &n, " (for %s)", p->needed_by);
    switch (p->kind) {
    case LOAD_OK:
        out[0] = '\0';
        break;
    case LOAD_MISSING:
        if (p->beside_converter)
            append(out, size, &n, ": it is beside the converter, but docvane's loader does not look there");
        else
            append(out, size, &n, ": found nowhere docvane's loader looks");
        break;
    case LOAD_OTHER_MACHINE:
        append(out, size, &n, ": the first the loader finds, %s, is %s", p->found_at, machine_words(p->detail));
        break;
    case LOAD_NOT_DLL:
        append(out, size, &n, ": the first the loader finds, %s, is not a Windows DLL", p->found_at);
        break;
    case LOAD_UNREADABLE:
        append(out, size, &n, ": the first the loader finds, %s, cannot be read (error %lu)", p->found_at,
               p->detail);
        break;
    case LOAD_MISSING_FUNCTION:
        // "needs dv.dll!Name (for dep.dll), which dv.dll does not export".
        n = 0;
        out[0] = '\0';
        append(out, size, &n, "needs %s!%s", p->library, p->function);
        if (p->needed_by[0]) append(out, size, &n, " (for %s)", p->needed_by);
        append(out, size, &n, ", which %s%s does not export: will not load on Windows",
               p->system_library ? "this system's " : "", p->library);
        break;
    case LOAD_ASSEMBLY_MISSING:
        n = 0;
        out[0] = '\0';
        append(out, size, &n,
               "needs side-by-side assembly %s: in neither the side-by-side store nor the converter's folder: "
               "will not load on Windows",
               p->library);
        break;
    case LOAD_ASSEMBLY_UNKNOWN:
        n = 0;
        out[0] = '\0';
        append(out, size, &n,
               "needs side-by-side assembly %s: not beside the converter, and the side-by-side store cannot be "
               "read (error %lu): cannot judge",
               p->library, p->detail);
        break;
    }
}

int library_verdict(LibraryFileStatus status, unsigned long error, const PeFacts *facts, const LibraryLoad *load,
                    int export_flag, unsigned own_machine, char *out, size_t size) {
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
    size_t n = 0;
    out[0] = '\0';
    int ok = VERDICT_OK;
    // The library loads before any entry point is looked for.
    if (load && load->imports.kind != LOAD_OK) {
        describe_load_problem(&load->imports, out, size);
        n = strlen(out);
        ok = load->imports.kind == LOAD_ASSEMBLY_UNKNOWN ? VERDICT_UNKNOWN : VERDICT_UNUSABLE;
    } else {
        unsigned required = export_flag ? EXPORT_REQUIRED : IMPORT_REQUIRED;
        const char *separator = "lacks ";
        for (int i = 0; i < ENTRY_POINT_COUNT; ++i) {
            if (!(required & (1u << i)) || facts->exports[i] != PE_EXPORT_ABSENT) continue;
            append(out, size, &n, "%s%s", separator, ENTRY_POINT_NAMES[i]);
            separator = ", ";
            ok = VERDICT_UNUSABLE;
        }
        for (int i = 0; i < ENTRY_POINT_COUNT; ++i) {
            if (!(required & (1u << i)) || facts->exports[i] == PE_EXPORT_ABSENT ||
                entry_point_found(i, facts, load))
                continue;
            char problem[REPORT_PROBLEM_SIZE];
            describe_entry_point(i, facts, load, problem, sizeof problem);
            append(out, size, &n, "%s%s", ok ? "" : "; ", problem);
            ok = VERDICT_UNUSABLE;
        }
    }
    if (ok == VERDICT_OK) append(out, size, &n, "ok");
    if (load && load->assemblies[0]) append(out, size, &n, "; side-by-side: %s", load->assemblies);
    if (load && load->delayed[0]) append(out, size, &n, "; delay-loads %s (not checked)", load->delayed);
    return ok;
}

const char *unknown_consequence() { return "docvane may or may not load it"; }

const char *unusable_consequence(int export_flag) {
    return export_flag ? "export with this index ends with -16" : "import passes it over";
}
