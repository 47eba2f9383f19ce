#include "win_test_support.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

namespace dvtest {

namespace {

std::string g_docvane;
std::string g_fixture_dir;
unsigned g_scratch_counter;

const char WORDPAD_KEY[] = "WordPad.Document.1";
const char CONVERTERS_KEY[] = "SOFTWARE\\Microsoft\\Shared Tools\\Text Converters";

// Through the long-path form of wide names, so a file past 260 characters
// that a test made goes too.
void delete_tree_wide(const std::wstring &dir) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L"..")) continue;
            std::wstring p = dir + L"\\" + fd.cFileName;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                delete_tree_wide(p);
            else {
                SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(p.c_str());
            }
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
}

void delete_tree(const std::string &dir) {
    wchar_t wide[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, dir.c_str(), -1, wide, MAX_PATH)) return;
    delete_tree_wide(std::wstring(L"\\\\?\\") + wide);
}

}  // namespace

std::string windows_path(const std::string &path) {
    if (path.empty() || path[0] != '/') return path;
    std::string out = "Z:" + path;
    for (char &c : out)
        if (c == '/') c = '\\';
    return out;
}

void parse_test_args(int *argc, char **argv) {
    int out = 1;
    for (int i = 1; i < *argc; ++i) {
        if (!strncmp(argv[i], "--docvane=", 10))
            g_docvane = windows_path(argv[i] + 10);
        else if (!strncmp(argv[i], "--fixture-dir=", 14))
            g_fixture_dir = windows_path(argv[i] + 14);
        else
            argv[out++] = argv[i];
    }
    *argc = out;
    argv[out] = nullptr;
}

const std::string &docvane_exe() { return g_docvane; }
const std::string &fixture_dir() { return g_fixture_dir; }

DWORD run_program(const char *app, const std::string &command_line, const char *cwd) {
    std::string cmd = command_line;  // CreateProcessA may write to it
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    // Wine under load has failed a start with ERROR_INTERNAL_ERROR before the
    // program ran at all: a start that never happened is tried again.
    BOOL started = FALSE;
    DWORD error = 0;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        if (attempt) Sleep(500);
        started = CreateProcessA(app, &cmd[0], NULL, NULL, FALSE, 0, NULL, cwd, &si, &pi);
        error = started ? 0 : GetLastError();
        if (!started && error != ERROR_INTERNAL_ERROR) break;
    }
    if (!started) {
        ADD_FAILURE() << "cannot start " << command_line << ": error " << error;
        return 0xDEADBEEF;
    }
    // A run that waits for anything (a dialog, a debugger) fails here rather
    // than at the test's time limit.
    if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_TIMEOUT) {
        ADD_FAILURE() << "did not end within two minutes: " << command_line;
        TerminateProcess(pi.hProcess, 0xDEADBEEF);
        WaitForSingleObject(pi.hProcess, INFINITE);
    }
    DWORD code = 0xDEADBEEF;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

DWORD run_docvane(const std::string &command_line) { return run_program(g_docvane.c_str(), command_line); }

DWORD run_docvane_tail(const std::string &tail) { return run_docvane("\"" + g_docvane + "\" " + tail); }

DWORD run_request_file(const std::string &path, const std::string &content, std::string *afterwards) {
    EXPECT_TRUE(write_file(path, content)) << path;
    DWORD code = run_docvane_tail(path);
    *afterwards = read_file(path);
    return code;
}

ScratchDir::ScratchDir() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    // Wine's process ids repeat in every fresh prefix: the time makes the
    // name this run's own, and a folder that exists all the same is never
    // reused.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    for (;;) {
        char name[64];
        snprintf(name, sizeof name, "dvt-%08lx%08lx-%lu-%u", now.dwHighDateTime, now.dwLowDateTime,
                 GetCurrentProcessId(), g_scratch_counter++);
        path_ = std::string(temp) + name;
        if (CreateDirectoryA(path_.c_str(), NULL) || GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
}

ScratchDir::~ScratchDir() { delete_tree(path_); }

bool write_file(const std::string &path, const std::string &bytes) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

std::string read_file(const std::string &path, bool *exists) {
    std::string out;
    FILE *f = fopen(path.c_str(), "rb");
    if (exists) *exists = f != nullptr;
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return out;
}

bool file_exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool copy_file(const std::string &from, const std::string &to) {
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

void create_dangling_link(HKEY parent, const std::string &name) {
    HKEY h;
    DWORD disposition;
    ASSERT_EQ(RegCreateKeyExA(parent, name.c_str(), 0, NULL, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS | KEY_CREATE_LINK, NULL, &h, &disposition),
              ERROR_SUCCESS);
    const WCHAR target[] = L"\\Registry\\Machine\\Software\\docvane-test-nowhere";
    EXPECT_EQ(RegSetValueExW(h, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE *>(target),
                             sizeof target - sizeof(WCHAR)),
              ERROR_SUCCESS);
    RegCloseKey(h);
    HKEY probe;
    ASSERT_NE(RegOpenKeyA(parent, name.c_str(), &probe), ERROR_SUCCESS) << "the link must not open";
}

void delete_link(HKEY parent, const std::string &name) {
    typedef LONG(WINAPI * NtDeleteKeyFn)(HANDLE);
    NtDeleteKeyFn nt_delete_key = reinterpret_cast<NtDeleteKeyFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey")));
    HKEY h;
    if (RegOpenKeyExA(parent, name.c_str(), REG_OPTION_OPEN_LINK, DELETE, &h) == ERROR_SUCCESS) {
        if (nt_delete_key) nt_delete_key(h);
        RegCloseKey(h);
    }
}

RegistryScope::RegistryScope() { clear(); }
RegistryScope::~RegistryScope() { clear(); }

void RegistryScope::clear() {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, WORDPAD_KEY);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, WORDPAD_KEY);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, CONVERTERS_KEY);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, CONVERTERS_KEY);
}

void RegistryScope::set_wordpad_command(const std::string &command) {
    std::string key = std::string(WORDPAD_KEY) + "\\shell\\open\\command";
    LONG rc = RegSetValueA(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, command.c_str(), (DWORD)command.size());
    ASSERT_EQ(rc, ERROR_SUCCESS);
}

HKEY RegistryScope::create_converter_key(bool export_dir, const std::string &subkey) {
    std::string key = std::string(CONVERTERS_KEY) + (export_dir ? "\\Export\\" : "\\Import\\") + subkey;
    HKEY h = NULL;
    LONG rc = RegCreateKeyA(HKEY_LOCAL_MACHINE, key.c_str(), &h);
    EXPECT_EQ(rc, ERROR_SUCCESS) << key;
    return h;
}

void RegistryScope::add_converter(bool export_dir, const std::string &subkey, const std::string &name,
                                  const std::string &path, const std::string &extensions) {
    HKEY h = create_converter_key(export_dir, subkey);
    if (!h) return;
    RegSetValueExA(h, "Name", 0, REG_SZ, (const BYTE *)name.c_str(), (DWORD)name.size() + 1);
    RegSetValueExA(h, "Path", 0, REG_SZ, (const BYTE *)path.c_str(), (DWORD)path.size() + 1);
    RegSetValueExA(h, "Extensions", 0, REG_SZ, (const BYTE *)extensions.c_str(), (DWORD)extensions.size() + 1);
    RegCloseKey(h);
}

HGLOBAL oem_path_handle(const std::string &path) {
    HGLOBAL h = GlobalAlloc(GMEM_ZEROINIT, 261);
    CharToOemA(path.c_str(), static_cast<char *>(GlobalLock(h)));
    GlobalUnlock(h);
    return h;
}

}  // namespace dvtest
