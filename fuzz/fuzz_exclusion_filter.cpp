// Library paths come from the registry; checked against a plain restatement
// of the rule: upper-case the ASCII letters, then look at the stem's end.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "discovery/exclusion_filter.h"

namespace {

bool excluded_by(const std::string &upper, const std::string &name) {
    if (upper.size() < name.size() + 4) return false;
    return upper.compare(upper.size() - 4 - name.size(), name.size(), name) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string path(reinterpret_cast<const char *>(data), size);
    path = path.c_str();  // up to the first zero byte
    std::string upper = path;
    for (char &c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    bool import_ok = !excluded_by(upper, "WRDSTR32");
    bool export_ok = import_ok && !excluded_by(upper, "WRITE32");
    if (passes_exclusion_filter(path.c_str(), 0) != (import_ok ? 1 : 0)) abort();
    if (passes_exclusion_filter(path.c_str(), 1) != (export_ok ? 1 : 0)) abort();
    return 0;
}
