// What a library file's bytes say about it, read from its PE headers and
// export directory without loading it: so a converter's start-up code never
// runs while it is being looked at. No Win32: built natively too.
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr unsigned PE_MACHINE_I386 = 0x14c;
constexpr unsigned PE_MACHINE_AMD64 = 0x8664;

// Reads up to size bytes at offset into out and returns how many it got;
// fewer than asked means the file ends there (or cannot be read).
typedef size_t (*PeReadAt)(void *source, uint32_t offset, void *out, size_t size);

enum PeKind {
    PE_NOT_PE,       // no MZ header, or it leads to no PE signature
    PE_NOT_DLL,      // a PE image, but a program, not a library
    PE_DLL,
};

struct PeFacts {
    PeKind kind;
    unsigned machine;      // the file header's machine field, when a PE image
    unsigned found_names;  // bit i: wanted[i] is exported by name
};

// Inspects the image read through read_at; names are looked up among the
// export directory's names (at most 32 of them). An export directory that
// cannot be read leaves its names not found.
PeFacts inspect_pe(PeReadAt read_at, void *source, const char *const *wanted, int wanted_count);

// A reader over bytes in memory, source being a PeBytes.
struct PeBytes {
    const unsigned char *data;
    size_t size;
};
size_t pe_read_bytes(void *source, uint32_t offset, void *out, size_t size);
