// Which files under SOURCE are documents, in which order, and which share of
// the documents a run takes. Relative paths are UTF-8 with '/' between
// folders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Case-insensitive (ASCII letters) glob: '*' matches any run of characters,
// '/' included; '?' one character (one UTF-8 sequence). '\' in the pattern
// counts as '/'. A pattern starting with "*/" also matches at the top folder,
// so "*/Thumbs.db" matches "Thumbs.db" too.
bool glob_match(const std::string &pattern, const std::string &path);

// A file is a document unless an exclude pattern matches it, or include
// patterns are given and none matches.
bool is_document(const std::string &relative_path, const std::vector<std::string> &include,
                 const std::vector<std::string> &exclude);

// 32-bit FNV-1a of the relative path with ASCII letters upper-cased: the same
// on every machine and architecture.
uint32_t shard_hash(const std::string &relative_path);
// Whether the document belongs to share k of n (1 <= k <= n).
bool in_shard(const std::string &relative_path, int k, int n);

// Sorts by the UTF-8 bytes of the relative path.
void sort_documents(std::vector<std::string> *relative_paths);

// The output's relative path: import adds ".rtf" to the whole name; export
// drops a final ".rtf" (any case) and adds "." + extension.
std::string destination_path(const std::string &relative_path, bool exporting, const std::string &extension);
