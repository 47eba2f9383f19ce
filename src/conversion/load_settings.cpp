#include "conversion/load_settings.h"

#include <windows.h>

namespace {

// The longest environment value Windows keeps.
const DWORD ENVIRONMENT_VALUE_SIZE = 32767;

bool g_settled;
WCHAR g_dll_directory[MAX_PATH];
bool g_path_present;
WCHAR g_path[ENVIRONMENT_VALUE_SIZE];
WCHAR g_scratch[ENVIRONMENT_VALUE_SIZE];

// "C:\..." or a UNC path "\\server\...": nothing in it depends on the
// current directory or the current drive. Quotes around an entry are
// allowed on PATH.
bool is_absolute(const WCHAR *entry, size_t length) {
    if (length >= 2 && entry[0] == L'"' && entry[length - 1] == L'"') {
        ++entry;
        length -= 2;
    }
    bool separator_at_2 = length >= 3 && (entry[2] == L'\\' || entry[2] == L'/');
    if (length >= 3 && entry[1] == L':' && separator_at_2) return true;
    return length >= 3 && (entry[0] == L'\\' || entry[0] == L'/') && (entry[1] == L'\\' || entry[1] == L'/');
}

size_t without_trailing_separators(const WCHAR *text, size_t length) {
    while (length > 3 && (text[length - 1] == L'\\' || text[length - 1] == L'/')) --length;
    return length;
}

// The entry names the current directory, however it is spelt.
bool is_current_directory(const WCHAR *entry, size_t length, const WCHAR *current) {
    WCHAR copy[MAX_PATH], full[MAX_PATH];
    if (length >= MAX_PATH) return false;
    memcpy(copy, entry, length * sizeof(WCHAR));
    copy[length] = L'\0';
    DWORD n = GetFullPathNameW(copy, MAX_PATH, full, NULL);
    if (n == 0 || n >= MAX_PATH) return false;
    size_t a = without_trailing_separators(full, n), b = without_trailing_separators(current, lstrlenW(current));
    return a == b && CompareStringOrdinal(full, static_cast<int>(a), current, static_cast<int>(b), TRUE) ==
                         CSTR_EQUAL;
}

void settle_path() {
    DWORD n = GetEnvironmentVariableW(L"PATH", g_scratch, ENVIRONMENT_VALUE_SIZE);
    g_path_present = n > 0 && n < ENVIRONMENT_VALUE_SIZE;
    if (!g_path_present) return;
    WCHAR current[MAX_PATH];
    DWORD c = GetCurrentDirectoryW(MAX_PATH, current);
    if (c == 0 || c >= MAX_PATH) current[0] = L'\0';
    size_t out = 0;
    for (const WCHAR *entry = g_scratch; *entry;) {
        const WCHAR *end = entry;
        while (*end && *end != L';') ++end;
        size_t length = static_cast<size_t>(end - entry);
        if (is_absolute(entry, length) && !(current[0] && is_current_directory(entry, length, current))) {
            if (out) g_path[out++] = L';';
            memcpy(g_path + out, entry, length * sizeof(WCHAR));
            out += length;
        }
        entry = *end ? end + 1 : end;
    }
    g_path[out] = L'\0';
}

}  // namespace

void settle_load_settings() {
    // An unattended run must never wait for a person: a drive without media
    // or a fault fails silently instead of showing a dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);

    // A library a converter loads by bare name must not come from the
    // calling program's current directory. Naming our own folder, which is
    // searched first anyway, takes the current directory out on Windows and
    // under Wine alike (Wine 8.0 takes an empty name as "none set" and keeps
    // searching the current directory). Converters given by full path load
    // as before.
    DWORD n = GetModuleFileNameW(NULL, g_dll_directory, MAX_PATH);
    WCHAR *slash = NULL;
    for (DWORD i = 0; n > 0 && n < MAX_PATH && i < n; ++i)
        if (g_dll_directory[i] == L'\\') slash = g_dll_directory + i;
    if (slash)
        slash[1] = L'\0';  // the backslash stays: "C:" alone would name a current directory
    else
        g_dll_directory[0] = L'\0';  // Windows: the current directory out all the same
    settle_path();
    g_settled = true;
    reassert_load_settings();
}

void reassert_load_settings() {
    if (!g_settled) return;
    SetDllDirectoryW(g_dll_directory);
    SetEnvironmentVariableW(L"PATH", g_path_present ? g_path : NULL);
}
