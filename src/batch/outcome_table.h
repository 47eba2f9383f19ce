// From what one docvane run left behind to the document's outcome.
#pragma once

#include <cstdint>

enum Outcome {
    OUTCOME_CONVERTED,
    OUTCOME_NOT_RECOGNISED,
    OUTCOME_CONVERTER_ERROR,
    OUTCOME_CONVERTER_CRASHED,
    OUTCOME_CONVERTER_ENDED,
    OUTCOME_TIMEOUT,
    OUTCOME_FAILED,
    OUTCOME_COUNT
};

// The report's word for it ("converted", "not_recognised", ...).
const char *outcome_name(Outcome outcome);

struct RunFacts {
    bool exporting = false;
    bool timed_out = false;   // ended by dvbatch's own clock
    uint32_t exit_code = 0;   // docvane's, all 32 bits
    bool has_status = false;  // the request file became a status file
    int32_t status_result = 0;
    bool output_ok = false;   // exists, not empty, and for import starts with "{\rtf"
};

// The outcome of a run whose status agrees with the exit code: docvane's
// result code alone.
Outcome outcome_of_result(int32_t result, bool exporting, bool output_ok);

// The outcome of a run, status and exit code checked against each other.
Outcome classify_run(const RunFacts &facts);

// Whether bytes (the start of an import's output) begin with "{\rtf" after
// white space.
bool looks_like_rtf(const char *bytes, unsigned long count);
