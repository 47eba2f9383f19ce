// The report: JSON Lines, one object per finished document. Formatting and
// reading, without any file access.
#pragma once

#include <cstdint>
#include <map>
#include <string>

struct ReportRecord {
    std::string source, destination;  // relative paths, UTF-8, '/' between folders
    std::string outcome;
    bool has_result = false;
    int32_t result = 0;
    bool has_progress = false;
    std::string progress;             // UTF-8
    double seconds = 0;
    bool has_bytes = false;
    int64_t bytes = 0;
    int attempt = 1;
    int64_t source_bytes = 0;
    std::string source_modified;      // UTC, ISO 8601
};

// One line, ended by "\n".
std::string format_record(const ReportRecord &record);

// Reads one line (without its line end): true and *out filled when it is a
// record object with at least "source", "outcome" and "attempt".
bool parse_record(const std::string &line, ReportRecord *out);

// What a report says about each document: its last record.
struct LastRecord {
    std::string outcome;
    int attempt = 0;
};

// Reads a whole report. A last line without its line end that is not a record
// was cut off by a kill and is ignored; any other line that is not a record
// (blank lines aside) makes it false with *bad_line its 1-based number.
bool read_report(const std::string &content, std::map<std::string, LastRecord> *last, size_t *bad_line);
