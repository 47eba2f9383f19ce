// Follows a converter library as docvane's LoadLibraryA and GetProcAddress
// will: the libraries it imports, found where the loader looks, then theirs
// in turn; and the libraries its forwarded entry points lead to. Reads files
// only, never loads them.
#pragma once

#include "info/library_verdict.h"
#include "info/pe_image.h"

// Learns where the loader looks, for a docvane of machine own_machine
// installed in this program's folder. Once, before any check.
void start_library_search(unsigned own_machine);

// Fills *load for the converter library at library_path, whose own file gave
// facts (a DLL of docvane's machine).
void check_library_load(const char *library_path, const PeFacts *facts, LibraryLoad *load);
