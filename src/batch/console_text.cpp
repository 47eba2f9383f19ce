#include "batch/console_text.h"

#include <windows.h>

#include "batch/wide_path.h"

namespace {

void write_to(DWORD which, const std::string &utf8) {
    HANDLE h = GetStdHandle(which);
    if (h == INVALID_HANDLE_VALUE || !h) return;
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(h, &mode)) {
        std::wstring wide = utf8_to_wide(utf8);
        WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteFile(h, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    }
}

}  // namespace

void write_out(const std::string &utf8) { write_to(STD_OUTPUT_HANDLE, utf8); }
void write_err(const std::string &utf8) { write_to(STD_ERROR_HANDLE, utf8); }

bool stderr_is_console() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
