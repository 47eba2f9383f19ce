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

#include "common/own_file.h"

// Starts guarding a conversion run, before any converter code runs: the
// guard thread, the process-end hooks and the abort handler. status_file is
// the request file opened for writing without truncation, or
// INVALID_HANDLE_VALUE (command-line requests, or it could not be opened);
// the guard holds it protected from here on. request_file is its path as
// resolved at the start: if the handle comes to name another file, the
// status is written through the file opened again by this path, provided
// it still names the file opened at the start.
void begin_guarded_run(HANDLE status_file, const WCHAR *request_file);

// Makes the guard the process's top-level exception filter and abort
// handler again, and sets the error modes (Windows' and the C runtime's)
// that keep dialogs away. Called before every call into converter code and
// in every data callback, since converter code may have put its own in
// their place.
void arm_fault_guard();

// The converter library about to be loaded, as it is loaded: the crash
// record names the last one.
void fault_guard_converter(const char *library_path);

// The destination docvane has created, as docvane opened it (see
// resolve_path). From here until docvane deletes it itself or the run ends,
// the guard deletes it if it ends the run: through a protected handle on its
// folder, opened now, and its name. open_file is the import destination as
// docvane holds it open (null for export): it serves where the folder handle
// no longer names the folder, until fault_guard_destination_closed.
void fault_guard_destination(const WCHAR *path, const OwnFile *open_file);
void fault_guard_destination_closed();
// Deletes the destination the way the guard would, and stops watching it.
// False when neither handle still names what it was opened on: nothing was
// deleted, and the run's own files count as changed.
bool fault_guard_delete_destination();

// A handle docvane holds was found naming another file.
void fault_guard_note_own_file_changed();

// Before the normal end is claimed: if a file docvane holds (the request
// file, the destination's folder, the open import destination) no longer
// names the file opened, the run is no success: the destination is deleted
// if it can be, and the result is RESULT_OWN_FILE_CHANGED. Else result.
int settle_own_files(int result);

// The normal end of a conversion run: claims the run's end for result, after
// which anything that would end the run through the guard ends the process
// with result instead and writes nothing. If the guard has claimed the end
// first, this never returns: the guard ends the process.
void claim_run_end(int result);

// Writes the status file's bytes for result through the request file's
// handle given to begin_guarded_run. False when there is none: nothing was
// written.
bool write_guarded_status(int result);
