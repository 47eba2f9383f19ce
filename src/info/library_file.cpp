#include "info/library_file.h"

#include <windows.h>

namespace {

size_t read_file_at(void *source, uint32_t offset, void *out, size_t size) {
    HANDLE file = static_cast<HANDLE>(source);
    LARGE_INTEGER at;
    at.QuadPart = offset;
    if (!SetFilePointerEx(file, at, NULL, FILE_BEGIN)) return 0;
    DWORD got = 0;
    if (!ReadFile(file, out, static_cast<DWORD>(size), &got, NULL)) return 0;
    return got;
}

// Closes the file on every path.
struct FileHandle {
    HANDLE h;
    ~FileHandle() { if (h != INVALID_HANDLE_VALUE) CloseHandle(h); }
};

}  // namespace

LibraryFileStatus read_library_facts(const char *library_path, PeFacts *facts, unsigned long *error) {
    *error = 0;
    if (!library_path[0]) return LIBRARY_NO_PATH;
    // Shared with any writer, so looking never gets in anyone's way.
    FileHandle file = {CreateFileA(library_path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL)};
    if (file.h == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        if (*error == ERROR_FILE_NOT_FOUND || *error == ERROR_PATH_NOT_FOUND || *error == ERROR_INVALID_NAME)
            return LIBRARY_MISSING;
        return LIBRARY_UNREADABLE;
    }
    *facts = inspect_pe(read_file_at, file.h, ENTRY_POINT_NAMES, ENTRY_POINT_COUNT);
    return LIBRARY_READ;
}
