// Reads a converter library's file, never loading it: the PE facts of the
// bytes, or why there are none.
#pragma once

#include "info/library_verdict.h"
#include "info/pe_image.h"

// *error gets the Win32 error when the file cannot be opened.
LibraryFileStatus read_library_facts(const char *library_path, PeFacts *facts, unsigned long *error);
