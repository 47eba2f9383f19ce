// File routines used by several subsystems. Paths arrive as ANSI code page
// strings, as the caller wrote them; docvane converts each once, at the
// start, to UTF-16 with the ANSI code page and opens, creates, reads, writes
// and deletes its own files only through the wide functions and through
// Win32 handles it holds. Converter code can switch the ANSI file functions
// to the OEM code page (SetFileApisToOEM) and can close C runtime streams it
// shares with docvane (_fcloseall); neither reaches these.
#pragma once

#include <windows.h>

#include "common/text_limits.h"

// The path docvane itself uses for a file the caller named: converted with
// the ANSI code page and made absolute against the current directory now,
// before any converter can change either. A path that cannot be converted or
// made absolute within the buffer becomes empty, which opens nothing: a cut
// path would name another file.
void resolve_path(const char *path, WCHAR (&out)[PATH_BUFFER_SIZE]);

// The ANSI bytes as UTF-16 through the ANSI code page, whatever the file
// functions' code page; 0 (and out empty) when they do not fit.
int widen(const char *text, WCHAR *out, int units);

// An existing file for reading, shared for reading and writing.
HANDLE open_for_reading(const WCHAR *path);

// Creates or truncates path for writing. Shared for deletion too, so the
// fault guard can delete it while it is open, and opened with delete access,
// so docvane can delete it through this handle.
HANDLE create_for_writing(const WCHAR *path);

// Writes all of bytes; false when not all of them could be written.
bool write_all(HANDLE file, const void *bytes, DWORD length);

// 1 when path (ANSI) can be opened for reading, else 0.
int file_exists(const char *path);

// 1 when both paths name one existing file, whatever their spelling (case,
// relative segments, short names, hard links); decided by file identity.
int same_file(const WCHAR *path_a, const WCHAR *path_b);
