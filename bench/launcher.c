/* Benchmark launcher: starts programs and times them from inside Wine, so
 * that docvane and what it is compared with pay the same start-up path.
 *
 *   launcher setup WORDPAD_DIR
 *       registers WORDPAD_DIR\WORDPAD.EXE as WordPad's open command, so the
 *       converters beside it are docvane's built-ins.
 *   launcher time RUNS EXE TAIL [REQUEST TEMPLATE]
 *       RUNS times: (copy TEMPLATE over REQUEST,) start "EXE" TAIL, wait;
 *       prints "run SECONDS EXITCODE" per run.
 *   launcher peak RUNS EXE TAIL [REQUEST TEMPLATE]
 *       the same, but watches the process while it runs and prints
 *       "peak WORKING_SET_BYTES PAGEFILE_BYTES EXITCODE" per run.
 *   launcher copy FROM TO
 *       a plain file copy (CopyFileA): the yardstick for throughput; prints
 *       "copied SECONDS", the copy's own time.
 *   launcher hold / launcher release
 *       keeps a hidden window (and so Wine's desktop process) alive until
 *       released, as a Windows desktop always is; otherwise each program's
 *       first window would pay for starting the desktop. */
#include <windows.h>
#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int setup(const char *dir) {
    char command[MAX_PATH + 32];
    snprintf(command, sizeof command, "\"%s\\WORDPAD.EXE\" \"%%1\"", dir);
    LONG rc = RegSetValueA(HKEY_CLASSES_ROOT, "WordPad.Document.1\\shell\\open\\command", REG_SZ, command,
                           (DWORD)strlen(command));
    if (rc != ERROR_SUCCESS) {
        fprintf(stderr, "cannot set WordPad's open command: %ld\n", rc);
        return 1;
    }
    return 0;
}

static const char HOLD_EVENT[] = "DocvaneBenchHold";

static int hold(HINSTANCE instance) {
    HANDLE released = CreateEventA(NULL, TRUE, FALSE, HOLD_EVENT);
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.lpszClassName = "QzBenchHold";
    RegisterClassA(&wc);
    if (!released || !CreateWindowExA(0, "QzBenchHold", "", WS_CAPTION, 1, 1, 20, 20, NULL, NULL, instance, NULL))
        return 1;
    WaitForSingleObject(released, INFINITE);
    return 0;
}

static int release(void) {
    HANDLE released = OpenEventA(EVENT_MODIFY_STATE, FALSE, HOLD_EVENT);
    return released && SetEvent(released) ? 0 : 1;
}

static HANDLE start(const char *exe, const char *tail) {
    char command[4096];
    snprintf(command, sizeof command, "\"%s\" %s", exe, tail);
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(exe, command, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        fprintf(stderr, "cannot start %s: error %lu\n", exe, GetLastError());
        return NULL;
    }
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

/* The peak figures are only readable while the process lives: poll them,
 * keeping the highest seen (both are high-water marks already). */
static void watch(HANDLE process, SIZE_T *working_set, SIZE_T *pagefile) {
    *working_set = 0;
    *pagefile = 0;
    for (;;) {
        DWORD waited = WaitForSingleObject(process, 1);
        PROCESS_MEMORY_COUNTERS pmc;
        memset(&pmc, 0, sizeof pmc);
        pmc.cb = sizeof pmc;
        if (GetProcessMemoryInfo(process, &pmc, sizeof pmc)) {
            if (pmc.PeakWorkingSetSize > *working_set) *working_set = pmc.PeakWorkingSetSize;
            if (pmc.PeakPagefileUsage > *pagefile) *pagefile = pmc.PeakPagefileUsage;
        }
        if (waited != WAIT_TIMEOUT) return;
    }
}

static int copy(const char *from, const char *to) {
    LARGE_INTEGER frequency, t0, t1;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&t0);
    BOOL ok = CopyFileA(from, to, FALSE);
    QueryPerformanceCounter(&t1);
    printf("copied %.6f\n", (double)(t1.QuadPart - t0.QuadPart) / (double)frequency.QuadPart);
    return ok ? 0 : 1;
}

static int series(int peak_mode, int runs, const char *exe, const char *tail, const char *request,
                  const char *template_path) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (int i = 0; i < runs; ++i) {
        if (request && !CopyFileA(template_path, request, FALSE)) {
            fprintf(stderr, "cannot write %s: error %lu\n", request, GetLastError());
            return 1;
        }
        LARGE_INTEGER t0, t1;
        QueryPerformanceCounter(&t0);
        HANDLE process = start(exe, tail);
        if (!process) return 1;
        SIZE_T working_set = 0, pagefile = 0;
        if (peak_mode)
            watch(process, &working_set, &pagefile);
        else
            WaitForSingleObject(process, INFINITE);
        QueryPerformanceCounter(&t1);
        DWORD code = 0xDEADBEEF;
        GetExitCodeProcess(process, &code);
        CloseHandle(process);
        if (peak_mode)
            printf("peak %lu %lu %ld\n", (unsigned long)working_set, (unsigned long)pagefile, (long)code);
        else
            printf("run %.6f %ld\n", (double)(t1.QuadPart - t0.QuadPart) / (double)frequency.QuadPart, (long)code);
        fflush(stdout);
    }
    return 0;
}

int main(int argc, char **argv) {
    if (argc == 3 && !strcmp(argv[1], "setup")) return setup(argv[2]);
    if (argc == 2 && !strcmp(argv[1], "hold")) return hold(GetModuleHandleA(NULL));
    if (argc == 2 && !strcmp(argv[1], "release")) return release();
    if (argc == 4 && !strcmp(argv[1], "copy")) return copy(argv[2], argv[3]);
    if ((argc == 5 || argc == 7) && (!strcmp(argv[1], "time") || !strcmp(argv[1], "peak")))
        return series(!strcmp(argv[1], "peak"), atoi(argv[2]), argv[3], argv[4], argc == 7 ? argv[5] : NULL,
                      argc == 7 ? argv[6] : NULL);
    fprintf(stderr, "usage: launcher setup DIR | time|peak RUNS EXE TAIL [REQUEST TEMPLATE] | copy FROM TO | hold | release\n");
    return 2;
}
