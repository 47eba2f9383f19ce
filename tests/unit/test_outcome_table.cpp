#include <gtest/gtest.h>

#include <string>

#include "batch/outcome_table.h"
#include "common/status_text.h"

namespace {

struct ResultRow {
    int result;
    bool exporting, output_ok;
    Outcome outcome;
};

const ResultRow RESULTS[] = {
    {0, false, true, OUTCOME_CONVERTED},
    {5, true, true, OUTCOME_CONVERTED},
    {0, false, false, OUTCOME_CONVERTER_ERROR},  // "success" without an output
    {-15, false, false, OUTCOME_NOT_RECOGNISED},
    {-15, true, false, OUTCOME_FAILED},
    {-16, true, false, OUTCOME_FAILED},
    {-12, true, false, OUTCOME_FAILED},
    {-4, false, false, OUTCOME_FAILED},
    {-7, false, false, OUTCOME_CONVERTER_ERROR},
    {-32768, false, false, OUTCOME_CONVERTER_ERROR},
    {-65536, false, false, OUTCOME_CONVERTER_CRASHED},
    {-1073741819, false, false, OUTCOME_CONVERTER_CRASHED},
    {-1073741571, true, false, OUTCOME_CONVERTER_CRASHED},
    {-65537, false, false, OUTCOME_CONVERTER_ENDED},
    {-65538, false, false, OUTCOME_CONVERTER_ERROR},
    {-100000, false, false, OUTCOME_FAILED},
};

TEST(OutcomeTable, DocvaneResults) {
    for (const ResultRow &row : RESULTS)
        EXPECT_EQ(outcome_of_result(row.result, row.exporting, row.output_ok), row.outcome) << row.result;
}

struct RunRow {
    const char *what;
    RunFacts facts;
    Outcome outcome;
};

RunFacts facts(bool timed_out, uint32_t exit_code, bool has_status, int status, bool output_ok) {
    RunFacts f;
    f.timed_out = timed_out;
    f.exit_code = exit_code;
    f.has_status = has_status;
    f.status_result = status;
    f.output_ok = output_ok;
    return f;
}

const RunRow RUNS[] = {
    {"success", facts(false, 0, true, 0, true), OUTCOME_CONVERTED},
    {"TerminateProcess(self, 0)", facts(false, 0, false, 0, true), OUTCOME_CONVERTER_ENDED},
    {"fail-fast, no status", facts(false, 0xC0000409u, false, 0, false), OUTCOME_CONVERTER_CRASHED},
    {"ended with another code, no status", facts(false, 7, false, 0, false), OUTCOME_CONVERTER_ENDED},
    {"status and exit code disagree", facts(false, 1, true, 0, true), OUTCOME_CONVERTER_ENDED},
    {"timed out, whatever else", facts(true, 0, true, 0, true), OUTCOME_TIMEOUT},
    {"status -15, exit code -15", facts(false, 0xFFFFFFF1u, true, -15, false), OUTCOME_NOT_RECOGNISED},
};

TEST(OutcomeTable, StatusAndExitCodeTogether) {
    for (const RunRow &row : RUNS) EXPECT_EQ(classify_run(row.facts), row.outcome) << row.what;
}

TEST(OutcomeTable, NamesAndRtfStart) {
    EXPECT_STREQ(outcome_name(OUTCOME_NOT_RECOGNISED), "not_recognised");
    EXPECT_STREQ(outcome_name(OUTCOME_CONVERTER_ENDED), "converter_ended");
    EXPECT_TRUE(looks_like_rtf(" \r\n{\\rtf1}", 10));
    EXPECT_FALSE(looks_like_rtf("{\\rt", 4));
    EXPECT_FALSE(looks_like_rtf("x{\\rtf1", 7));
}

struct StatusRow {
    std::string bytes;
    bool status;
    int result;
    const char *progress;
};

const StatusRow STATUSES[] = {
    {"Datei wird generiert (100%)...\n0\n", true, 0, "Datei wird generiert (100%)..."},
    {"\n-15\n", true, -15, ""},
    {"\n-2147483648\n", true, -2147483647 - 1, ""},
    {"\n2147483648\n", false, 0, ""},
    {"\n-15", false, 0, ""},                        // no final line feed
    {"C:\\in.doc\r\nC:\\out.rtf\r\nY\r\n", false, 0, ""},  // the request, unanswered
    {"a\n1\n2\n", false, 0, ""},
    {"\n\n", false, 0, ""},
    {"\n-\n", false, 0, ""},
    {"", false, 0, ""},
};

TEST(StatusText, ParsesWhatFormatWrites) {
    for (const StatusRow &row : STATUSES) {
        char progress[64] = "unchanged";
        int result = 12345;
        EXPECT_EQ(parse_status_text(row.bytes.data(), row.bytes.size(), progress, sizeof progress, &result) != 0, row.status)
            << row.bytes;
        if (row.status) {
            EXPECT_EQ(result, row.result);
            EXPECT_STREQ(progress, row.progress);
        }
    }
    char text[STATUS_TEXT_SIZE];
    size_t n = format_status_text(text, sizeof text, "Datei wird generiert (40%)...", -65537);
    char progress[8];
    int result = 0;
    ASSERT_TRUE(parse_status_text(text, n, progress, sizeof progress, &result));
    EXPECT_EQ(result, -65537);
    EXPECT_STREQ(progress, "Datei w");  // cut to the buffer, terminated
}

}  // namespace
