// The files under SOURCE, recursively: folder links and junctions are not
// entered; files that are reparse points are documents like any other.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct SourceFile {
    std::string relative;   // UTF-8, '/' between folders
    long long bytes = 0;
    FILETIME modified{};
};

// Every file under root (a "\\?\" path); skip is a file that never counts
// (the report). False when root cannot be read.
bool walk_source(const std::wstring &root, const std::wstring &skip, std::vector<SourceFile> *out);

// "2026-12-10T03:52:27Z"
std::string iso_utc(const FILETIME &time);
