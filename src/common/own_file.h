// A handle on one of docvane's own files (the request file, the import
// destination, the export source, the destination's folder), kept from
// converter code: protected from being closed while docvane holds it, and
// checked before each use that it still names the file it was opened on.
// Converter code that clears the protection, closes the handle and opens a
// file of its own would otherwise receive the same value, and docvane would
// write, read or delete through it.
#pragma once

#include <windows.h>

// Volume serial number and file index, as GetFileInformationByHandle gives
// them. known is 0 where the file system reports no stable identity (a file
// index of 0, or no answer): then the check cannot tell, and only the
// protection from closing stands.
struct FileIdentity {
    DWORD volume;
    DWORD index_high;
    DWORD index_low;
    int known;
};

// The identity of the file h names; known = 0 when there is none to be had.
FileIdentity file_identity_of(HANDLE h);

// Both name one file. Unknown identities never match.
bool same_identity(const FileIdentity &a, const FileIdentity &b);

// No heap and no path: the fault guard uses it at fault time.
class OwnFile {
  public:
    OwnFile() = default;
    ~OwnFile() { release(); }
    OwnFile(const OwnFile &) = delete;
    OwnFile &operator=(const OwnFile &) = delete;

    // Takes h (INVALID_HANDLE_VALUE or null for none), protects it from
    // being closed and records what it names.
    void take(HANDLE h);
    bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE handle() const { return handle_; }
    const FileIdentity &identity() const { return identity_; }
    // True while the handle still names the file it was opened on, or where
    // the file system gave no identity to compare (see FileIdentity).
    bool still_names_it() const;
    // Lifts the protection and closes the handle, once; a value that names
    // another file by now is left as it is.
    void release();

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    FileIdentity identity_ = {0, 0, 0, 0};
};
