#include "batch/outcome_table.h"

#include "common/result_codes.h"

namespace {

const char *const NAMES[OUTCOME_COUNT] = {"converted",         "not_recognised",  "converter_error", "converter_crashed",
                                          "converter_ended",   "timeout",         "failed"};

// docvane's documented results, by direction where they differ. A converter
// may return one of these values itself; the two cannot be told apart, and
// the record keeps the number.
struct Mapping {
    int32_t result;
    Outcome import_outcome;
    Outcome export_outcome;
};
const Mapping TABLE[] = {
    // Import: no converter recognised the source (dvbatch made sure its work
    // folder, where the destination goes, is writable). Export: no converter
    // has the index, a setting the batch stops on.
    {RESULT_NOT_TAKEN, OUTCOME_NOT_RECOGNISED, OUTCOME_FAILED},
    // Export could not start: library, entry point, initialisation, or the
    // source (dvbatch's own copy) could not be read.
    {RESULT_EXPORT_CANNOT_START, OUTCOME_FAILED, OUTCOME_FAILED},
    // The destination in dvbatch's work folder could not be created.
    {RESULT_DESTINATION_NOT_CREATED, OUTCOME_FAILED, OUTCOME_FAILED},
    // docvane could not write the output completely (or the converter handed
    // it a count it refused): docvane's failure, not a format problem.
    {RESULT_WRITE_FAILED, OUTCOME_FAILED, OUTCOME_FAILED},
    {RESULT_CONVERTER_FAULTED, OUTCOME_CONVERTER_CRASHED, OUTCOME_CONVERTER_CRASHED},
    {RESULT_CONVERTER_ENDED_RUN, OUTCOME_CONVERTER_ENDED, OUTCOME_CONVERTER_ENDED},
    // A converter closed or replaced a file docvane held for the run: it broke
    // docvane's files without faulting.
    {-65538, OUTCOME_CONVERTER_ERROR, OUTCOME_CONVERTER_ERROR},
};

// An exception code read as a signed number: severity "error" (0xC...) or
// "warning" (0x8...), far outside a converter's 16-bit results.
bool is_exception_code(uint32_t code) {
    uint32_t severity = code & 0xF0000000u;
    return severity == 0xC0000000u || severity == 0x80000000u;
}

}  // namespace

const char *outcome_name(Outcome outcome) {
    return outcome >= 0 && outcome < OUTCOME_COUNT ? NAMES[outcome] : "failed";
}

Outcome outcome_of_result(int32_t result, bool exporting, bool output_ok) {
    // A success is believed only with a plausible output.
    if (result >= 0) return output_ok ? OUTCOME_CONVERTED : OUTCOME_CONVERTER_ERROR;
    for (const Mapping &m : TABLE)
        if (m.result == result) return exporting ? m.export_outcome : m.import_outcome;
    if (is_exception_code(static_cast<uint32_t>(result))) return OUTCOME_CONVERTER_CRASHED;
    // A converter's own failure: its 16-bit result, widened.
    if (result >= -32768) return OUTCOME_CONVERTER_ERROR;
    return OUTCOME_FAILED;
}

Outcome classify_run(const RunFacts &f) {
    if (f.timed_out) return OUTCOME_TIMEOUT;
    if (!f.has_status) {
        // No status file: docvane did not finish. An exception code means the
        // process died of a fault docvane's guard could not catch (fail-fast);
        // anything else, 0 included (TerminateProcess(self, 0)), means
        // converter code ended it.
        return is_exception_code(f.exit_code) ? OUTCOME_CONVERTER_CRASHED : OUTCOME_CONVERTER_ENDED;
    }
    if (static_cast<uint32_t>(f.status_result) != f.exit_code) return OUTCOME_CONVERTER_ENDED;
    return outcome_of_result(f.status_result, f.exporting, f.output_ok);
}

bool looks_like_rtf(const char *bytes, unsigned long count) {
    unsigned long i = 0;
    while (i < count && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n' ||
                         bytes[i] == '\f' || bytes[i] == '\v'))
        ++i;
    static const char MAGIC[] = "{\\rtf";
    for (int k = 0; k < 5; ++k, ++i)
        if (i >= count || bytes[i] != MAGIC[k]) return false;
    return true;
}
