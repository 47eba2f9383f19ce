// dvinfo: shows the converters as docvane numbers them, with the index to
// use under each selector and why a converter will not work or takes no
// index. Reads only: no converter is loaded, nothing is written but stdout.
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "conversion/load_settings.h"
#include "info/converter_survey.h"
#include "info/info_report.h"
#include "info/pe_image.h"

namespace {

#ifdef _WIN64
const char BUILD[] = "x86_64";
const unsigned OWN_MACHINE = PE_MACHINE_AMD64;
#else
const char BUILD[] = "i686";
const unsigned OWN_MACHINE = PE_MACHINE_I386;
#endif

const int EXIT_BAD_ARGUMENTS = 2;

const char USAGE[] =
    "Usage: dvinfo [--tsv]\n"
    "       dvinfo --version\n"
    "       dvinfo --help | -h | /?\n"
    "Shows the converters as docvane numbers them: for import and export, the\n"
    "index of each converter under the selectors W (WordPad's built-ins),\n"
    "X (registered converters) and Y (both), whether docvane can use it, and\n"
    "what takes no index and why. No converter is loaded or run: each library\n"
    "is judged from its file as docvane's loader will meet it, with the\n"
    "libraries it imports, looked for where that loader looks (docvane's\n"
    "folder, taken to be dvinfo's own; the system folders; the Windows folder;\n"
    "PATH; never the converter's own folder), and the side-by-side assemblies\n"
    "its manifest names, looked for in the side-by-side store (%WINDIR%\\WinSxS)\n"
    "and beside the converter (\"cannot judge\" where the store cannot be read;\n"
    "one found nowhere: \"will not load on Windows\", though Wine loads it).\n"
    "Every function a library imports, by name or by ordinal, is looked for\n"
    "in the exports of the library that supplies it, through forwarders; one\n"
    "that is missing is named as library!function or library!#ordinal: \"will\n"
    "not load on Windows\" (Wine loads such a library anyway, with a stub in\n"
    "place of the function). Imports from system libraries are checked against\n"
    "the system dvinfo runs on (under Wine, Wine's), named on the \"System\n"
    "libraries\" line. Delay-loaded libraries are listed, not judged.\n"
    "\"ok\" means the loader will load and bind the library and find the entry\n"
    "points docvane needs; not that the library's start-up code will accept\n"
    "the load, nor that the converter will convert.\n"
    "At most 256 rows per direction are shown.\n"
    "Run dvinfo as the account that runs docvane, with its environment:\n"
    "HKEY_CLASSES_ROOT, where WordPad's open command is read, merges the\n"
    "current user's classes; which files can be read depends on the account;\n"
    "PATH is the environment's.\n"
    "  --tsv      the same rows as tab-separated values, with a header line\n"
    "  --version  the version of docvane this dvinfo belongs to\n"
    "  --help, -h, /?  this text\n"
    "Exit code 0, or 2 for unknown arguments.\n";

// The report is big for the stack.
Report g_report;

void describe_registry_view(char *out, size_t size) {
#ifdef _WIN64
    snprintf(out, size, "64-bit view");
#else
    typedef BOOL(WINAPI * IsWow64ProcessFn)(HANDLE, PBOOL);
    IsWow64ProcessFn is_wow64 = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    if (is_wow64 && is_wow64(GetCurrentProcess(), &wow64) && wow64)
        snprintf(out, size, "32-bit view (64-bit Windows)");
    else
        snprintf(out, size, "32-bit Windows (one view)");
#endif
}

// Whose libraries the imports were checked against: Wine names itself
// through an export of its ntdll that Windows' lacks.
void describe_system(char *out, size_t size) {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    typedef const char *(CDECL * WineVersionFn)();
    WineVersionFn wine_version =
        reinterpret_cast<WineVersionFn>(reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "wine_get_version")));
    if (wine_version) {
        snprintf(out, size, "imports checked against this system's, Wine %s (not Windows)", wine_version());
        return;
    }
    typedef LONG(WINAPI * RtlGetVersionFn)(OSVERSIONINFOW *);
    RtlGetVersionFn get_version =
        reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "RtlGetVersion")));
    OSVERSIONINFOW v;
    memset(&v, 0, sizeof v);
    v.dwOSVersionInfoSize = sizeof v;
    if (get_version && get_version(&v) == 0)
        snprintf(out, size, "imports checked against this system's, Windows %lu.%lu.%lu", v.dwMajorVersion,
                 v.dwMinorVersion, v.dwBuildNumber);
    else
        snprintf(out, size, "imports checked against this system's");
}

void to_stream(void *context, const char *line) {
    FILE *out = static_cast<FILE *>(context);
    fputs(line, out);
    fputc('\n', out);
}

// A console shows bytes in its OEM code page; the registry's texts are ANSI.
void to_console(void *context, const char *line) {
    HANDLE console = static_cast<HANDLE>(context);
    static char oem[4096];
    // Room for the line end; a longer line is cut rather than overrun.
    size_t length = strlen(line);
    if (length > sizeof oem - 2) length = sizeof oem - 2;
    DWORD n = static_cast<DWORD>(length), written;
    CharToOemBuffA(line, oem, n);
    oem[n++] = '\r';
    oem[n++] = '\n';
    WriteFile(console, oem, n, &written, NULL);
}

}  // namespace

int main(int argc, char **argv) {
    bool tsv = false;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--tsv")) {
            tsv = true;
        } else if (!strcmp(argv[i], "--version")) {
            fputs("dvinfo " DOCVANE_VERSION_TEXT "\n", stdout);
            return 0;
        } else if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h") || !strcmp(argv[i], "/?")) {
            fputs(USAGE, stdout);
            return 0;
        } else {
            fprintf(stderr, "dvinfo: unknown argument %s\n%s", argv[i], USAGE);
            return EXIT_BAD_ARGUMENTS;
        }
    }

    // The library search as docvane's: the same DLL directory and PATH,
    // without the entries that lead to the current directory.
    settle_load_settings();
    g_report.build = BUILD;
    describe_registry_view(g_report.registry_view, sizeof g_report.registry_view);
    describe_system(g_report.system_libraries, sizeof g_report.system_libraries);
    survey_converters(&g_report, OWN_MACHINE);

    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode;
    bool console = GetConsoleMode(out, &mode) != 0;
    ReportSink sink = console ? to_console : to_stream;
    void *context = console ? static_cast<void *>(out) : static_cast<void *>(stdout);
    if (tsv)
        write_tsv_report(&g_report, sink, context);
    else
        write_compact_report(&g_report, sink, context);
    fflush(stdout);
    return 0;
}
