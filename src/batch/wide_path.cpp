#include "batch/wide_path.h"

#include <vector>

std::wstring utf8_to_wide(const std::string &text) {
    if (text.empty()) return L"";
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string wide_to_utf8(const std::wstring &text) {
    if (text.empty()) return "";
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::string ansi_to_utf8(const std::string &text) {
    if (text.empty()) return "";
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide_to_utf8(wide);
}

std::wstring long_path(const std::wstring &path) {
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path;
    std::wstring p = path;
    for (wchar_t &c : p)
        if (c == L'/') c = L'\\';
    DWORD n = GetFullPathNameW(p.c_str(), 0, nullptr, nullptr);
    if (!n) return L"";
    std::vector<wchar_t> buffer(n + 1);
    n = GetFullPathNameW(p.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (!n || n >= buffer.size()) return L"";
    std::wstring full(buffer.data(), n);
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring plain_path(const std::wstring &long_form) {
    if (long_form.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + long_form.substr(8);
    if (long_form.compare(0, 4, L"\\\\?\\") == 0) return long_form.substr(4);
    return long_form;
}

std::wstring join_path(const std::wstring &folder, const std::string &relative_utf8) {
    std::wstring rel = utf8_to_wide(relative_utf8);
    for (wchar_t &c : rel)
        if (c == L'/') c = L'\\';
    if (!folder.empty() && folder.back() == L'\\') return folder + rel;
    return folder + L"\\" + rel;
}

bool is_folder(const std::wstring &long_form) {
    DWORD a = GetFileAttributesW(long_form.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool is_file(const std::wstring &long_form) {
    DWORD a = GetFileAttributesW(long_form.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool make_folders(const std::wstring &long_form) {
    if (is_folder(long_form)) return true;
    size_t slash = long_form.rfind(L'\\');
    // Never above the "\\?\C:" root.
    if (slash != std::wstring::npos && slash > 6) {
        if (!make_folders(long_form.substr(0, slash))) return false;
    }
    return CreateDirectoryW(long_form.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool same_or_inside(const std::wstring &inner, const std::wstring &outer) {
    if (inner.size() < outer.size()) return false;
    if (CompareStringOrdinal(inner.c_str(), static_cast<int>(outer.size()), outer.c_str(),
                             static_cast<int>(outer.size()), TRUE) != CSTR_EQUAL)
        return false;
    return inner.size() == outer.size() || inner[outer.size()] == L'\\' || outer.back() == L'\\';
}

void remove_tree(const std::wstring &long_form) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((long_form + L"\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = long_form + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                SetFileAttributesW(path.c_str(), fd.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                remove_tree(path);
            else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(path.c_str());
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    RemoveDirectoryW(long_form.c_str());
}
