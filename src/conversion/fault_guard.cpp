#include "conversion/fault_guard.h"

#include <string.h>

#include "app/progress_window.h"
#include "app/status_text.h"
#include "common/result_codes.h"
#include "common/text_limits.h"

namespace {

// Everything the filter uses is here, fixed in size and filled before any
// converter runs: the process it runs in may have a corrupted heap.
char g_status_path[PATH_BUFFER_SIZE];
char g_destination[PATH_BUFFER_SIZE];
HANDLE g_destination_handle = INVALID_HANDLE_VALUE;
char g_status_bytes[STATUS_TEXT_SIZE];
volatile LONG g_owner_thread;  // the thread inside the filter, or 0
volatile LONG g_fault_result = RESULT_CONVERTER_FAULTED;

void copy_path(char *to, const char *from) {
    to[0] = '\0';
    if (from && strlen(from) < PATH_BUFFER_SIZE) strcpy(to, from);
}

[[noreturn]] void end_process() {
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(g_fault_result));
    // TerminateProcess does not return for the calling process.
    for (;;) Sleep(INFINITE);
}

void write_status() {
    DWORD length = static_cast<DWORD>(
        format_status_text(g_status_bytes, sizeof g_status_bytes, g_progress_text, g_fault_result));
    // As the status file is written on every other path: created anew, or
    // truncated, and shared as a C stream shares it.
    HANDLE file = CreateFileA(g_status_path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written;
    WriteFile(file, g_status_bytes, length, &written, NULL);
    CloseHandle(file);
}

LONG WINAPI fault_filter(EXCEPTION_POINTERS *info) {
    LONG self = static_cast<LONG>(GetCurrentThreadId());
    LONG owner = InterlockedCompareExchange(&g_owner_thread, self, 0);
    // A fault inside the guard ends the run with the result it has; a fault
    // on another thread meanwhile waits for the first to end the process.
    if (owner == self) end_process();
    if (owner != 0) for (;;) Sleep(INFINITE);

    LONG code = info && info->ExceptionRecord ? static_cast<LONG>(info->ExceptionRecord->ExceptionCode) : 0;
    if (code < 0) g_fault_result = code;

    if (g_destination_handle != INVALID_HANDLE_VALUE) CloseHandle(g_destination_handle);
    // Fails while the converter itself holds the file open: it then stays.
    if (g_destination[0]) DeleteFileA(g_destination);
    if (g_status_path[0]) write_status();
    end_process();
}

}  // namespace

void arm_fault_guard() { SetUnhandledExceptionFilter(fault_filter); }

void fault_guard_status_file(const char *request_path) { copy_path(g_status_path, request_path); }

void fault_guard_destination(const char *path, HANDLE open_handle) {
    copy_path(g_destination, path);
    g_destination_handle = open_handle;
}

void fault_guard_destination_closed() { g_destination_handle = INVALID_HANDLE_VALUE; }
