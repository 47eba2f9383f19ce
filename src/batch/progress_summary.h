// The progress line and the closing summary dvbatch writes on stderr.
#pragma once

#include <string>

#include "batch/outcome_table.h"

struct Tally {
    long done = 0, total = 0;
    long counts[OUTCOME_COUNT] = {};
    double elapsed_seconds = 0;
};

// "120/1000 done  converted 118  not_recognised 2  3.1/s  about 4m44s left"
std::string progress_line(const Tally &tally);

// One line per outcome with its count, the report's path and the time taken.
std::string summary_table(const Tally &tally, const std::string &report_path);

// "4m44s", "2h03m", "12s".
std::string duration_text(double seconds);
