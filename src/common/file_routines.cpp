#include "common/file_routines.h"

#include <fcntl.h>
#include <io.h>
#include <string.h>
#include <windows.h>

#include "common/text_limits.h"

namespace {

// Copies path into buf; 0 when it does not fit.
int copy_path(char (&buf)[PATH_BUFFER_SIZE], const char *path) {
    size_t len = strlen(path);
    if (len >= sizeof buf) return 0;
    memcpy(buf, path, len + 1);
    return 1;
}

int file_identity(const char *path, BY_HANDLE_FILE_INFORMATION *info) {
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (h == INVALID_HANDLE_VALUE) return 0;
    BOOL ok = GetFileInformationByHandle(h, info);
    CloseHandle(h);
    return ok ? 1 : 0;
}

}  // namespace

FILE *open_on_copy(const char *path, const char *mode) {
    char copy[PATH_BUFFER_SIZE];
    if (!copy_path(copy, path)) return NULL;
    return fopen(copy, mode);
}

FILE *create_for_writing(const char *path) {
    char copy[PATH_BUFFER_SIZE];
    if (!copy_path(copy, path)) return NULL;
    HANDLE h = CreateFileA(copy, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) return NULL;
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd == -1) {
        CloseHandle(h);
        return NULL;
    }
    FILE *file = _fdopen(fd, "wb");
    if (!file) _close(fd);  // closes the handle too
    return file;
}

void resolve_path(const char *path, char (&out)[PATH_BUFFER_SIZE]) {
    DWORD n = path[0] ? GetFullPathNameA(path, sizeof out, out, NULL) : 0;
    if (n > 0 && n < sizeof out) return;
    // Too long to copy as well: the empty path, which opens nothing, as
    // open_on_copy refuses such a path.
    if (!copy_path(out, path)) out[0] = '\0';
}

int file_exists(const char *path) {
    FILE *f = open_on_copy(path, "rb");
    if (!f) return 0;
    fclose(f);
    return 1;
}

void delete_file(const char *path) {
    char copy[PATH_BUFFER_SIZE];
    if (!copy_path(copy, path)) return;
    DeleteFileA(copy);
}

int same_file(const char *path_a, const char *path_b) {
    BY_HANDLE_FILE_INFORMATION a, b;
    if (!file_identity(path_a, &a) || !file_identity(path_b, &b)) return 0;
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}
