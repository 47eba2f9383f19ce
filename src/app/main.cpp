// Start-up: makes the process safe to load converters into, forms the
// command-line tail from the process command line itself (not the C
// runtime's idea of it) and ends the process with the entry function's
// result code.
#include <windows.h>

#include "app/command_tail.h"
#include "app/request_dispatch.h"
#include "conversion/load_settings.h"

int main() {
    settle_load_settings();
    LPSTR tail = const_cast<LPSTR>(command_line_tail(GetCommandLineA()));
    return WinMain(GetModuleHandleA(NULL), NULL, tail, SW_SHOWDEFAULT);
}
