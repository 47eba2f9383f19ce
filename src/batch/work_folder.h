// dvbatch's work folder on DEST's volume: one per share, held by a lock file
// while a run uses it, emptied of an earlier run's leftovers when taken, and
// removed at the end.
#pragma once

#include <windows.h>

#include <string>

class WorkFolder {
  public:
    enum Take { TAKEN, HELD_ELSEWHERE, NOT_WRITABLE };

    WorkFolder() = default;
    WorkFolder(const WorkFolder &) = delete;
    WorkFolder &operator=(const WorkFolder &) = delete;
    ~WorkFolder();

    // Creates and locks the folder (a "\\?\" path) and removes what an earlier
    // run of the same share left in it.
    Take take(const std::wstring &long_form);
    // Unlocks and removes it with what is left in it.
    void remove();

    const std::wstring &path() const { return path_; }

  private:
    std::wstring path_;
    HANDLE lock_ = INVALID_HANDLE_VALUE;
};
