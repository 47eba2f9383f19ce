// What would happen if docvane used a converter library, from what its file
// shows: "ok" or the problem, and what docvane then does. No Win32.
#pragma once

#include <stddef.h>

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

// Writes "ok" or the problem into out. own_machine is the machine of the
// docvane build the report is for. Returns 1 for "ok", else 0.
int library_verdict(LibraryFileStatus status, unsigned long error, const PeFacts *facts, int export_flag,
                    unsigned own_machine, char *out, size_t size);

// What docvane does with a converter it numbers but cannot use.
const char *unusable_consequence(int export_flag);
