#include "common/file_routines.h"

#include "common/own_file.h"

namespace {

const DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

FileIdentity identity_at(const WCHAR *path) {
    HANDLE h = CreateFileW(path, 0, SHARE_ALL, NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    FileIdentity id = {0, 0, 0, 0};
    if (h == INVALID_HANDLE_VALUE) return id;
    id = file_identity_of(h);
    CloseHandle(h);
    return id;
}

}  // namespace

int widen(const char *text, WCHAR *out, int units) {
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, out, units);
    if (n <= 0) out[0] = L'\0';
    return n > 0 ? n : 0;
}

void resolve_path(const char *path, WCHAR (&out)[PATH_BUFFER_SIZE]) {
    WCHAR wide[PATH_BUFFER_SIZE];
    out[0] = L'\0';
    if (!path[0] || !widen(path, wide, PATH_BUFFER_SIZE)) return;
    DWORD n = GetFullPathNameW(wide, PATH_BUFFER_SIZE, out, NULL);
    if (n > 0 && n < PATH_BUFFER_SIZE) return;
    // Too long once made absolute.
    out[0] = L'\0';
}

HANDLE open_for_reading(const WCHAR *path) {
    if (!path[0]) return INVALID_HANDLE_VALUE;
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

HANDLE create_for_writing(const WCHAR *path) {
    if (!path[0]) return INVALID_HANDLE_VALUE;
    return CreateFileW(path, GENERIC_WRITE | DELETE, SHARE_ALL, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
}

bool write_all(HANDLE file, const void *bytes, DWORD length) {
    const char *at = static_cast<const char *>(bytes);
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(file, at, length, &written, NULL) || written == 0) return false;
        at += written;
        length -= written;
    }
    return true;
}

int file_exists(const char *path) {
    WCHAR wide[PATH_BUFFER_SIZE];
    if (!widen(path, wide, PATH_BUFFER_SIZE)) return 0;
    HANDLE h = open_for_reading(wide);
    if (h == INVALID_HANDLE_VALUE) return 0;
    CloseHandle(h);
    return 1;
}

int same_file(const WCHAR *path_a, const WCHAR *path_b) {
    return same_identity(identity_at(path_a), identity_at(path_b)) ? 1 : 0;
}
