#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "app/progress_text.h"
#include "common/status_text.h"

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

}  // namespace
