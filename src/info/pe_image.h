// What a library file's bytes say about it, read from its PE headers, export
// directory and import tables without loading it: so a converter's start-up
// code never runs while it is being looked at. No Win32: built natively too.
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr unsigned PE_MACHINE_I386 = 0x14c;
constexpr unsigned PE_MACHINE_AMD64 = 0x8664;

// Names looked up per inspection, and the room for a forwarder's target
// ("LIBRARY.Name") and for an imported library's name.
constexpr int PE_MAX_WANTED = 8;
constexpr size_t PE_FORWARD_SIZE = 128;
constexpr size_t PE_LIBRARY_NAME_SIZE = 128;
// Room for an imported function's name; a longer one comes cut.
constexpr size_t PE_FUNCTION_NAME_SIZE = 256;

// Reads up to size bytes at offset into out and returns how many it got;
// fewer than asked means the file ends there (or cannot be read).
typedef size_t (*PeReadAt)(void *source, uint32_t offset, void *out, size_t size);

enum PeKind {
    PE_NOT_PE,       // no MZ header, or it leads to no PE signature
    PE_NOT_DLL,      // a PE image, but a program, not a library
    PE_DLL,
};

// A name as GetProcAddress meets it.
enum PeExportKind {
    PE_EXPORT_ABSENT,        // no such name
    PE_EXPORT_FOUND,
    PE_EXPORT_OUT_OF_ORDER,  // in the name table, but where binary search does not reach it
    PE_EXPORT_NO_ADDRESS,    // its address is zero, or its ordinal has no address
    PE_EXPORT_OUTSIDE_IMAGE, // its address lies beyond the image
    PE_EXPORT_FORWARDED,     // it names another library's export: see forward
};

struct PeFacts {
    PeKind kind;
    unsigned machine;      // the file header's machine field, when a PE image
    unsigned found_names;  // bit i: wanted[i] is found (not forwarded) by GetProcAddress
    PeExportKind exports[PE_MAX_WANTED];
    char forward[PE_MAX_WANTED][PE_FORWARD_SIZE];  // "LIBRARY.Name" or "LIBRARY.#7"
};

// Called for each library the image imports, in table order; delayed: from
// the delay-load table, which the loader reads only when a function is first
// called. A name longer than PE_LIBRARY_NAME_SIZE - 1 comes cut.
typedef void (*PeImportSink)(void *context, const char *library, int delayed);

// Inspects the image read through read_at: kind, machine, and each wanted
// name (at most PE_MAX_WANTED) looked up as the loader looks it up. With a
// sink, the imported libraries are handed to it too. An export directory or
// import table that cannot be read counts as empty.
PeFacts inspect_pe(PeReadAt read_at, void *source, const char *const *wanted, int wanted_count,
                   PeImportSink on_import = nullptr, void *import_context = nullptr);

// Called for each function the image imports through its import table, in
// table order, library by library: by name, or by ordinal when name is "".
// Delay-loaded imports are not listed: the loader binds them only when
// first called. A name that fills PE_FUNCTION_NAME_SIZE - 1 came cut.
typedef void (*PeFunctionSink)(void *context, const char *library, const char *name, unsigned ordinal);
void list_imported_functions(PeReadAt read_at, void *source, PeFunctionSink sink, void *context);

// An image's headers, read once: its sections and data directories.
struct PeImage {
    PeReadAt read_at;
    void *source;
    unsigned section_count;
    unsigned char sections[96][40];
    uint32_t image_size;
    int pe32_plus;        // 64-bit fields: import thunks of 8 bytes
    uint32_t image_base;  // low 32 bits: old delay-load tables hold addresses, not offsets
    uint32_t dir_rva[16], dir_size[16];
};

// A library's export directory, read once for many look-ups.
struct PeExports {
    PeImage image;
    uint32_t ordinal_base, function_count, name_count, functions_rva, names_rva, ordinals_rva;
};

// False when the image is no PE image; one without exports exports nothing.
bool open_exports(PeReadAt read_at, void *source, PeExports *exports);

// How the loader binds an import of name (or of ordinal when name is ""):
// PE_EXPORT_ABSENT when it fails (a name not exported, an ordinal outside
// the table), PE_EXPORT_FORWARDED with the target in forward
// (PE_FORWARD_SIZE bytes), else PE_EXPORT_FOUND. Unlike GetProcAddress, the
// binding takes what the table holds: a name found only by a scan (the
// import's hint may lead to it) and a zero address are not failures.
PeExportKind bind_export(const PeExports *exports, const char *name, unsigned ordinal, char *forward);

// Copies the manifest resource (type 24) of the given id, its first
// language, into out (at most size - 1 bytes, zero-terminated); returns its
// length as copied, 0 when there is none.
size_t read_manifest_resource(PeReadAt read_at, void *source, unsigned id, char *out, size_t size);

// A reader over bytes in memory, source being a PeBytes.
struct PeBytes {
    const unsigned char *data;
    size_t size;
};
size_t pe_read_bytes(void *source, uint32_t offset, void *out, size_t size);
