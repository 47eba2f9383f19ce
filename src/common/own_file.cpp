#include "common/own_file.h"

FileIdentity file_identity_of(HANDLE h) {
    FileIdentity id = {0, 0, 0, 0};
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info)) return id;
    id.volume = info.dwVolumeSerialNumber;
    id.index_high = info.nFileIndexHigh;
    id.index_low = info.nFileIndexLow;
    // A file system without file numbers (some network redirectors, FAT on
    // some drivers) reports 0: nothing to compare.
    id.known = id.index_high != 0 || id.index_low != 0;
    return id;
}

bool same_identity(const FileIdentity &a, const FileIdentity &b) {
    return a.known && b.known && a.volume == b.volume && a.index_high == b.index_high &&
           a.index_low == b.index_low;
}

void OwnFile::take(HANDLE h) {
    release();
    if (!h || h == INVALID_HANDLE_VALUE) return;
    handle_ = h;
    SetHandleInformation(h, HANDLE_FLAG_PROTECT_FROM_CLOSE, HANDLE_FLAG_PROTECT_FROM_CLOSE);
    identity_ = file_identity_of(h);
}

bool OwnFile::still_names_it() const {
    if (!is_open()) return false;
    if (!identity_.known) return true;
    // A handle closed behind our back and not reused gives no identity.
    return same_identity(file_identity_of(handle_), identity_);
}

void OwnFile::release() {
    if (!is_open()) return;
    HANDLE h = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    // A value that names another file now belongs to converter code: left
    // alone, neither unprotected nor closed.
    if (identity_.known && !same_identity(file_identity_of(h), identity_)) return;
    SetHandleInformation(h, HANDLE_FLAG_PROTECT_FROM_CLOSE, 0);
    CloseHandle(h);
}
