// Start-up: makes the process safe to load converters into, forms the
// command-line tail from the process command line itself (not the C
// runtime's idea of it) and ends the process with the entry function's
// result code.
#include <windows.h>

#include <string.h>

#include "app/command_tail.h"
#include "app/request_dispatch.h"

namespace {

void protect_from_converters() {
    // An unattended run must never wait for a person: a drive without media
    // or a fault fails silently instead of showing a dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);

    // A library a converter loads by bare name must not come from the
    // calling program's current directory. Naming our own folder, which is
    // searched first anyway, takes the current directory out on Windows and
    // under Wine alike (Wine 8.0 takes an empty name as "none set" and keeps
    // searching the current directory). Converters given by full path load
    // as before.
    char folder[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, folder, sizeof folder);
    char *slash = n > 0 && n < sizeof folder ? strrchr(folder, '\\') : NULL;
    if (slash) {
        slash[1] = '\0';  // the backslash stays: "C:" alone would name a current directory
        SetDllDirectoryA(folder);
    } else {
        SetDllDirectoryA("");  // Windows: the current directory out all the same
    }
}

}  // namespace

int main() {
    protect_from_converters();
    LPSTR tail = const_cast<LPSTR>(command_line_tail(GetCommandLineA()));
    return WinMain(GetModuleHandleA(NULL), NULL, tail, SW_SHOWDEFAULT);
}
