/* dvlaunch PROGRAM [ARGUMENTS...]
 * Starts PROGRAM with exactly the command line that follows dvlaunch's own
 * name, waits for it, prints its exit code as an unsigned and as a signed
 * 32-bit number, and exits with that code. For scripts under Wine, whose
 * Linux shell sees only the low 8 bits of an exit code. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Skips our own program name the way the system's start-up code does. */
static const char *after_program_name(const char *p) {
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

int main(void) {
    const char *tail = after_program_name(GetCommandLineA());
    if (!*tail) {
        fprintf(stderr, "usage: dvlaunch PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    /* CreateProcessA may write into the command line. */
    char *command_line = _strdup(tail);
    if (!command_line) return 2;
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(NULL, command_line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        fprintf(stderr, "dvlaunch: cannot start %s (error %lu)\n", tail, (unsigned long)GetLastError());
        free(command_line);
        return 2;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    free(command_line);
    printf("exit code %lu (%ld)\n", (unsigned long)code, (long)(LONG)code);
    fflush(stdout);
    ExitProcess(code);
}
