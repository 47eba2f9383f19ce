// File routines used by several subsystems. All paths are ANSI code page
// strings, passed on byte for byte.
#pragma once

#include <stdio.h>

#include "common/text_limits.h"

// Opens a private copy of path as a stream with mode "rb" or "wb" (no newline
// translation). A path too long for the 264-byte copy is not opened: a cut
// path would name another file.
FILE *open_on_copy(const char *path, const char *mode);

// Creates or truncates path for writing, as fopen's "wb" does, but shares it
// for deletion too, so the fault guard can delete it while the stream is
// still open. NULL where fopen would fail.
FILE *create_for_writing(const char *path);

// The path docvane itself uses for a file the caller named: made absolute
// against the current directory now, before any converter can change it.
// A path that cannot be made absolute within the buffer stays as given; the
// file routines could not reach it either way.
void resolve_path(const char *path, char (&out)[PATH_BUFFER_SIZE]);

// 1 when path can be opened for reading, else 0.
int file_exists(const char *path);

// Deletes path, ignoring the outcome.
void delete_file(const char *path);

// 1 when both paths name one existing file, whatever their spelling (case,
// relative segments, short names, hard links); decided by file identity.
int same_file(const char *path_a, const char *path_b);

// Closes a stream on every path out of a scope.
struct FileGuard {
    FILE *file;
    explicit FileGuard(FILE *f) : file(f) {}
    ~FileGuard() { if (file) fclose(file); }
    FileGuard(const FileGuard &) = delete;
    FileGuard &operator=(const FileGuard &) = delete;
};
