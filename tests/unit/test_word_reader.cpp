#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "app/command_tail.h"
#include "app/word_reader.h"

namespace {

struct Src {
    StringCursor cursor;
    ByteSource src;
    explicit Src(const char *s) : cursor{s}, src(byte_source(string_cursor_next, &cursor)) {}
};

TEST(WordReader, WordsSplitOnAllSixWhiteSpaceCodesOnly) {
    Src s(" \t\n\v\f\ra\"b c\xFC\xA0" "d\r\n");
    char buf[16];
    ASSERT_EQ(read_word(&s.src, buf, sizeof buf), WORD_OK);
    EXPECT_STREQ(buf, "a\"b");
    ASSERT_EQ(read_word(&s.src, buf, sizeof buf), WORD_OK);
    EXPECT_STREQ(buf, "c\xFC\xA0" "d");  // 0xA0 is no white space here
    EXPECT_EQ(read_word(&s.src, buf, sizeof buf), WORD_NONE);
}

TEST(WordReader, WordThatDoesNotFitIsRefusedNotCut) {
    char buf[4];
    Src fits("abc");
    EXPECT_EQ(read_word(&fits.src, buf, sizeof buf), WORD_OK);
    EXPECT_STREQ(buf, "abc");
    Src too_long("abcd");
    EXPECT_EQ(read_word(&too_long.src, buf, sizeof buf), WORD_REFUSED);
    EXPECT_STREQ(buf, "");
}

TEST(WordReader, WordWithZeroByteIsRefused) {
    // A request file is read byte by byte; a zero byte would end the path
    // early and name another file.
    static const char bytes[] = {'a', '\0', 'b', ' ', 'c'};
    struct Mem {
        const char *p;
        size_t left;
    } mem = {bytes, sizeof bytes};
    ByteSource src = byte_source(
        [](void *m) -> int {
            Mem *mm = static_cast<Mem *>(m);
            if (!mm->left) return -1;
            --mm->left;
            return static_cast<unsigned char>(*mm->p++);
        },
        &mem);
    char buf[16];
    EXPECT_EQ(read_word(&src, buf, sizeof buf), WORD_REFUSED);
    EXPECT_STREQ(buf, "");
}

TEST(WordReader, IntegersWithSignSaturateAndStopAtNonDigits) {
    struct Case {
        const char *text;
        int ok;
        int value;
    } cases[] = {
        {"  42abc", 1, 42},           {"-7", 1, -7},
        {"+5", 1, 5},                 {"2147483647", 1, INT_MAX},
        {"2147483648", 1, INT_MAX},   {"99999999999999999999", 1, INT_MAX},
        {"-2147483648", 1, INT_MIN},  {"-99999999999999999999", 1, INT_MIN},
        {"-2147483649", 1, INT_MIN},  {"-21474836470", 1, INT_MIN},
        {"x1", 0, 0},                 {"-", 0, 0},
        {"- 1", 0, 0},                {"", 0, 0},
    };
    for (const Case &c : cases) {
        Src s(c.text);
        int v = 0;
        EXPECT_EQ(read_int(&s.src, &v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

TEST(WordReader, ReadByteTakesWhiteSpaceToo) {
    Src s("\nY");
    EXPECT_EQ(read_byte(&s.src), '\n');
    EXPECT_EQ(read_byte(&s.src), 'Y');
    EXPECT_EQ(read_byte(&s.src), -1);
}

TEST(CommandTail, SkipsProgramNameQuotedOrNot) {
    EXPECT_STREQ(command_line_tail("docvane.exe a b"), "a b");
    EXPECT_STREQ(command_line_tail("  \tC:\\x\\docvane.exe\t \t a b "), "a b ");
    EXPECT_STREQ(command_line_tail("\"C:\\Program Files\\docvane.exe\"  a"), "a");
    EXPECT_STREQ(command_line_tail("\"C:\\a b\\docvane.exe\"x y"), "x y");
    // An unclosed quote runs to the end; a tab ends a quoted name too.
    EXPECT_STREQ(command_line_tail("\"C:\\a b c"), "");
    EXPECT_STREQ(command_line_tail("\"ab\tcd ef"), "cd ef");
    EXPECT_STREQ(command_line_tail("prog"), "");
    EXPECT_STREQ(command_line_tail(""), "");
    // Only blanks and tabs separate the name: a line feed belongs to it.
    EXPECT_STREQ(command_line_tail("prog\nx y"), "y");
    EXPECT_STREQ(command_line_tail("prog\"x y"), "y");
}

}  // namespace
