// The fault guard: a conversion run ends exactly once, and the caller is told
// the truth however converter code ends or disturbs it. An exception that
// nobody handles, a stack overflow, or converter code that ends the process
// (exit, _exit, abort, a failed assertion, ExitProcess) or docvane's thread
// all end the run at once with a negative result: the destination docvane
// made is deleted, the status file (request-file mode) is written as on every
// other path, a crash record goes to the event log, and the process ends
// without a dialog, a debugger or any library's shutdown code.
//
// What the guard does, it does through handles opened and buffers filled
// before converter code runs: by then the heap may be damaged and the
// current directory moved.
#pragma once

#include <windows.h>

// Starts guarding a conversion run, before any converter code runs: the
// guard thread, the process-end hooks and the abort handler. status_file is
// the request file opened for writing without truncation, or
// INVALID_HANDLE_VALUE (command-line requests, or it could not be opened).
void begin_guarded_run(HANDLE status_file);

// Makes the guard the process's top-level exception filter and abort
// handler again. Called before every call into converter code, since
// converter code may have put its own in their place.
void arm_fault_guard();

// The converter library about to be loaded, as it is loaded: the crash
// record names the last one.
void fault_guard_converter(const char *library_path);

// The destination docvane has created, as docvane opened it (see
// resolve_path). From here until docvane deletes it itself or the run ends,
// the guard deletes it if it ends the run.
void fault_guard_destination(const char *path);
// Docvane has deleted the destination itself.
void fault_guard_forget_destination();

// The normal end of a conversion run: claims the run's end for result, after
// which anything that would end the run through the guard ends the process
// with result instead and writes nothing. If the guard has claimed the end
// first, this never returns: the guard ends the process.
void claim_run_end(int result);

// Writes the status file's bytes for result through the request file's
// handle given to begin_guarded_run. False when there is none: nothing was
// written.
bool write_guarded_status(int result);
