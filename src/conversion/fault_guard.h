// The fault guard: what happens when converter code raises an exception
// that nobody handles. The run then ends at once with a negative result:
// the destination docvane made is deleted, the status file (request-file
// mode) is written as on every other path, and the process terminates
// without a dialog, a debugger or any library's shutdown code.
#pragma once

#include <windows.h>

// Makes the guard the process's top-level exception filter. Called before
// every call into converter code, since a converter's own start-up code may
// have put a filter of its own in its place.
void arm_fault_guard();

// Request-file mode, conversion request: the status file the guard writes.
void fault_guard_status_file(const char *request_path);

// The destination docvane has created, from then until the attempt ends;
// open_handle is docvane's own open handle on it (import), closed before the
// delete, or INVALID_HANDLE_VALUE.
void fault_guard_destination(const char *path, HANDLE open_handle);
// Docvane has closed its own handle on the destination.
void fault_guard_destination_closed();

// Forgets the destination when the attempt's scope ends: declared first, so
// that it outlives the library and a fault in the library's shutdown code
// still deletes the destination.
struct GuardedDestination {
    GuardedDestination() = default;
    ~GuardedDestination() { fault_guard_destination(NULL, INVALID_HANDLE_VALUE); }
    GuardedDestination(const GuardedDestination &) = delete;
    GuardedDestination &operator=(const GuardedDestination &) = delete;
};
