#include "batch/work_folder.h"

#include "batch/wide_path.h"

namespace {
const wchar_t LOCK_NAME[] = L"lock";
}

WorkFolder::~WorkFolder() {
    if (lock_ != INVALID_HANDLE_VALUE) CloseHandle(lock_);
}

WorkFolder::Take WorkFolder::take(const std::wstring &long_form) {
    path_ = long_form;
    if (!make_folders(long_form)) return NOT_WRITABLE;
    // Not shared, and gone with the handle: a run that is killed leaves the
    // folder free for the next one.
    lock_ = CreateFileW((long_form + L"\\" + LOCK_NAME).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (lock_ == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION ? HELD_ELSEWHERE : NOT_WRITABLE;
    // An earlier run's leftovers: copies, temporary outputs, request files.
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((long_form + L"\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L".." || name == LOCK_NAME) continue;
            std::wstring path = long_form + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_tree(path);
            } else {
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    // Writable: the outputs go here before they are moved into place.
    std::wstring probe = long_form + L"\\probe";
    HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return NOT_WRITABLE;
    DWORD written = 0;
    bool ok = WriteFile(h, "probe", 5, &written, nullptr) && written == 5;
    CloseHandle(h);
    DeleteFileW(probe.c_str());
    return ok ? TAKEN : NOT_WRITABLE;
}

void WorkFolder::remove() {
    if (lock_ != INVALID_HANDLE_VALUE) CloseHandle(lock_);
    lock_ = INVALID_HANDLE_VALUE;
    if (!path_.empty()) remove_tree(path_);
}
