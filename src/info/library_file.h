// Reads a converter library's file, never loading it: the PE facts of the
// bytes, or why there are none.
#pragma once

#include <windows.h>

#include "info/library_verdict.h"
#include "info/pe_image.h"

// *error gets the Win32 error when the file cannot be opened.
LibraryFileStatus read_library_facts(const char *library_path, PeFacts *facts, unsigned long *error);

// Opens a library file for reading, shared with any writer, so looking never
// gets in anyone's way; INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE open_library_file(const char *path);
// A PeReadAt over such a handle.
size_t read_library_at(void *file, uint32_t offset, void *out, size_t size);

// Closes the file on every path.
struct LibraryFileHandle {
    HANDLE h;
    ~LibraryFileHandle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};
