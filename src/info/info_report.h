// dvinfo's report: the converters of both directions as docvane numbers
// them under each selector, what takes no index and why, and how the report
// is written (compact for people, tab-separated for scripts). No Win32.
#pragma once

#include <stddef.h>

#include "common/text_limits.h"

// Selectors in report order; an index per selector.
constexpr int SELECTOR_COUNT = 3;
extern const char SELECTORS[SELECTOR_COUNT];

// Rows kept per direction; a registry with more is reported as cut short.
constexpr int MAX_REPORT_ROWS = 256;
constexpr size_t REPORT_TEXT_SIZE = 1024;

struct ReportRow {
    int built_in;                        // 1: a WordPad built-in, else a registry subkey
    int position;                        // the built-in row or the subkey position; -1: the key itself
    char subkey[256];                    // registry names have at most 255 characters
    char display_name[64];
    char library_path[REGISTRY_PATH_SIZE + 1];
    char extension_list[100];
    int numbered;                        // 1: takes an index; 0: passed by, see text
    int index[SELECTOR_COUNT];           // -1: not numbered under that selector
    int usable;                          // numbered rows: the file check's Verdict
    char text[REPORT_TEXT_SIZE];         // numbered: the file check; else why it takes no index
};

struct ReportDirection {
    ReportRow rows[MAX_REPORT_ROWS];
    int row_count;
    int cut_short;
};

struct Report {
    const char *build;                   // "i686" or "x86_64"
    char registry_view[80];
    char wordpad[REPORT_TEXT_SIZE + REGISTRY_PATH_SIZE];  // what the open command gave
    char system_libraries[160];          // whose system libraries the imports were checked against
    ReportDirection directions[2];       // import, export
};

// A new row at the end of the direction, zeroed with no indices, or null
// when the direction is full.
ReportRow *add_report_row(ReportDirection *d);

// Receives the report one line at a time, without its line end.
typedef void (*ReportSink)(void *context, const char *line);

void write_compact_report(const Report *r, ReportSink sink, void *context);
void write_tsv_report(const Report *r, ReportSink sink, void *context);
