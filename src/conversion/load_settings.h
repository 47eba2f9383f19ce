// Where libraries come from while converters run: the DLL directory and
// PATH, settled once at the start and put back before every library load
// and every call into converter code, since converter code can change both
// for the whole process (SetDllDirectoryA(NULL), "." on PATH).
#pragma once

// At the start, before any converter is enumerated: the error mode, docvane's
// own folder as the DLL directory, and PATH without entries that lead to
// the current directory ("." and other relative entries, and the current
// directory itself), so that no library comes from the caller's current
// directory.
void settle_load_settings();

// Puts the DLL directory and PATH back as settled. Does nothing before
// settle_load_settings (in-process tests).
void reassert_load_settings();
