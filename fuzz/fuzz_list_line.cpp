// Display names and extension lists come from the registry as stored.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "listing/list_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Three strings separated by zero bytes: name, path, extensions.
    std::string parts[3];
    int k = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            if (++k == 3) break;
        } else {
            parts[k] += static_cast<char>(data[i]);
        }
    }
    char out[LIST_LINE_SIZE + 8];
    memset(out, 0x55, sizeof out);
    size_t n = format_list_line(out, LIST_LINE_SIZE, parts[0].c_str(), parts[1].c_str(), parts[2].c_str());
    if (n >= LIST_LINE_SIZE || strlen(out) != n) abort();
    for (size_t i = LIST_LINE_SIZE; i < sizeof out; ++i)
        if (out[i] != 0x55) abort();
    if (strncmp(out, "Ext", 3) != 0) abort();
    // Names of up to 63 characters always give the whole line.
    if (parts[0].size() <= 63 && out[n - 1] != ')') abort();
    return 0;
}
