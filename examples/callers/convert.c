/* Imports a document to RTF through a request file with both converter
 * sources and reports the outcome; then exports the RTF through built-in
 * converter 0 on the command line. The environment variables DOCVANE (the
 * program) and WORK (the work folder) override the defaults below. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char *setting(const char *name, const char *fallback) {
    const char *value = getenv(name);
    return value && *value ? value : fallback;
}

/* Starts docvane with "<exe> <tail>" and waits for it. Returns 0 when it
 * could not be started, else 1 with its exit code as a signed result. */
static int run_docvane(const char *exe, const char *tail, LONG *result) {
    char command_line[1024];
    snprintf(command_line, sizeof command_line, "\"%s\" %s", exe, tail);
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    if (!CreateProcessA(exe, command_line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return 0;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    *result = (LONG)code; /* 4294967281 is -15 */
    return 1;
}

int main(void) {
    const char *exe = setting("DOCVANE", "C:\\Program Files\\docvane\\i686\\docvane.exe");
    const char *work = setting("WORK", "C:\\Work");
    char req[MAX_PATH], tail[1024];
    snprintf(req, sizeof req, "%s\\letter.req", work);

    /* Import with both converter sources, through a request file. */
    FILE *f = fopen(req, "wb");
    if (!f) return 1;
    fprintf(f, "%s\\In\\letter.doc\r\n%s\\Out\\letter.rtf\r\nY\r\n", work, work);
    fclose(f);

    LONG result;
    if (!run_docvane(exe, req, &result)) {
        fprintf(stderr, "cannot start docvane: error %lu\n", GetLastError());
        return 1;
    }

    /* The status file: progress text, then the result, each ended by LF. */
    char progress[128] = "", status_result[32] = "";
    f = fopen(req, "rb");
    if (f) {
        if (fgets(progress, sizeof progress, f)) progress[strcspn(progress, "\n")] = '\0';
        if (fgets(status_result, sizeof status_result, f)) status_result[strcspn(status_result, "\n")] = '\0';
        fclose(f);
    }

    if (result >= 0)
        printf("converted: %s\n", progress);
    else if (result == -15)
        printf("nothing converted: no converter recognised the document, or the destination cannot be created\n");
    else
        printf("conversion failed with %ld (%s)\n", (long)result, progress);

    /* Command-line mode: export through built-in converter 0. */
    snprintf(tail, sizeof tail, "%s\\Out\\letter.rtf %s\\Out\\copy.doc 0", work, work);
    if (run_docvane(exe, tail, &result))
        printf("export: %ld\n", (long)result);
    return 0;
}
