// The project's small RTF reader, which the writer's tests and the
// converter's tests rely on.
#include <gtest/gtest.h>

#include <string>

#include "rtf_text.h"

namespace {

TEST(RtfText, TextAsAReaderSeesIt) {
    struct Row { const char *rtf; const char *text; bool ok; };
    const Row rows[] = {
        {"{\\rtf1 Hello\\par World}", "Hello\nWorld", true},
        {"{\\rtf1{\\fonttbl{\\f0 Times;}}{\\colortbl;\\red0\\green0\\blue0;}{\\info{\\title T}}x}", "x", true},
        {"{\\rtf1 a\\tab b\\line c\\cell d\\row}", "a\tb\nc\td\n", true},
        {"{\\rtf1 \\\\\\{\\}}", "\\{}", true},
        {"{\\rtf1\\uc1 \\u228\\'e4\\u937?x}", "\xC3\xA4\xCE\xA9x", true},
        {"{\\rtf1\\uc2 \\u937??x{\\uc0\\u937 y}}", "\xCE\xA9x\xCE\xA9y", true},
        {"{\\rtf1 \\u-10179?\\u-8704?}", "\xF0\x9F\x98\x80", true},
        {"{\\rtf1 \\'80\\'e4}", "\xE2\x82\xAC\xC3\xA4", true},
        {"{\\rtf1 a{\\*\\unknown hidden}b{\\field{\\*\\fldinst PAGE}{\\fldrslt 3}}}", "ab3", true},
        {"{\\rtf1 a{\\footnote note}b{\\header{\\b head}}}", "anote\nbhead\n", true},
        {"{\\rtf1{\\listtext 1.\\tab}item}", "item", true},
        {"{\\rtf1 open", "open", false},
        {"{\\rtf1 x}}", "x", false},
        {"{\\rtf1 x}{y}", "x", false},
        {"plain", "plain", false},
    };
    for (const Row &row : rows) {
        RtfText r = rtf_text(row.rtf);
        EXPECT_EQ(r.text, row.text) << row.rtf;
        EXPECT_EQ(r.ok, row.ok) << row.rtf;
    }
    EXPECT_EQ(rtf_text("{\\rtf1{\\listtext 1.\\tab}item}", RtfLabels::Include).text, "1.\titem");
}

TEST(RtfText, ControlWordsWithParameters) {
    RtfText r = rtf_text("{\\rtf1{\\b\\fs24 x}\\cellx-20 \\b0 y}");
    const std::vector<std::string> expected = {"rtf1", "b", "fs24", "cellx-20", "b0"};
    EXPECT_EQ(r.words, expected);
    EXPECT_EQ(rtf_count(r, "b"), 1u);
    EXPECT_EQ(r.text, "xy");
}

}  // namespace
