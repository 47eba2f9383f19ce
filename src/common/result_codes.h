// Result codes: what a run ends with (exit code, second status line) and
// the running result inside one converter enumeration.
#pragma once

// Running result of an enumeration while no converter action has taken the
// request; never leaves the enumerator.
constexpr int NOT_HANDLED = -22222;

constexpr int RESULT_OK = 0;
// The request file cannot be opened or used, or no converter took the request.
constexpr int RESULT_NOT_TAKEN = -15;
// Export cannot start: library, entry point, initialisation or source.
constexpr int RESULT_EXPORT_CANNOT_START = -16;
// Export: the destination cannot be created.
constexpr int RESULT_DESTINATION_NOT_CREATED = -12;
// The output callback's answer to a converter after a failed write; also the
// result of an import whose destination could not be written completely.
constexpr int RESULT_WRITE_FAILED = -4;
// A converter raised an exception that nobody handled, with a code that is
// not negative read as a signed 32-bit value (a negative code is the result
// itself). Outside the 16-bit range of any converter's own result.
constexpr int RESULT_CONVERTER_FAULTED = -65536;
// Converter code ended the process (exit, _exit, abort, a failed assertion,
// ExitProcess) or docvane's own thread, while a conversion was under way.
constexpr int RESULT_CONVERTER_ENDED_RUN = -65537;
// A file docvane holds for the run (the request file, the import
// destination, the destination's folder, the export source) no longer
// names the file it opened: converter code closed docvane's handle and the
// value came back on a file of its own, or the file was replaced. Nothing more is written or deleted
// through that handle.
constexpr int RESULT_OWN_FILE_CHANGED = -65538;
