// The report on disk: read once at start, then appended to and flushed per
// document, so a kill loses only the documents that were running.
#pragma once

#include <windows.h>

#include <string>

class ReportFile {
  public:
    ReportFile() = default;
    ReportFile(const ReportFile &) = delete;
    ReportFile &operator=(const ReportFile &) = delete;
    ~ReportFile();

    // Opens (creates) the report; *content gets what it holds. False when it
    // cannot be opened or read.
    bool open(const std::wstring &long_form, std::string *content);
    // Before the first append, once the content was found to be a report: a
    // last line cut off by a kill is removed, so the next record starts on a
    // line of its own.
    bool prepare_append(const std::string &content);
    // Appends the line and flushes it to disk; false when that failed.
    bool append(const std::string &line);

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};
