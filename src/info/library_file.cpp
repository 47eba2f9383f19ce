#include "info/library_file.h"

size_t read_library_at(void *source, uint32_t offset, void *out, size_t size) {
    HANDLE file = static_cast<HANDLE>(source);
    LARGE_INTEGER at;
    at.QuadPart = offset;
    if (!SetFilePointerEx(file, at, NULL, FILE_BEGIN)) return 0;
    DWORD got = 0;
    if (!ReadFile(file, out, static_cast<DWORD>(size), &got, NULL)) return 0;
    return got;
}

HANDLE open_library_file(const char *path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
}

LibraryFileStatus read_library_facts(const char *library_path, PeFacts *facts, unsigned long *error) {
    *error = 0;
    if (!library_path[0]) return LIBRARY_NO_PATH;
    LibraryFileHandle file = {open_library_file(library_path)};
    if (file.h == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        if (*error == ERROR_FILE_NOT_FOUND || *error == ERROR_PATH_NOT_FOUND || *error == ERROR_INVALID_NAME)
            return LIBRARY_MISSING;
        return LIBRARY_UNREADABLE;
    }
    *facts = inspect_pe(read_library_at, file.h, ENTRY_POINT_NAMES, ENTRY_POINT_COUNT);
    return LIBRARY_READ;
}
