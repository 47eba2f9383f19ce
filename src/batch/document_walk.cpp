#include "batch/document_walk.h"

#include <cstdio>

#include "batch/wide_path.h"

namespace {

bool walk(const std::wstring &folder, const std::string &prefix, const std::wstring &skip, std::vector<SourceFile> *out,
          bool top) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return !top && GetLastError() != ERROR_PATH_NOT_FOUND;
    do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring path = folder + L"\\" + name;
        std::string relative = prefix + wide_to_utf8(name);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // Folder links and junctions could lead out of SOURCE, or round.
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
            walk(path, relative + "/", skip, out, false);
            continue;
        }
        if (!skip.empty() && same_or_inside(path, skip) && path.size() == skip.size()) continue;
        SourceFile f;
        f.relative = relative;
        f.bytes = (static_cast<long long>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
        f.modified = fd.ftLastWriteTime;
        out->push_back(f);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
    return true;
}

}  // namespace

bool walk_source(const std::wstring &root, const std::wstring &skip, std::vector<SourceFile> *out) {
    return walk(root, "", skip, out, true);
}

std::string iso_utc(const FILETIME &time) {
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(&time, &st)) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond);
    return text;
}
