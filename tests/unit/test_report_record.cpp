#include <gtest/gtest.h>

#include <map>
#include <string>

#include "batch/report_record.h"

namespace {

ReportRecord sample() {
    ReportRecord r;
    r.source = "dir with space/Gr\xC3\xBC\xC3\x9F" "e \"1\"\\.doc";
    r.destination = r.source + ".rtf";
    r.outcome = "converter_crashed";
    r.has_result = true;
    r.result = -1073741819;
    r.has_progress = true;
    r.progress = "Datei wird generiert (40%)...\t\x01";
    r.seconds = 1.25;
    r.attempt = 2;
    r.source_bytes = 5000000000LL;
    r.source_modified = "2026-12-10T03:52:27Z";
    return r;
}

TEST(ReportRecord, FormatsOneLineOfJson) {
    ReportRecord r;
    r.source = "a.doc";
    r.destination = "a.doc.rtf";
    r.outcome = "timeout";
    r.seconds = 300;
    r.source_bytes = 12;
    r.source_modified = "2026-01-02T03:04:05Z";
    EXPECT_EQ(format_record(r),
              "{\"source\":\"a.doc\",\"destination\":\"a.doc.rtf\",\"outcome\":\"timeout\",\"result\":null,"
              "\"progress\":null,\"seconds\":300.000,\"bytes\":null,\"attempt\":1,\"source_bytes\":12,"
              "\"source_modified\":\"2026-01-02T03:04:05Z\"}\n");
}

TEST(ReportRecord, RoundTrip) {
    ReportRecord r = sample(), back;
    std::string line = format_record(r);
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    ASSERT_TRUE(parse_record(line.substr(0, line.size() - 1), &back));
    EXPECT_EQ(back.source, r.source);
    EXPECT_EQ(back.progress, r.progress);
    EXPECT_EQ(back.result, r.result);
    EXPECT_TRUE(back.has_result);
    EXPECT_FALSE(back.has_bytes);
    EXPECT_EQ(back.attempt, 2);
    EXPECT_EQ(back.source_bytes, 5000000000LL);
}

struct LineRow {
    const char *line;
    bool record;
};

const LineRow LINES[] = {
    {"{\"source\":\"a\",\"outcome\":\"converted\",\"attempt\":1}", true},
    {"  {\"source\":\"a\" , \"outcome\":\"converted\", \"attempt\":3, \"future\":[1]}  ", false},  // no nesting
    {"{\"source\":\"a\",\"outcome\":\"converted\",\"attempt\":1,\"later\":true}\r", true},
    {"{\"source\":\"\\u00fc\\ud83d\\ude00\",\"outcome\":\"failed\",\"attempt\":1}", true},
    {"{\"source\":\"\\ud83d\",\"outcome\":\"failed\",\"attempt\":1}", false},  // lone surrogate
    {"{\"source\":\"a\",\"outcome\":\"converted\"}", false},                 // no attempt
    {"{\"source\":\"a\",\"outcome\":\"converted\",\"attempt\":0}", false},
    {"{\"source\":\"a\",\"outcome\":\"converted\",\"attempt\":1,\"result\":4294967281}", false},
    {"{\"source\":\"a\",\"outcome\":\"converted\",\"attempt\":1", false},     // cut
    {"{\"source\":1,\"outcome\":\"converted\",\"attempt\":1}", false},
    {"[1,2]", false},
    {"source,outcome", false},
    {"{\"source\":\"a\",\"outcome\":\"converted\",\"attempt\":1} x", false},
};

TEST(ReportRecord, Lines) {
    for (const LineRow &row : LINES) {
        ReportRecord r;
        EXPECT_EQ(parse_record(row.line, &r), row.record) << row.line;
    }
}

TEST(ReportRecord, ReadReportKeepsTheLastRecordAndIgnoresACutLastLine) {
    std::string a1 = "{\"source\":\"a\",\"outcome\":\"timeout\",\"attempt\":1}\n";
    std::string b1 = "{\"source\":\"b\",\"outcome\":\"converted\",\"attempt\":1}\r\n";
    std::string a2 = "{\"source\":\"a\",\"outcome\":\"converted\",\"attempt\":2}\n";
    std::map<std::string, LastRecord> last;
    size_t bad = 0;
    ASSERT_TRUE(read_report(a1 + b1 + "\n" + a2 + "{\"source\":\"c\",\"outc", &last, &bad));
    EXPECT_EQ(last.size(), 2u);
    EXPECT_EQ(last["a"].outcome, "converted");
    EXPECT_EQ(last["a"].attempt, 2);
    EXPECT_EQ(last["b"].outcome, "converted");

    last.clear();
    EXPECT_TRUE(read_report("", &last, &bad));
    EXPECT_TRUE(last.empty());

    // A bad line that is not the cut last one: not a report.
    EXPECT_FALSE(read_report(a1 + "{\"source\":\"c\",\"outc\n" + b1, &last, &bad));
    EXPECT_EQ(bad, 2u);
    EXPECT_FALSE(read_report("hello world\n", &last, &bad));
    EXPECT_EQ(bad, 1u);
}

}  // namespace
