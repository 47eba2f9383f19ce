// What a side-by-side manifest says, read from its XML text: the assemblies
// it depends on, the files an assembly holds, and a publisher policy's
// version redirections. A small scanner over tags and attributes, enough for
// the manifests compilers and the system write. No Win32.
#pragma once

#include <stddef.h>

#include "info/pe_image.h"

constexpr int MANIFEST_MAX_ASSEMBLIES = 8;
constexpr int MANIFEST_MAX_FILES = 32;

struct AssemblyIdentity {
    char name[128];
    char version[32];
    char arch[16];   // processorArchitecture: "x86", "amd64", "*", or ""
    char token[32];  // publicKeyToken, "" for a private assembly
    char language[16];
};

// The assemblies named by <dependentAssembly> elements, in order, at most
// max; returns how many.
int manifest_dependencies(const char *xml, size_t length, AssemblyIdentity *out, int max);

// The names of the <file> elements (the libraries an assembly supplies),
// at most max; returns how many.
int manifest_files(const char *xml, size_t length, char (*out)[PE_LIBRARY_NAME_SIZE], int max);

// A publisher policy's <bindingRedirect oldVersion="A-B" newVersion="C">
// (or one old version) that covers version: copies C into new_version.
bool manifest_redirect(const char *xml, size_t length, const char *version, char *new_version, size_t size);

// Four-part versions ("9.0.21022.8"); false for anything else.
bool parse_assembly_version(const char *text, unsigned parts[4]);
// Orders two parsed versions: negative, zero or positive.
int compare_assembly_versions(const unsigned a[4], const unsigned b[4]);
