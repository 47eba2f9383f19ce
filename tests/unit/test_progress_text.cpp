#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "app/progress_text.h"
#include "common/status_text.h"
#include "conversion/crash_record.h"

namespace {

std::string render(int p, const char *format = PROGRESS_FORMAT_LITERAL) {
    char out[128];
    memset(out, 'x', sizeof out);
    render_progress_text(format, p, out, sizeof out);
    return out;
}

TEST(ProgressText, RendersPercentAndKeepsTheLiteralPercentParen) {
    EXPECT_STREQ(PROGRESS_FORMAT_LITERAL, "Datei wird generiert (%d%)...");
    EXPECT_EQ(render(0), "Datei wird generiert (0%)...");
    EXPECT_EQ(render(40), "Datei wird generiert (40%)...");
    EXPECT_EQ(render(100), "Datei wird generiert (100%)...");
    EXPECT_EQ(render(100).size(), 30u);
    EXPECT_EQ(render(-3), "Datei wird generiert (-3%)...");
    EXPECT_EQ(render(INT_MIN), "Datei wird generiert (-2147483648%)...");
    EXPECT_EQ(render(INT_MIN).size(), 38u);
    EXPECT_EQ(render(INT_MAX), "Datei wird generiert (2147483647%)...");
}

TEST(ProgressText, EmptyFormatRendersEmptyAndSmallBuffersStayTerminated) {
    EXPECT_EQ(render(40, ""), "");
    char small[8];
    render_progress_text(PROGRESS_FORMAT_LITERAL, 40, small, sizeof small);
    EXPECT_STREQ(small, "Datei w");
}

// The status file's two lines, as on every path out of a conversion.
TEST(StatusText, ProgressTextAndResultOnTwoLines) {
    const std::string longest(127, 't');
    struct Case {
        std::string text;
        int result;
        std::string status;
    } cases[] = {
        {"", 0, "\n0\n"},
        {"Datei wird generiert (30%)...", -1073741819, "Datei wird generiert (30%)...\n-1073741819\n"},
        {"", INT_MIN, "\n-2147483648\n"},
        {longest, INT_MIN, longest + "\n-2147483648\n"},
    };
    for (const Case &c : cases) {
        char out[STATUS_TEXT_SIZE];
        memset(out, 'x', sizeof out);
        EXPECT_EQ(format_status_text(out, sizeof out, c.text.c_str(), c.result), c.status.size());
        EXPECT_EQ(std::string(out), c.status);
    }
}

// The event log's line: what ended the run, where, and with what.
TEST(CrashRecord, NamesTheExceptionTheModuleAndTheResult) {
    const std::string long_path = "C:\\" + std::string(600, 'p') + ".cnv";
    struct Case {
        CrashFacts facts;
        size_t size;
        std::string record;
    } cases[] = {
        {{0xC0000005ul, 0x10001234ull, "C:\\conv\\a.cnv", 0x1234ull, "C:\\conv\\a.cnv", -1073741819},
         CRASH_RECORD_SIZE,
         "docvane: exception 0xC0000005 in C:\\conv\\a.cnv at offset 0x1234; last converter loaded: "
         "C:\\conv\\a.cnv; the run ended with -1073741819."},
        // A worker that runs on after its library was unloaded.
        {{0xC0000005ul, 0x7FF612340000ull, NULL, 0, "C:\\conv\\a.cnv", -1073741819},
         CRASH_RECORD_SIZE,
         "docvane: exception 0xC0000005 at address 0x7FF612340000, in no loaded module; last converter "
         "loaded: C:\\conv\\a.cnv; the run ended with -1073741819."},
        {{0, 0, NULL, 0, "C:\\conv\\a.cnv", -65537},
         CRASH_RECORD_SIZE,
         "docvane: converter code ended the process or docvane's thread; last converter loaded: "
         "C:\\conv\\a.cnv; the run ended with -65537."},
        {{0x20441234ul, 0x401000ull, "C:\\docvane\\docvane.exe", 0ull, NULL, -65536},
         CRASH_RECORD_SIZE,
         "docvane: exception 0x20441234 in C:\\docvane\\docvane.exe at offset 0x0; no converter loaded; "
         "the run ended with -65536."},
        // Cut, never overrun.
        {{0x1ul, 0, NULL, 0, NULL, 0}, 24, "docvane: exception 0x00"},
        {{0xC0000005ul, 0, long_path.c_str(), 0x10ull, long_path.c_str(), INT_MIN},
         CRASH_RECORD_SIZE,
         ("docvane: exception 0xC0000005 in " + long_path + " at offset 0x10; last converter loaded: " + long_path)
             .substr(0, CRASH_RECORD_SIZE - 1)},
    };
    for (const Case &c : cases) {
        char out[CRASH_RECORD_SIZE + 8];
        memset(out, 'x', sizeof out);
        EXPECT_EQ(format_crash_record(out, c.size, c.facts), c.record.size());
        EXPECT_EQ(std::string(out), c.record);
        EXPECT_EQ(out[c.size], 'x');  // nothing written past the buffer
    }
}

}  // namespace
