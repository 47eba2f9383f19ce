#include <gtest/gtest.h>

#include <string>

#include "app/request.h"

namespace {

struct Parsed {
    Request req;
    TailKind kind;
};

Parsed tail(const char *t) {
    Parsed p;
    request_init(&p.req);
    p.kind = parse_command_tail(t, &p.req);
    return p;
}

Request file(const std::string &content) {
    Request req;
    request_init(&req);
    StringCursor cursor = {content.c_str()};
    ByteSource src = byte_source(string_cursor_next, &cursor);
    parse_request_file(&src, &req);
    return req;
}

TEST(CommandLine, ImportExportAndRequestFile) {
    Parsed p = tail("C:\\DOCS\\BRIEF.DOC C:\\TEMP\\BRIEF.RTF");
    EXPECT_EQ(p.kind, TAIL_CONVERSION);
    EXPECT_EQ(p.req.dispatch_code, DISPATCH_IMPORT);
    EXPECT_STREQ(p.req.source_path, "C:\\DOCS\\BRIEF.DOC");
    EXPECT_STREQ(p.req.destination_path, "C:\\TEMP\\BRIEF.RTF");
    EXPECT_STREQ(p.req.request_path, "");

    p = tail("C:\\TEMP\\BRIEF.RTF C:\\DOCS\\BRIEF.DOC 0 trailing words");
    EXPECT_EQ(p.req.dispatch_code, DISPATCH_EXPORT);
    EXPECT_EQ(p.req.converter_index, 0);

    p = tail("a b notanumber");
    EXPECT_EQ(p.req.dispatch_code, DISPATCH_IMPORT);
    p = tail("a b 99999999999");
    EXPECT_EQ(p.req.converter_index, 2147483647);
    p = tail("a b -99999999999");
    EXPECT_EQ(p.req.converter_index, -2147483647 - 1);

    p = tail("\"C:\\My Docs\\a.doc\" b.rtf");
    EXPECT_STREQ(p.req.source_path, "\"C:\\My");
    EXPECT_STREQ(p.req.destination_path, "Docs\\a.doc\"");
    EXPECT_EQ(p.req.dispatch_code, DISPATCH_IMPORT);  // b.rtf is no number

    p = tail("  C:\\req.txt  ");
    EXPECT_EQ(p.kind, TAIL_REQUEST_FILE);
    EXPECT_STREQ(p.req.request_path, "C:\\req.txt");
    EXPECT_STREQ(p.req.source_path, "");
}

TEST(CommandLine, EmptyAndOverlongTails) {
    EXPECT_EQ(tail("").kind, TAIL_EMPTY);
    EXPECT_EQ(tail(" \t\r\n").kind, TAIL_EMPTY);
    std::string w263(263, 'a'), w264(264, 'a');
    EXPECT_EQ(tail((w263 + " b").c_str()).kind, TAIL_CONVERSION);
    EXPECT_EQ(tail((w264 + " b").c_str()).kind, TAIL_REFUSED);
    EXPECT_EQ(tail(("a " + w264).c_str()).kind, TAIL_REFUSED);
    EXPECT_EQ(tail(w264.c_str()).kind, TAIL_REFUSED);
    EXPECT_EQ(tail(w263.c_str()).kind, TAIL_REQUEST_FILE);
}

TEST(RequestFile, WorkedExamples) {
    Request r = file("C:\\DOCS\\BRIEF.DOC\r\nC:\\TEMP\\BRIEF.RTF\r\nY\r\n");
    EXPECT_EQ(r.dispatch_code, DISPATCH_IMPORT);
    EXPECT_EQ(r.source_selector, 'Y');
    EXPECT_STREQ(r.source_path, "C:\\DOCS\\BRIEF.DOC");
    EXPECT_STREQ(r.destination_path, "C:\\TEMP\\BRIEF.RTF");

    r = file("C:\\TEMP\\BRIEF.RTF\nC:\\DOCS\\BRIEF.DOC\nW\n0\n");
    EXPECT_EQ(r.dispatch_code, DISPATCH_EXPORT);
    EXPECT_EQ(r.source_selector, 'W');
    EXPECT_EQ(r.converter_index, 0);

    r = file("C:\\DOCS\\BRIEF.DOC\nC:\\TEMP\\BRIEF.RTF");
    EXPECT_EQ(r.dispatch_code, DISPATCH_IMPORT);
    EXPECT_EQ(r.source_selector, 'W');

    EXPECT_EQ(file("\\\\\\\\-1-1").dispatch_code, 11);
    EXPECT_EQ(file("\\\\\\\\x1x0\n").dispatch_code, 9);
    EXPECT_EQ(file("\\\\\\\\x0x1").dispatch_code, 10);
    EXPECT_EQ(file("\\\\\\\\x0x0").dispatch_code, DISPATCH_NO_LIST);
}

TEST(RequestFile, SelectorByteIndexAndLayouts) {
    Request r = file("a\nb\nY\nx1\n");
    EXPECT_EQ(r.dispatch_code, DISPATCH_IMPORT);  // fourth line starts with a letter
    r = file("  a \r\n\r\n\t b\n\n  y   -12  rest");
    EXPECT_EQ(r.dispatch_code, DISPATCH_EXPORT);
    EXPECT_EQ(r.source_selector, 'y');
    EXPECT_EQ(r.converter_index, -12);
    r = file("a\nb\n12\n");  // first digit is the selector, the rest the index
    EXPECT_EQ(r.source_selector, '1');
    EXPECT_EQ(r.dispatch_code, DISPATCH_EXPORT);
    EXPECT_EQ(r.converter_index, 2);
    r = file("a\nb\n7");
    EXPECT_EQ(r.source_selector, '7');
    EXPECT_EQ(r.dispatch_code, DISPATCH_IMPORT);
    r = file("a b \xFC");  // stored as read, whatever it is
    EXPECT_EQ(static_cast<unsigned char>(r.source_selector), 0xFC);
    r = file("\\\\server\\share\\a.doc\nb\n");  // two backslashes: a conversion
    EXPECT_EQ(r.dispatch_code, DISPATCH_IMPORT);
    EXPECT_STREQ(r.source_path, "\\\\server\\share\\a.doc");
}

TEST(RequestFile, FewerThanTwoWordsOrOverlongWordsAreUnusable) {
    EXPECT_EQ(file("").dispatch_code, DISPATCH_UNUSABLE_REQUEST);
    EXPECT_EQ(file(" \r\n ").dispatch_code, DISPATCH_UNUSABLE_REQUEST);
    Request r = file("C:\\only\\source.doc\n");
    EXPECT_EQ(r.dispatch_code, DISPATCH_UNUSABLE_REQUEST);
    EXPECT_STREQ(r.source_path, "");
    std::string w264(264, 'p');
    EXPECT_EQ(file(w264 + "\nb\n").dispatch_code, DISPATCH_UNUSABLE_REQUEST);
    EXPECT_EQ(file("a\n" + w264 + "\n").dispatch_code, DISPATCH_UNUSABLE_REQUEST);
    EXPECT_EQ(file("\\\\\\\\-1-1" + w264).dispatch_code, DISPATCH_UNUSABLE_REQUEST);
}

TEST(ListDispatchCode, FormulaShortWordsAndDigitsBelowZero) {
    EXPECT_EQ(list_dispatch_code("\\\\\\\\-1-1"), 11);
    EXPECT_EQ(list_dispatch_code("\\\\\\\\-1-1anything"), 11);
    EXPECT_EQ(list_dispatch_code("\\\\\\\\-9-0"), 17);  // bit 0 set: import list
    EXPECT_EQ(list_dispatch_code("\\\\\\\\-\xFF-\xFF"), 8 + 207 + 2 * 207);
    // Missing digits count as "0".
    EXPECT_EQ(list_dispatch_code("\\\\\\\\"), DISPATCH_NO_LIST);
    EXPECT_EQ(list_dispatch_code("\\\\\\\\-1"), 9);
    EXPECT_EQ(list_dispatch_code("\\\\\\\\-1-"), 9);
    // Digits below "0" never name a conversion.
    EXPECT_EQ(list_dispatch_code("\\\\\\\\-*-0"), DISPATCH_NO_LIST);   // 2
    EXPECT_EQ(list_dispatch_code("\\\\\\\\-+-0"), DISPATCH_NO_LIST);   // 3
    EXPECT_EQ(list_dispatch_code("\\\\\\\\-)-0"), DISPATCH_NO_LIST);   // 1
    EXPECT_EQ(list_dispatch_code("\\\\\\\\-0-,"), 0);                  // no job
    EXPECT_EQ(list_dispatch_code("\\\\\\\\-/-0"), 7);                  // no job
}

}  // namespace
