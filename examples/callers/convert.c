/* Imports a document to RTF through a request file with both converter
 * sources and reports the outcome; then exports the RTF through the
 * registered export converter whose index dvinfo.exe shows. The environment
 * variables DOCVANE (the program), WORK (the work folder), INDEX (the export
 * converter's index) and TIMEOUT (seconds to wait for docvane) override the
 * defaults below. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char *setting(const char *name, const char *fallback) {
    const char *value = getenv(name);
    return value && *value ? value : fallback;
}

/* Starts docvane with "<exe> <tail>" and waits for it, at most timeout_ms.
 * Returns 0 when it could not be started; -1 when it did not end in time (a
 * converter that hangs or shows a box of its own), after ending it; else 1
 * with its exit code as a signed result. */
static int run_docvane(const char *exe, const char *tail, DWORD timeout_ms, LONG *result) {
    char command_line[1024];
    snprintf(command_line, sizeof command_line, "\"%s\" %s", exe, tail);
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    if (!CreateProcessA(exe, command_line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return 0;
    int ended = WaitForSingleObject(pi.hProcess, timeout_ms) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, INFINITE);
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    *result = (LONG)code; /* 4294967281 is -15 */
    return ended ? 1 : -1;
}

/* Writes the request file: its lines, each ended by CR LF. */
static int write_request(const char *path, const char *lines) {
    FILE *f = fopen(path, "wb");
    if (!f) return 0;
    fputs(lines, f);
    return fclose(f) == 0;
}

int main(void) {
    const char *exe = setting("DOCVANE", "C:\\Program Files\\docvane\\i686\\docvane.exe");
    const char *work = setting("WORK", "C:\\Work");
    const char *index = setting("INDEX", "0");
    DWORD timeout_ms = (DWORD)atol(setting("TIMEOUT", "600")) * 1000;
    char req[MAX_PATH], rtf[MAX_PATH], copy[MAX_PATH], lines[1024];
    snprintf(req, sizeof req, "%s\\letter.req", work);
    snprintf(rtf, sizeof rtf, "%s\\Out\\letter.rtf", work);
    snprintf(copy, sizeof copy, "%s\\Out\\copy.doc", work);

    /* Import with both converter sources, through a request file. */
    snprintf(lines, sizeof lines, "%s\\In\\letter.doc\r\n%s\r\nY\r\n", work, rtf);
    if (!write_request(req, lines)) return 1;
    LONG result;
    int run = run_docvane(exe, req, timeout_ms, &result);
    if (!run) {
        fprintf(stderr, "cannot start docvane: error %lu\n", GetLastError());
        return 1;
    }

    /* The status file: progress text, then the result, each ended by LF. */
    char progress[128] = "", status_result[32] = "";
    FILE *f = fopen(req, "rb");
    if (f) {
        if (fgets(progress, sizeof progress, f)) progress[strcspn(progress, "\n")] = '\0';
        if (fgets(status_result, sizeof status_result, f)) status_result[strcspn(status_result, "\n")] = '\0';
        fclose(f);
    }

    if (run < 0 || !status_result[0] || atol(status_result) != result) {
        /* Ended by us, or ended without its status file: the destination
         * may be partial. */
        DeleteFileA(rtf);
        if (run < 0)
            printf("conversion failed: docvane did not end within %lu seconds\n", timeout_ms / 1000);
        else
            printf("conversion failed: docvane ended with %ld and no status\n", (long)result);
    } else if (result >= 0) {
        printf("converted: %s\n", progress);
    } else if (result == -15) {
        printf("nothing converted: no converter recognised the document, or the destination cannot be created\n");
    } else {
        printf("conversion failed with %ld (%s)\n", (long)result, progress);
    }

    /* Export through the registered export converter that dvinfo.exe shows
     * at INDEX (selector X: registered converters only). */
    snprintf(lines, sizeof lines, "%s\r\n%s\r\nX\r\n%s\r\n", rtf, copy, index);
    if (!write_request(req, lines)) return 1;
    run = run_docvane(exe, req, timeout_ms, &result);
    if (run < 0) {
        DeleteFileA(copy);
        printf("export: did not end in time\n");
    } else if (run > 0) {
        printf("export: %ld\n", (long)result);
    }
    return 0;
}
