// Helpers for tests that run as Windows programs under Wine.
#pragma once

#include <windows.h>

#include <string>

namespace dvtest {

// The docvane.exe under test, as a Windows path (set from --docvane=PATH).
const std::string &docvane_exe();
// Parses and removes --docvane=PATH and --fixture-dir=PATH from argv.
void parse_test_args(int *argc, char **argv);
// The folder that holds the fixture converter DLLs (Windows path).
const std::string &fixture_dir();

// A Linux path ("/x/y") as Wine's Windows path ("Z:\x\y"); others unchanged.
std::string windows_path(const std::string &path);

// Starts a program with exactly this command line in the folder cwd (NULL:
// ours) and returns its full 32-bit exit code; app NULL lets the command line
// name the program, as a caller would.
DWORD run_program(const char *app, const std::string &command_line, const char *cwd = nullptr);
// Starts docvane.exe with exactly this command line (program name included).
DWORD run_docvane(const std::string &command_line);
// The same, with the command line "<quoted exe> <tail>".
DWORD run_docvane_tail(const std::string &tail);

// Writes a request file with content, starts docvane with its path as the
// tail, and returns the exit code; *afterwards gets what the file then holds.
DWORD run_request_file(const std::string &path, const std::string &content, std::string *afterwards);

// A fresh scratch folder, removed with its files when the object goes.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "\\" + name; }

  private:
    std::string path_;
};

bool write_file(const std::string &path, const std::string &bytes);
// The bytes of path; *exists says whether it could be read.
std::string read_file(const std::string &path, bool *exists = nullptr);
bool file_exists(const std::string &path);
bool copy_file(const std::string &from, const std::string &to);

// A subkey that is listed but cannot be opened: a volatile link from
// parent\name to a key that does not exist.
void create_dangling_link(HKEY parent, const std::string &name);
// Removes such a link; RegDeleteTreeA cannot pass one.
void delete_link(HKEY parent, const std::string &name);

// Clears the registry keys docvane reads (WordPad's open command and the
// converter registrations) when made and again when it goes, so every test
// starts from a bare registry and leaves one behind.
class RegistryScope {
  public:
    RegistryScope();
    ~RegistryScope();
    // Sets WordPad's open command (default value).
    void set_wordpad_command(const std::string &command);
    // Registers a converter subkey under Import (export false) or Export.
    void add_converter(bool export_dir, const std::string &subkey, const std::string &name,
                       const std::string &path, const std::string &extensions);
    // Creates the subkey only (values may be set by hand afterwards).
    HKEY create_converter_key(bool export_dir, const std::string &subkey);

  private:
    void clear();
};

// A converter library loaded for calling its entry points directly, as a
// host does; unloaded at the end of the scope.
struct LoadedConverter {
    HMODULE module;
    explicit LoadedConverter(const std::string &path) : module(LoadLibraryA(path.c_str())) {}
    ~LoadedConverter() {
        if (module) FreeLibrary(module);
    }
    LoadedConverter(const LoadedConverter &) = delete;
    LoadedConverter &operator=(const LoadedConverter &) = delete;
    template <class F>
    F get(const char *name) {
        return reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(module, name)));
    }
};

// A path as a host hands it to a converter: a global block of 261 bytes
// holding the path in the OEM code page. The caller frees it.
HGLOBAL oem_path_handle(const std::string &path);

}  // namespace dvtest
