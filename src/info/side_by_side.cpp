#include "info/side_by_side.h"

#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "info/library_file.h"

namespace {

// ISOLATIONAWARE_MANIFEST_RESOURCE_ID: the one the loader activates for a
// DLL's own imports.
const unsigned DLL_MANIFEST_ID = 2;
// Manifests are small; one larger is read as far as this.
const size_t MANIFEST_BYTES = 32768;

char g_store[PATH_BUFFER_SIZE];  // %WINDIR%\WinSxS
const char *g_own_arch = "x86";
bool g_wine;
char g_text[MANIFEST_BYTES];
char g_other[MANIFEST_BYTES];

// A manifest's text; UTF-16 (with its mark) is narrowed, since every name
// that matters is ASCII.
size_t narrow_manifest(char *text, size_t n) {
    if (n < 2 || static_cast<unsigned char>(text[0]) != 0xFF || static_cast<unsigned char>(text[1]) != 0xFE) return n;
    size_t out = 0;
    for (size_t i = 2; i + 1 < n; i += 2) text[out++] = text[i + 1] ? '?' : text[i];
    text[out] = '\0';
    return out;
}

size_t read_text_file(const char *path, char *out, size_t size) {
    LibraryFileHandle file = {open_library_file(path)};
    out[0] = '\0';
    if (file.h == INVALID_HANDLE_VALUE) return 0;
    size_t n = read_library_at(file.h, 0, out, size - 1);
    out[n] = '\0';
    return narrow_manifest(out, n);
}

// The store's manifest for exactly this identity: its name without
// ".manifest" is the folder holding the assembly's files. Store manifests
// are named arch_name_token_version_language_hash (lower case; Windows XP
// kept the same prefix). *error: 0 found, ERROR_FILE_NOT_FOUND absent,
// anything else the store cannot be read.
bool store_manifest(const AssemblyIdentity &a, const char *arch, const char *version, char *folder,
                    unsigned long *error) {
    char pattern[PATH_BUFFER_SIZE * 2];
    snprintf(pattern, sizeof pattern, "%s\\Manifests\\%s_%s_%s_%s_*.manifest", g_store, arch, a.name, a.token,
             version);
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(pattern, &found);
    if (find == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        if (*error == ERROR_NO_MORE_FILES) *error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    FindClose(find);
    *error = 0;
    size_t length = strlen(found.cFileName) - strlen(".manifest");
    snprintf(folder, PATH_BUFFER_SIZE, "%s\\%.*s", g_store, static_cast<int>(length), found.cFileName);
    return true;
}

// A publisher policy in the store that redirects this version: the
// version the loader binds instead, into version_out.
bool policy_version(const AssemblyIdentity &a, const char *arch, char *version_out, size_t size) {
    unsigned v[4];
    if (!parse_assembly_version(a.version, v)) return false;
    char pattern[PATH_BUFFER_SIZE * 2];
    snprintf(pattern, sizeof pattern, "%s\\Manifests\\%s_policy.%u.%u.%s_%s_*.manifest", g_store, arch, v[0], v[1],
             a.name, a.token);
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(pattern, &found);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool redirected = false;
    do {
        char path[PATH_BUFFER_SIZE * 2];
        snprintf(path, sizeof path, "%s\\Manifests\\%s", g_store, found.cFileName);
        size_t n = read_text_file(path, g_other, sizeof g_other);
        redirected = manifest_redirect(g_other, n, a.version, version_out, size);
    } while (!redirected && FindNextFileA(find, &found));
    FindClose(find);
    return redirected;
}

// Wine's rule in its own store: the highest version of the same
// major.minor whose build.revision is not below the one asked for.
bool wine_version(const AssemblyIdentity &a, const char *arch, char *version_out, size_t size) {
    unsigned wanted[4];
    if (!parse_assembly_version(a.version, wanted)) return false;
    char pattern[PATH_BUFFER_SIZE * 2];
    snprintf(pattern, sizeof pattern, "%s\\Manifests\\%s_%s_%s_%u.%u.*.manifest", g_store, arch, a.name, a.token,
             wanted[0], wanted[1]);
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(pattern, &found);
    if (find == INVALID_HANDLE_VALUE) return false;
    unsigned best[4] = {0, 0, 0, 0};
    bool any = false;
    size_t skip = strlen(arch) + strlen(a.name) + strlen(a.token) + 3;
    do {
        if (strlen(found.cFileName) <= skip) continue;
        char version[32];
        snprintf(version, sizeof version, "%s", found.cFileName + skip);
        char *end = strchr(version, '_');
        if (end) *end = '\0';
        unsigned v[4];
        if (!parse_assembly_version(version, v) || compare_assembly_versions(v, wanted) < 0) continue;
        if (!any || compare_assembly_versions(v, best) > 0) {
            memcpy(best, v, sizeof best);
            snprintf(version_out, size, "%s", version);
            any = true;
        }
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return any;
}

// A private assembly beside the converter: NAME.manifest, or
// NAME\NAME.manifest; folder gets where its files are.
bool private_manifest(const AssemblyIdentity &a, const char *converter_folder, char *manifest, char *folder) {
    snprintf(manifest, PATH_BUFFER_SIZE, "%s\\%s.manifest", converter_folder, a.name);
    DWORD attributes = GetFileAttributesA(manifest);
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        snprintf(folder, PATH_BUFFER_SIZE, "%s", converter_folder);
        return true;
    }
    snprintf(folder, PATH_BUFFER_SIZE, "%s\\%s", converter_folder, a.name);
    snprintf(manifest, PATH_BUFFER_SIZE, "%s\\%s.manifest", folder, a.name);
    attributes = GetFileAttributesA(manifest);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void add_supplied(SideBySide *out, const char *manifest_path, const char *folder) {
    size_t n = read_text_file(manifest_path, g_other, sizeof g_other);
    char files[MANIFEST_MAX_FILES][PE_LIBRARY_NAME_SIZE];
    int count = manifest_files(g_other, n, files, MANIFEST_MAX_FILES);
    for (int i = 0; i < count && out->supplied_count < MANIFEST_MAX_FILES; ++i) {
        SuppliedLibrary *s = &out->supplied[out->supplied_count++];
        snprintf(s->name, sizeof s->name, "%s", files[i]);
        snprintf(s->path, sizeof s->path, "%s\\%s", folder, files[i]);
    }
}

// "NAME VERSION (where)" for the report.
void note(SideBySide *out, const AssemblyIdentity &a, const char *where) {
    size_t n = strlen(out->assemblies);
    snprintf(out->assemblies + n, sizeof out->assemblies - n, "%s%s %s (%s)", n ? ", " : "", a.name, a.version,
             where);
}

}  // namespace

void start_side_by_side(unsigned own_machine) {
    g_own_arch = own_machine == PE_MACHINE_AMD64 ? "amd64" : "x86";
    // Wine names itself through an export of its ntdll that Windows' lacks.
    g_wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    char windows[PATH_BUFFER_SIZE];
    UINT n = GetWindowsDirectoryA(windows, sizeof windows);
    if (n == 0 || n >= sizeof windows)
        g_store[0] = '\0';
    else
        snprintf(g_store, sizeof g_store, "%s\\WinSxS", windows);
}

// Windows binds a dependency to the store's assembly of exactly that
// identity, or to the version a publisher policy in the store names, and
// only then probes the converter's folder (an assembly without a public key
// token only there). Under Wine the store is Wine's own (with fake hashes
// in its names and no policies), and Wine binds differently: to the highest
// version it has of the same major.minor, not older than the one asked
// for. dvinfo reports the system at hand, so under Wine it follows Wine's
// rule; the report names the version bound either way. An assembly found
// nowhere makes Windows refuse the load (error 14001); Wine loads the
// library without the activation context, so the verdict says "on Windows".
void read_side_by_side(const char *library_path, SideBySide *out) {
    memset(out, 0, sizeof *out);
    size_t n;
    {
        LibraryFileHandle file = {open_library_file(library_path)};
        if (file.h == INVALID_HANDLE_VALUE) return;
        n = read_manifest_resource(read_library_at, file.h, DLL_MANIFEST_ID, g_text, sizeof g_text);
    }
    n = narrow_manifest(g_text, n);
    if (!n) return;
    AssemblyIdentity assemblies[MANIFEST_MAX_ASSEMBLIES];
    memset(assemblies, 0, sizeof assemblies);
    int count = manifest_dependencies(g_text, n, assemblies, MANIFEST_MAX_ASSEMBLIES);
    char converter_folder[PATH_BUFFER_SIZE];
    snprintf(converter_folder, sizeof converter_folder, "%s", library_path);
    char *slash = strrchr(converter_folder, '\\');
    if (slash) *slash = '\0';
    for (int i = 0; i < count; ++i) {
        const AssemblyIdentity &a = assemblies[i];
        const char *arch = !a.arch[0] || !strcmp(a.arch, "*") ? g_own_arch : a.arch;
        char folder[PATH_BUFFER_SIZE], manifest[PATH_BUFFER_SIZE * 2], bound[32];
        unsigned long store_error = ERROR_FILE_NOT_FOUND;
        if (a.token[0] && g_store[0]) {
            bool found = store_manifest(a, arch, a.version, folder, &store_error);
            snprintf(bound, sizeof bound, "%s", a.version);
            if (!found && store_error == ERROR_FILE_NOT_FOUND &&
                (g_wine ? wine_version(a, arch, bound, sizeof bound) : policy_version(a, arch, bound, sizeof bound)))
                found = store_manifest(a, arch, bound, folder, &store_error);
            if (found) {
                // The store's manifest sits in Manifests, the files in the
                // folder of the same name.
                const char *base = strrchr(folder, '\\') + 1;
                snprintf(manifest, sizeof manifest, "%s\\Manifests\\%s.manifest", g_store, base);
                add_supplied(out, manifest, folder);
                char where[64];
                if (strcmp(bound, a.version))
                    snprintf(where, sizeof where, "side-by-side store, as %s", bound);
                else
                    snprintf(where, sizeof where, "side-by-side store");
                note(out, a, where);
                continue;
            }
        }
        if (private_manifest(a, converter_folder, manifest, folder)) {
            add_supplied(out, manifest, folder);
            note(out, a, "beside the converter");
            continue;
        }
        // Only a store that answered "no such file" says the assembly is
        // not there; one known missing outweighs one that cannot be judged.
        if (a.token[0] && !g_store[0]) store_error = ERROR_PATH_NOT_FOUND;
        bool unknown = a.token[0] && store_error != ERROR_FILE_NOT_FOUND;
        if (out->problem.kind == LOAD_ASSEMBLY_MISSING || (unknown && out->problem.kind != LOAD_OK)) continue;
        out->problem.kind = unknown ? LOAD_ASSEMBLY_UNKNOWN : LOAD_ASSEMBLY_MISSING;
        out->problem.detail = unknown ? store_error : 0;
        snprintf(out->problem.library, sizeof out->problem.library, "%s %s", a.name, a.version);
    }
}

const char *supplied_path(const SideBySide *sxs, const char *name) {
    for (int i = 0; i < sxs->supplied_count; ++i)
        if (!_stricmp(sxs->supplied[i].name, name)) return sxs->supplied[i].path;
    return nullptr;
}
