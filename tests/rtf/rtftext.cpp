// rtftext [FILE]: the text of an RTF document (standard input without FILE),
// as the project's RTF reader sees it. Exit 1 when its groups do not balance.
#include <cstdio>
#include <string>

#include "rtf_text.h"

int main(int argc, char **argv) {
    std::FILE *f = argc > 1 ? std::fopen(argv[1], "rb") : stdin;
    if (!f) return 2;
    std::string rtf;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) rtf.append(buf, n);
    RtfText r = rtf_text(rtf);
    std::fwrite(r.text.data(), 1, r.text.size(), stdout);
    return r.ok ? 0 : 1;
}
