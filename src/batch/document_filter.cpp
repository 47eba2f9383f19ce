#include "batch/document_filter.h"

#include <algorithm>

namespace {

char fold(char c) {
    if (c == '\\') return '/';
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Bytes of the UTF-8 sequence that starts at s[i] (1 for a stray byte).
size_t sequence_length(const std::string &s, size_t i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    size_t k = 1;
    while (k < n && i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80) ++k;
    return k;
}

// Iterative matching with one back-tracking point per '*': linear in
// practice, never exponential.
bool match_from(const std::string &p, const std::string &s) {
    size_t pi = 0, si = 0, star_p = std::string::npos, star_s = 0;
    while (si < s.size()) {
        if (pi < p.size() && p[pi] == '*') {
            star_p = pi++;
            star_s = si;
        } else if (pi < p.size() && p[pi] == '?') {
            ++pi;
            si += sequence_length(s, si);
        } else if (pi < p.size() && fold(p[pi]) == fold(s[si])) {
            ++pi;
            ++si;
        } else if (star_p != std::string::npos) {
            pi = star_p + 1;
            si = ++star_s;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

}  // namespace

bool glob_match(const std::string &pattern, const std::string &path) {
    if (match_from(pattern, path)) return true;
    if (pattern.size() >= 2 && pattern[0] == '*' && fold(pattern[1]) == '/') return match_from(pattern.substr(2), path);
    return false;
}

bool is_document(const std::string &relative_path, const std::vector<std::string> &include,
                 const std::vector<std::string> &exclude) {
    for (const std::string &p : exclude)
        if (glob_match(p, relative_path)) return false;
    if (include.empty()) return true;
    for (const std::string &p : include)
        if (glob_match(p, relative_path)) return true;
    return false;
}

uint32_t shard_hash(const std::string &relative_path) {
    uint32_t h = 2166136261u;
    for (char c : relative_path) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b >= 'a' && b <= 'z') b = static_cast<unsigned char>(b - 'a' + 'A');
        h ^= b;
        h *= 16777619u;
    }
    return h;
}

bool in_shard(const std::string &relative_path, int k, int n) {
    return n <= 0 || shard_hash(relative_path) % static_cast<uint32_t>(n) == static_cast<uint32_t>(k - 1);
}

void sort_documents(std::vector<std::string> *relative_paths) {
    // std::string compares as unsigned bytes: the UTF-8 byte order.
    std::sort(relative_paths->begin(), relative_paths->end());
}

std::string destination_path(const std::string &relative_path, bool exporting, const std::string &extension) {
    if (!exporting) return relative_path + ".rtf";
    std::string stem = relative_path;
    size_t n = stem.size();
    size_t slash = stem.rfind('/');
    size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    // A name that is only ".rtf" keeps it: the output needs a name.
    if (n >= 4 && n - 4 > name_start && fold(stem[n - 4]) == '.' && fold(stem[n - 3]) == 'R' &&
        fold(stem[n - 2]) == 'T' && fold(stem[n - 1]) == 'F')
        stem.erase(n - 4);
    return stem + "." + extension;
}
