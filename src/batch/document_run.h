// One document's docvane run: a copy of the source and a request file in the
// work folder, docvane started straight into a job of its own (nested in
// dvbatch's), the job ended as soon as docvane has exited or the time is up,
// the output moved into place only after success.
#pragma once

#include <windows.h>

#include <string>

#include "batch/outcome_table.h"

struct RunSettings {
    std::wstring docvane;      // plain path of docvane.exe
    std::wstring work;         // work folder, "\\?\" form
    std::wstring work_plain;   // the same without the prefix (docvane's current directory)
    bool absolute_words = true;  // the work folder's path can stand in a request file
    bool exporting = false;
    std::string selector = "Y";
    int index = 0;
    std::string extension;     // export: outputs' extension
    DWORD timeout_ms = 300000;
};

class DocumentRun {
  public:
    enum Start { STARTED, SOURCE_UNREADABLE, WORK_NOT_WRITABLE, NOT_STARTED };
    enum Finish { DONE, DEST_NOT_WRITABLE };

    DocumentRun() = default;
    DocumentRun(const DocumentRun &) = delete;
    DocumentRun &operator=(const DocumentRun &) = delete;
    ~DocumentRun();

    // Prepares the work files (serial makes the names unique) and starts
    // docvane. Anything but STARTED leaves no work file behind.
    Start start(const RunSettings &settings, unsigned serial, const std::wstring &source);
    HANDLE process() const { return process_; }
    ULONGLONG deadline() const { return deadline_; }
    double seconds() const;

    // docvane has exited, or timed_out: ends what is left of the job, reads
    // the status, classifies, and on success moves the output to final_path
    // (creating its folders). Removes every work file.
    Finish finish(bool timed_out, const std::wstring &final_path);
    // Ends the job and removes the work files: no outcome (interrupted).
    void abandon();

    Outcome outcome = OUTCOME_FAILED;
    bool has_result = false;
    int result = 0;
    bool has_progress = false;
    std::string progress;  // UTF-8
    bool has_bytes = false;
    long long bytes = 0;

  private:
    void end_job();
    void remove_work_files();

    const RunSettings *settings_ = nullptr;
    HANDLE job_ = nullptr, process_ = nullptr;
    ULONGLONG started_ = 0, deadline_ = 0, ended_ = 0;
    std::wstring copy_, output_, request_;
};
