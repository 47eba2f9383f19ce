/* How the way a program is started changes its start-up time:
 *
 *   start_flags RUNS FLAGS EXE [TAIL [REQUEST TEMPLATE]]
 *
 * starts "EXE" TAIL RUNS times, one after the other (copying TEMPLATE over
 * REQUEST first when given), and prints "FLAGS mean MS min MS max MS" of the
 * time from CreateProcess to the end of the process. FLAGS is "0" or letters:
 *   j  into a new job with PROC_THREAD_ATTRIBUTE_JOB_LIST (as dvbatch does)
 *   k  the job ends its processes when its last handle closes
 *   a  the older way: created suspended, assigned to the job, resumed
 *   n  CREATE_NO_WINDOW     d  DETACHED_PROCESS     c  CREATE_NEW_CONSOLE
 *   i  handles inherited    s  STARTF_USESTDHANDLES (no handles given)
 *   e  a small environment of its own              w  current folder C:\
 *   x  extended start-up information with an empty attribute list
 * On Windows, CREATE_NO_WINDOW and DETACHED_PROCESS change nothing for a GUI
 * program such as docvane; under Wine a GUI child is handed its parent's
 * console unless one of them is given, which is what "d" and "n" look at. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int has(const char *flags, char c) { return strchr(flags, c) != NULL; }

int main(int argc, char **argv) {
    if (argc < 4 || argc == 6) {
        fprintf(stderr, "usage: start_flags RUNS FLAGS EXE [TAIL [REQUEST TEMPLATE]]\n");
        return 2;
    }
    int runs = atoi(argv[1]);
    const char *f = argv[2];
    char command[4096];
    snprintf(command, sizeof command, "\"%s\"%s%s", argv[3], argc > 4 ? " " : "", argc > 4 ? argv[4] : "");
    LARGE_INTEGER frequency, t0, t1;
    QueryPerformanceFrequency(&frequency);
    double total = 0, low = 1e9, high = 0;
    for (int r = 0; r < runs; ++r) {
        if (argc > 6) CopyFileA(argv[6], argv[5], FALSE);
        HANDLE job = NULL;
        if (has(f, 'j') || has(f, 'a')) {
            job = CreateJobObjectA(NULL, NULL);
            if (has(f, 'k')) {
                JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
                ZeroMemory(&limits, sizeof limits);
                limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
                SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
            }
        }
        STARTUPINFOEXA si;
        ZeroMemory(&si, sizeof si);
        si.StartupInfo.cb = sizeof si.StartupInfo;
        DWORD creation = 0;
        char room[256];
        LPPROC_THREAD_ATTRIBUTE_LIST attributes = NULL;
        if (has(f, 'j') || has(f, 'x')) {
            SIZE_T size = sizeof room;
            attributes = (LPPROC_THREAD_ATTRIBUTE_LIST)room;
            InitializeProcThreadAttributeList(attributes, 1, 0, &size);
            if (has(f, 'j'))
                UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_JOB_LIST, &job, sizeof job, NULL, NULL);
            si.StartupInfo.cb = sizeof si;
            si.lpAttributeList = attributes;
            creation |= EXTENDED_STARTUPINFO_PRESENT;
        }
        if (has(f, 'a')) creation |= CREATE_SUSPENDED;
        if (has(f, 'n')) creation |= CREATE_NO_WINDOW;
        if (has(f, 'd')) creation |= DETACHED_PROCESS;
        if (has(f, 'c')) creation |= CREATE_NEW_CONSOLE;
        if (has(f, 's')) si.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
        char environment[] = "WINEDEBUG=-all\0SystemRoot=C:\\windows\0";
        char line[4096];
        strcpy(line, command);
        PROCESS_INFORMATION pi;
        QueryPerformanceCounter(&t0);
        if (!CreateProcessA(argv[3], line, NULL, NULL, has(f, 'i'), creation, has(f, 'e') ? environment : NULL,
                            has(f, 'w') ? "C:\\" : NULL, &si.StartupInfo, &pi)) {
            fprintf(stderr, "cannot start %s: error %lu\n", argv[3], GetLastError());
            return 1;
        }
        if (has(f, 'a')) {
            AssignProcessToJobObject(job, pi.hProcess);
            ResumeThread(pi.hThread);
        }
        WaitForSingleObject(pi.hProcess, INFINITE);
        QueryPerformanceCounter(&t1);
        double ms = (double)(t1.QuadPart - t0.QuadPart) * 1000.0 / (double)frequency.QuadPart;
        total += ms;
        if (ms < low) low = ms;
        if (ms > high) high = ms;
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        if (job) CloseHandle(job);
        if (attributes) DeleteProcThreadAttributeList(attributes);
    }
    printf("%-6s mean %.1f ms min %.1f max %.1f\n", f, total / runs, low, high);
    return 0;
}
