// The batch itself: up to --jobs documents at once, each finished document's
// record appended to the report at once, progress on stderr.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "batch/document_run.h"
#include "batch/progress_summary.h"
#include "batch/report_file.h"

struct BatchDocument {
    std::string relative, destination;  // UTF-8, '/'
    std::wstring source, final_path;    // "\\?\" paths
    long long source_bytes = 0;
    std::string source_modified;
    int attempt = 1;
};

struct BatchSetup {
    RunSettings run;
    int jobs = 1;
    bool quiet = false;
};

enum BatchEnd { BATCH_DONE, BATCH_INTERRUPTED, BATCH_NOT_WRITABLE, BATCH_BAD_INDEX };

// Runs the documents in order until all are done or stop is signalled. On an
// end other than BATCH_DONE the running documents are ended, their work
// files removed and no record is written for them; *message says why.
BatchEnd run_batch(const BatchSetup &setup, const std::vector<BatchDocument> &documents, ReportFile *report,
                   HANDLE stop, Tally *tally, std::string *message);
