#include "discovery/exclusion_filter.h"

#include <string.h>

namespace {

const char *const IMPORT_EXCLUSIONS[] = {"WRDSTR32", nullptr};
const char *const EXPORT_EXCLUSIONS[] = {"WRITE32", "WRDSTR32", nullptr};

// Only a-z fold onto A-Z; bytes of 128 and above must match exactly.
unsigned char fold_ascii(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

// The n characters that end just before the path's last four (taken to be a
// dot and a three-letter extension, never inspected) equal name.
bool stem_ends_in(const char *path, size_t len, const char *name) {
    size_t n = strlen(name);
    if (len < n + 4) return false;
    const char *stretch = path + len - 4 - n;
    for (size_t i = 0; i < n; ++i)
        if (fold_ascii(static_cast<unsigned char>(stretch[i])) != static_cast<unsigned char>(name[i]))
            return false;
    return true;
}

}  // namespace

int passes_exclusion_filter(const char *library_path, int export_flag) {
    size_t len = strlen(library_path);
    for (const char *const *name = export_flag ? EXPORT_EXCLUSIONS : IMPORT_EXCLUSIONS; *name; ++name)
        if (stem_ends_in(library_path, len, *name)) return 0;
    return 1;
}
