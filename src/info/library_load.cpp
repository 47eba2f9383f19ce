#include "info/library_load.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "info/library_file.h"
#include "info/side_by_side.h"

namespace {

// Libraries remembered for the whole run: each is followed once, however
// many converters need it.
const int MAX_LIBRARIES = 256;
// Deeper chains are taken to load; bounds the stack.
const int MAX_DEPTH = 32;
const int MAX_KNOWN = 128;
const int MAX_FORWARD_HOPS = 4;

enum LibraryState { WALKING, LOADS, FAILS };

struct Library {
    char name[PE_LIBRARY_NAME_SIZE];
    LibraryState state;
    char path[PATH_BUFFER_SIZE];  // "": an API set, which no file stands for
    int system;                   // the system's own: found in a system folder, or a known DLL
    LoadProblem problem;          // FAILS: the first library in its tree that does not load
};

Library g_libraries[MAX_LIBRARIES];
int g_library_count;
Library g_unfollowed = {"", LOADS, "", 0, {}};
int g_depth;
unsigned g_machine;

// Where the loader looks, in its order. Docvane names its own folder as its
// DLL directory, which takes the current directory's place: so the current
// directory is never searched, and the converter's own folder is not either,
// because docvane loads converters by full path without altering the search.
char g_own_folder[PATH_BUFFER_SIZE];
char g_system_folder[PATH_BUFFER_SIZE];
char g_system16_folder[PATH_BUFFER_SIZE];
char g_windows_folder[PATH_BUFFER_SIZE];
char g_path[32768];  // the longest an environment variable can be
char g_known[MAX_KNOWN][PE_LIBRARY_NAME_SIZE];
int g_known_count;

void copy_text(char *to, size_t size, const char *from) { snprintf(to, size, "%s", from); }

// API sets name no file: the system maps them to its own libraries through
// its schema, before any search, so they are taken as there. (An extension
// set without a host on some edition is normally delay-loaded, and delayed
// imports are not judged.)
bool is_api_set(const char *name) { return !_strnicmp(name, "api-ms-win-", 11) || !_strnicmp(name, "ext-ms-", 7); }

bool is_known(const char *name) {
    for (int i = 0; i < g_known_count; ++i)
        if (!_stricmp(g_known[i], name)) return true;
    return false;
}

// The loader adds ".dll" to a name without an extension (forwarders name
// their library that way).
void loader_name(const char *name, char *out, size_t size) {
    const char *base = name;
    for (const char *p = name; *p; ++p)
        if (*p == '\\' || *p == '/') base = p + 1;
    snprintf(out, size, strchr(base, '.') ? "%s" : "%s.dll", name);
}

bool is_file(const char *path) {
    DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool in_system_folder(const char *path) {
    const char *folders[] = {g_system_folder, g_system16_folder, g_windows_folder};
    for (const char *folder : folders) {
        size_t n = strlen(folder);
        if (n && !_strnicmp(path, folder, n) && path[n] == '\\' && !strchr(path + n + 1, '\\')) return true;
    }
    return false;
}

bool in_folder(const char *folder, int length, const char *name, char *path) {
    if (length <= 0) return false;
    int n = snprintf(path, PATH_BUFFER_SIZE, "%.*s%s%s", length, folder, folder[length - 1] == '\\' ? "" : "\\", name);
    return n > 0 && n < static_cast<int>(PATH_BUFFER_SIZE) && is_file(path);
}

bool search(const char *name, char *path) {
    if (strchr(name, '\\') || strchr(name, '/')) {
        copy_text(path, PATH_BUFFER_SIZE, name);
        return is_file(path);
    }
    const char *folders[] = {g_own_folder, g_system_folder, g_system16_folder, g_windows_folder};
    for (const char *folder : folders)
        if (in_folder(folder, static_cast<int>(strlen(folder)), name, path)) return true;
    for (const char *p = g_path; *p;) {
        const char *end = strchr(p, ';');
        int length = end ? static_cast<int>(end - p) : static_cast<int>(strlen(p));
        if (in_folder(p, length, name, path)) return true;
        p += length;
        if (*p == ';') ++p;
    }
    path[0] = '\0';
    return false;
}

Library *fail(Library *lib, LoadProblemKind kind, unsigned long detail) {
    lib->state = FAILS;
    lib->problem.kind = kind;
    copy_text(lib->problem.library, sizeof lib->problem.library, lib->name);
    copy_text(lib->problem.found_at, sizeof lib->problem.found_at, lib->path);
    lib->problem.detail = detail;
    return lib;
}

Library *check_library(const char *import_name);

// An import of the library being followed: the first that fails makes it
// fail, and says for whom it was needed.
void follow_import(void *context, const char *name, int delayed) {
    Library *lib = static_cast<Library *>(context);
    if (delayed || lib->state == FAILS) return;
    Library *dependency = check_library(name);
    if (dependency->state != FAILS) return;
    lib->state = FAILS;
    lib->problem = dependency->problem;
    if (!lib->problem.needed_by[0]) copy_text(lib->problem.needed_by, sizeof lib->problem.needed_by, lib->name);
}

void check_functions(Library *importer, const char *path, const SideBySide *sxs, LoadProblem *problem);

// The library as the loader finds it, followed through its imports.
Library *check_library(const char *import_name) {
    char name[PE_LIBRARY_NAME_SIZE];
    loader_name(import_name, name, sizeof name);
    // One being followed already is part of a cycle, which the loader allows.
    for (int i = 0; i < g_library_count; ++i)
        if (!_stricmp(g_libraries[i].name, name)) return &g_libraries[i];
    if (g_library_count == MAX_LIBRARIES || g_depth >= MAX_DEPTH) return &g_unfollowed;
    Library *lib = &g_libraries[g_library_count++];
    memset(lib, 0, sizeof *lib);
    copy_text(lib->name, sizeof lib->name, name);
    lib->state = WALKING;
    if (is_api_set(name)) {
        lib->state = LOADS;
        return lib;
    }
    // The system maps a known DLL from its own copy, with the known DLLs it
    // needs: not searched, and not followed.
    if (is_known(name)) {
        snprintf(lib->path, sizeof lib->path, "%s\\%s", g_system_folder, name);
        lib->system = 1;
        lib->state = LOADS;
        return lib;
    }
    if (!search(name, lib->path)) return fail(lib, LOAD_MISSING, 0);
    lib->system = in_system_folder(lib->path);
    LibraryFileHandle file = {open_library_file(lib->path)};
    if (file.h == INVALID_HANDLE_VALUE) return fail(lib, LOAD_UNREADABLE, GetLastError());
    PeFacts facts = inspect_pe(read_library_at, file.h, nullptr, 0);
    if (facts.kind == PE_NOT_PE) return fail(lib, LOAD_NOT_DLL, 0);
    // On Windows the first file of the name decides, and one for another
    // machine ends the load. (Wine passes it by and searches on; a later
    // right one would then load there, but not on Windows.)
    if (facts.machine != g_machine) return fail(lib, LOAD_OTHER_MACHINE, facts.machine);
    ++g_depth;
    inspect_pe(read_library_at, file.h, nullptr, 0, follow_import, lib);
    // The system's libraries are made to bind each other; what others
    // import from them is checked.
    if (lib->state == WALKING && !lib->system) check_functions(lib, lib->path, nullptr, &lib->problem);
    --g_depth;
    if (lib->state == WALKING) lib->state = LOADS;
    if (lib->problem.kind != LOAD_OK) lib->state = FAILS;
    return lib;
}

// The export directories of forwarders' targets, per depth and hop.
PeExports g_forward_exports[MAX_DEPTH + 1][MAX_FORWARD_HOPS + 1];

// Where the loader binds one imported function: in exporter, or through
// its forwarders. False, with the problem filled, when it does not.
bool bind_function(const Library *exporter, const PeExports *exports, const char *name, unsigned ordinal,
                   const char *importer, LoadProblem *problem, int hops) {
    char forward[PE_FORWARD_SIZE];
    PeExportKind kind = bind_export(exports, name, ordinal, forward);
    if (kind == PE_EXPORT_FOUND) return true;
    if (kind == PE_EXPORT_ABSENT) {
        memset(problem, 0, sizeof *problem);
        problem->kind = LOAD_MISSING_FUNCTION;
        copy_text(problem->library, sizeof problem->library, exporter->name);
        copy_text(problem->needed_by, sizeof problem->needed_by, importer);
        if (name[0])
            copy_text(problem->function, sizeof problem->function, name);
        else
            snprintf(problem->function, sizeof problem->function, "#%u", ordinal);
        problem->system_library = exporter->system;
        return false;
    }
    // Forwarded: "LIBRARY.Name" or "LIBRARY.#7"; beyond our bounds it is
    // taken as bound.
    const char *dot = strrchr(forward, '.');
    if (hops >= MAX_FORWARD_HOPS || !dot || dot == forward || !dot[1]) return true;
    char module[PE_LIBRARY_NAME_SIZE];
    snprintf(module, sizeof module, "%.*s", static_cast<int>(dot - forward), forward);
    Library *target = check_library(module);
    if (target->state == FAILS) {
        *problem = target->problem;
        if (!problem->needed_by[0]) copy_text(problem->needed_by, sizeof problem->needed_by, exporter->name);
        return false;
    }
    if (!target->path[0]) return true;
    LibraryFileHandle file = {open_library_file(target->path)};
    if (file.h == INVALID_HANDLE_VALUE) return true;
    PeExports &target_exports = g_forward_exports[g_depth][hops];
    if (!open_exports(read_library_at, file.h, &target_exports)) return true;
    unsigned target_ordinal = 0;
    const char *target_name = dot + 1;
    if (target_name[0] == '#') {
        target_ordinal = static_cast<unsigned>(strtoul(target_name + 1, nullptr, 10));
        target_name = "";
    }
    return bind_function(target, &target_exports, target_name, target_ordinal, exporter->name, problem, hops + 1);
}

// Checks every function the library at path imports, library by library,
// against what the library supplying it exports; the first that does not
// bind goes into problem. The converter's own imports may come from its
// side-by-side assemblies (sxs).
struct FunctionCheck {
    const char *importer;  // "" for the converter
    const SideBySide *sxs;
    LoadProblem *problem;
    char current[PE_LIBRARY_NAME_SIZE];
    const Library *exporter;  // null: nothing to check against
    HANDLE file;
    PeExports exports;
};

void check_function(void *context, const char *library, const char *name, unsigned ordinal) {
    FunctionCheck *c = static_cast<FunctionCheck *>(context);
    if (c->problem->kind != LOAD_OK) return;
    if (_stricmp(library, c->current)) {
        copy_text(c->current, sizeof c->current, library);
        if (c->file != INVALID_HANDLE_VALUE) CloseHandle(c->file);
        c->file = INVALID_HANDLE_VALUE;
        c->exporter = nullptr;
        const char *supplied = c->sxs ? supplied_path(c->sxs, library) : nullptr;
        const Library *lib = check_library(supplied ? supplied : library);
        // One that fails was reported already; API sets name no file.
        if (lib->state == FAILS || !lib->path[0]) return;
        c->file = open_library_file(lib->path);
        if (c->file == INVALID_HANDLE_VALUE || !open_exports(read_library_at, c->file, &c->exports)) return;
        c->exporter = lib;
    }
    // A name cut to our room cannot be compared.
    if (!c->exporter || strlen(name) >= PE_FUNCTION_NAME_SIZE - 1) return;
    bind_function(c->exporter, &c->exports, name, ordinal, c->importer, c->problem, 0);
}

// One per depth of the walk: too big for a stack that recurses through
// libraries.
FunctionCheck g_checks[MAX_DEPTH + 1];

void check_functions(Library *importer, const char *path, const SideBySide *sxs, LoadProblem *problem) {
    FunctionCheck *c = &g_checks[g_depth];
    memset(c, 0, sizeof *c);
    c->importer = importer ? importer->name : "";
    c->sxs = sxs;
    c->problem = problem;
    c->file = INVALID_HANDLE_VALUE;
    {
        LibraryFileHandle file = {open_library_file(path)};
        if (file.h != INVALID_HANDLE_VALUE) list_imported_functions(read_library_at, file.h, check_function, c);
    }
    if (c->file != INVALID_HANDLE_VALUE) CloseHandle(c->file);
}

// Where a forwarded entry point leads: the target library must load and
// export the target name, itself perhaps forwarded again.
void resolve_forward(const char *forward, LoadProblem *problem, PeExportKind *kind, int hops) {
    *kind = PE_EXPORT_ABSENT;
    const char *dot = strrchr(forward, '.');
    if (!dot || dot == forward || !dot[1]) return;
    char module[PE_LIBRARY_NAME_SIZE];
    snprintf(module, sizeof module, "%.*s", static_cast<int>(dot - forward), forward);
    Library *lib = check_library(module);
    if (lib->state == FAILS) {
        *problem = lib->problem;
        return;
    }
    // An API set's target, an ordinal, and what lies beyond our bounds are
    // taken as found.
    const char *name = dot + 1;
    if (!lib->path[0] || name[0] == '#') {
        *kind = PE_EXPORT_FOUND;
        return;
    }
    LibraryFileHandle file = {open_library_file(lib->path)};
    PeFacts facts = inspect_pe(read_library_at, file.h, &name, 1);
    *kind = facts.exports[0];
    if (*kind == PE_EXPORT_FORWARDED && hops < MAX_FORWARD_HOPS)
        resolve_forward(facts.forward[0], problem, kind, hops + 1);
}

struct ConverterImports {
    LibraryLoad *load;
    size_t delayed_length;
    const SideBySide *sxs;
};

// The converter's side-by-side assemblies; big for the stack.
SideBySide g_sxs;

void converter_import(void *context, const char *name, int delayed) {
    ConverterImports *c = static_cast<ConverterImports *>(context);
    LibraryLoad *load = c->load;
    if (delayed) {
        size_t room = sizeof load->delayed - c->delayed_length;
        int n = snprintf(load->delayed + c->delayed_length, room, "%s%s", c->delayed_length ? ", " : "", name);
        if (n > 0) c->delayed_length += static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room - 1;
        return;
    }
    if (load->imports.kind != LOAD_OK) return;
    // A library an assembly supplies is taken from there, not searched for.
    const char *supplied = supplied_path(c->sxs, name);
    Library *dependency = check_library(supplied ? supplied : name);
    if (dependency->state == FAILS) load->imports = dependency->problem;
}

// A missing library that sits in the converter's folder is named as such:
// it is the commonest mistake.
void note_beside(const char *library_path, LoadProblem *p) {
    if (p->kind != LOAD_MISSING) return;
    const char *slash = strrchr(library_path, '\\');
    char path[PATH_BUFFER_SIZE];
    p->beside_converter = slash && in_folder(library_path, static_cast<int>(slash - library_path), p->library, path);
}

}  // namespace

void start_library_search(unsigned own_machine) {
    g_machine = own_machine;
    start_side_by_side(own_machine);
    g_library_count = 0;
    // dvinfo is shipped beside docvane.exe: its folder is docvane's.
    DWORD n = GetModuleFileNameA(NULL, g_own_folder, sizeof g_own_folder);
    char *slash = n > 0 && n < sizeof g_own_folder ? strrchr(g_own_folder, '\\') : NULL;
    if (slash)
        *slash = '\0';
    else
        g_own_folder[0] = '\0';
    // For the i686 build on 64-bit Windows this names System32, and the
    // file system redirection of a 32-bit process makes every read of it a
    // read of SysWOW64: the folder that the 32-bit loader searches.
    n = GetSystemDirectoryA(g_system_folder, sizeof g_system_folder);
    if (n == 0 || n >= sizeof g_system_folder) g_system_folder[0] = '\0';
    n = GetWindowsDirectoryA(g_windows_folder, sizeof g_windows_folder);
    if (n == 0 || n >= sizeof g_windows_folder) g_windows_folder[0] = '\0';
    if (g_windows_folder[0]) snprintf(g_system16_folder, sizeof g_system16_folder, "%s\\System", g_windows_folder);
    // docvane inherits its PATH from the program that starts it: this is
    // ours, which is why dvinfo should run as docvane runs.
    n = GetEnvironmentVariableA("PATH", g_path, sizeof g_path);
    if (n == 0 || n >= sizeof g_path) g_path[0] = '\0';
    // The known DLLs. A 32-bit process on 64-bit Windows has a set of its
    // own, made from this same list; what the list names sits in the system
    // folder either way.
    g_known_count = 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0; g_known_count < MAX_KNOWN; ++i) {
        char value_name[64];
        DWORD name_size = sizeof value_name, type, data_size = PE_LIBRARY_NAME_SIZE - 1;
        char *data = g_known[g_known_count];
        LONG rc = RegEnumValueA(key, i, value_name, &name_size, NULL, &type,
                                reinterpret_cast<BYTE *>(data), &data_size);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS || type != REG_SZ) continue;
        data[data_size] = '\0';
        // These two name folders, not libraries.
        if (!_stricmp(value_name, "DllDirectory") || !_stricmp(value_name, "DllDirectory32")) continue;
        ++g_known_count;
    }
    RegCloseKey(key);
}

void check_library_load(const char *library_path, const PeFacts *facts, LibraryLoad *load) {
    memset(load, 0, sizeof *load);
    // The loader makes the manifest's activation context before it binds
    // any import.
    read_side_by_side(library_path, &g_sxs);
    copy_text(load->assemblies, sizeof load->assemblies, g_sxs.assemblies);
    load->imports = g_sxs.problem;
    ConverterImports c = {load, 0, &g_sxs};
    {
        LibraryFileHandle file = {open_library_file(library_path)};
        if (file.h == INVALID_HANDLE_VALUE) return;
        inspect_pe(read_library_at, file.h, nullptr, 0, converter_import, &c);
    }
    if (load->imports.kind == LOAD_OK) check_functions(nullptr, library_path, &g_sxs, &load->imports);
    note_beside(library_path, &load->imports);
    for (int i = 0; i < ENTRY_POINT_COUNT; ++i) {
        if (facts->exports[i] != PE_EXPORT_FORWARDED) continue;
        resolve_forward(facts->forward[i], &load->forward_load[i], &load->forward_export[i], 0);
        note_beside(library_path, &load->forward_load[i]);
    }
}
