// The RTF writer, fed synthetic sequences of librevenge calls, its output
// read back by the project's RTF reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "rtf_text.h"
#include "rtf_writer.h"

using librevenge::RVNGPropertyList;
using librevenge::RVNGPropertyListVector;
using librevenge::RVNGString;

namespace {

struct Output {
    std::string head, body, rtf;
    RtfText read;
    bool has(const std::string &fragment) const { return rtf.find(fragment) != std::string::npos; }
    bool word(const std::string &w) const { return rtf_count(read, w) > 0; }
};

// Runs a document: metadata, a page span, whatever `content` writes, the end.
Output run(const std::function<void(RtfWriter &)> &content, bool pageSpan = true) {
    RtfWriter w;
    w.setDocumentMetaData(RVNGPropertyList());
    w.startDocument(RVNGPropertyList());
    if (pageSpan) w.openPageSpan(RVNGPropertyList());
    content(w);
    if (pageSpan) w.closePageSpan();
    w.endDocument();
    Output o;
    o.head = w.head();
    o.body = w.body();
    o.rtf = o.head + o.body + RtfWriter::tail();
    o.read = rtf_text(o.rtf);
    return o;
}

void paragraph(RtfWriter &w, const char *text, const RVNGPropertyList &para = RVNGPropertyList(),
               const RVNGPropertyList &span = RVNGPropertyList()) {
    w.openParagraph(para);
    w.openSpan(span);
    w.insertText(text);
    w.closeSpan();
    w.closeParagraph();
}

RVNGPropertyList props(std::initializer_list<std::pair<const char *, const char *>> strings) {
    RVNGPropertyList p;
    for (const auto &s : strings) p.insert(s.first, s.second);
    return p;
}

TEST(RtfWriter, TextIsEscapedAndEveryCharacterKept) {
    struct Row { const char *utf8; const char *rtf; const char *read; };
    const Row rows[] = {
        {"plain text", "plain text", "plain text"},
        {"a\\b{c}d", "a\\\\b\\{c\\}d", "a\\b{c}d"},
        {"\xC3\xA4\xC3\x9F", "\\u228\\'e4\\u223\\'df", "\xC3\xA4\xC3\x9F"},                  // in code page 1252
        {"\xE2\x82\xAC\xE2\x80\x9C", "\\u8364\\'80\\u8220\\'93", "\xE2\x82\xAC\xE2\x80\x9C"}, // 1252's 0x80-0x9F
        {"\xCE\xA9x", "\\u937?x", "\xCE\xA9x"},                                         // none: '?'
        {"\xEF\x80\x80", "\\u-4096?", "\xEF\x80\x80"},                                 // above 32767: negative
        {"\xF0\x9F\x98\x80", "\\u-10179?\\u-8704?", "\xF0\x9F\x98\x80"},               // surrogate pair
        {"a\xFF" "b", "a\\u-3?b", "a\xEF\xBF\xBD" "b"},                              // invalid UTF-8
        {"x\ty", "x\\tab y", "x\ty"},
    };
    for (const Row &row : rows) {
        Output o = run([&](RtfWriter &w) { paragraph(w, row.utf8); });
        SCOPED_TRACE(row.rtf);
        EXPECT_TRUE(o.read.ok);
        EXPECT_TRUE(o.has(row.rtf)) << o.body;
        EXPECT_EQ(o.read.text, std::string(row.read) + "\n");
    }
    Output o = run([](RtfWriter &) {});
    EXPECT_EQ(o.head.rfind("{\\rtf1\\ansi\\ansicpg1252", 0), 0u);
    EXPECT_TRUE(o.word("uc1"));
}

TEST(RtfWriter, CharacterFormatting) {
    struct Row { std::initializer_list<std::pair<const char *, const char *>> span; const char *word; };
    const Row rows[] = {
        {{{"fo:font-weight", "bold"}}, "b"},
        {{{"fo:font-style", "italic"}}, "i"},
        {{{"style:text-underline-type", "single"}, {"style:text-underline-style", "solid"}}, "ul"},
        {{{"style:text-underline-type", "double"}}, "uldb"},
        {{{"style:text-line-through-type", "single"}}, "strike"},
        {{{"fo:font-variant", "small-caps"}}, "scaps"},
        {{{"style:text-outline", "true"}}, "outl"},
        {{{"style:text-position", "super 58%"}}, "super"},
        {{{"style:text-position", "sub 58%"}}, "sub"},
        {{{"text:display", "none"}}, "v"},
        {{{"fo:color", "#ff0000"}}, "cf1"},
        {{{"fo:background-color", "#00ff00"}}, "chcbpat1"},
        {{{"style:font-name", "Arial"}}, "f1"},
    };
    for (const Row &row : rows) {
        Output o = run([&](RtfWriter &w) { paragraph(w, "x", RVNGPropertyList(), props(row.span)); });
        SCOPED_TRACE(row.word);
        EXPECT_TRUE(o.word(row.word)) << o.body;
        EXPECT_EQ(o.read.text, "x\n");
    }
    // Sizes in points (half-points in RTF), fonts and colours in their tables once each.
    Output o = run([](RtfWriter &w) {
        RVNGPropertyList s = props({{"style:font-name", "Courier New"}, {"fo:color", "#123456"}});
        s.insert("fo:font-size", 14.0, librevenge::RVNG_POINT);
        paragraph(w, "a", RVNGPropertyList(), s);
        paragraph(w, "b", RVNGPropertyList(), s);
        paragraph(w, "c", RVNGPropertyList(), props({{"style:font-name", "Arial"}, {"fo:color", "#000000"}}));
    });
    EXPECT_TRUE(o.word("fs28"));
    EXPECT_TRUE(o.has("{\\fonttbl{\\f0\\froman\\fcharset0 Times New Roman;}{\\f1\\fmodern\\fprq1\\fcharset0 Courier New;}"
                      "{\\f2\\fswiss\\fcharset0 Arial;}}"));
    EXPECT_TRUE(o.has("{\\colortbl;\\red18\\green52\\blue86;\\red0\\green0\\blue0;}"));
    EXPECT_EQ(rtf_count(o.read, "f1"), 5u);  // font table entry, two spans and their paragraph marks
    EXPECT_TRUE(o.has("{\\f1\\fs28\\cf1 a}{\\f1\\fs28\\cf1\\par}"));
    // Families for readers without the font.
    struct Family { const char *font; const char *entry; };
    const Family families[] = {
        {"CG Times (Scalable)", "\\froman\\fcharset0 CG Times (Scalable);"},
        {"Univers", "\\fswiss\\fcharset0 Univers;"},
        {"Letter Gothic 12cpi", "\\fmodern\\fprq1\\fcharset0 Letter Gothic 12cpi;"},
        {"WP TypographicSymbols", "\\ftech\\fcharset0 WP TypographicSymbols;"},
        {"Zapf Chancery", "\\fnil\\fcharset0 Zapf Chancery;"},
    };
    for (const Family &f : families) {
        Output one = run([&](RtfWriter &w) { paragraph(w, "x", RVNGPropertyList(), props({{"style:font-name", f.font}})); });
        EXPECT_TRUE(one.has(f.entry)) << one.head;
    }
    EXPECT_EQ(o.read.text, "a\nb\nc\n");
}

TEST(RtfWriter, ParagraphFormatting) {
    struct Row { std::function<void(RVNGPropertyList &)> set; std::vector<const char *> words; };
    const Row rows[] = {
        {[](RVNGPropertyList &p) { p.insert("fo:text-align", "center"); }, {"qc"}},
        {[](RVNGPropertyList &p) { p.insert("fo:text-align", "end"); }, {"qr"}},
        {[](RVNGPropertyList &p) { p.insert("fo:text-align", "justify"); }, {"qj"}},
        {[](RVNGPropertyList &p) { p.insert("fo:margin-left", 0.5); p.insert("fo:margin-right", 1.0); },
         {"li720", "ri1440"}},
        {[](RVNGPropertyList &p) { p.insert("fo:text-indent", -0.25); }, {"fi-360"}},
        {[](RVNGPropertyList &p) { p.insert("fo:margin-top", 0.1); p.insert("fo:margin-bottom", 12.0, librevenge::RVNG_POINT); },
         {"sb144", "sa240"}},
        {[](RVNGPropertyList &p) { p.insert("fo:line-height", 2.0, librevenge::RVNG_PERCENT); }, {"sl480", "slmult1"}},
        {[](RVNGPropertyList &p) { p.insert("fo:line-height", 0.25); }, {"sl-360", "slmult0"}},
        {[](RVNGPropertyList &p) { p.insert("fo:keep-together", "always"); }, {"keep"}},
        {[](RVNGPropertyList &p) { p.insert("fo:break-before", "page"); }, {"pagebb"}},
        {[](RVNGPropertyList &p) { p.insert("fo:break-before", "column"); }, {"column"}},
        {[](RVNGPropertyList &p) {
             // Tab stops count from the paragraph's indent in librevenge, from the margin in RTF.
             p.insert("fo:margin-left", 0.5);
             RVNGPropertyListVector tabs;
             RVNGPropertyList right = props({{"style:type", "right"}, {"style:leader-text", "."}});
             right.insert("style:position", 1.0);
             RVNGPropertyList center = props({{"style:type", "center"}});
             center.insert("style:position", 0.25);
             RVNGPropertyList decimal = props({{"style:type", "char"}, {"style:char", "."}, {"style:leader-text", "-"}});
             decimal.insert("style:position", 2.0);
             tabs.append(right);
             tabs.append(center);
             tabs.append(decimal);
             p.insert("style:tab-stops", tabs);
         },
         {"tqc", "tx1080", "tqr", "tldot", "tx2160", "tqdec", "tlhyph", "tx3600"}},
    };
    for (const Row &row : rows) {
        RVNGPropertyList para;
        row.set(para);
        Output o = run([&](RtfWriter &w) {
            paragraph(w, "one");
            paragraph(w, "two", para);
        });
        SCOPED_TRACE(o.body);
        // In the order given, after the second paragraph's \pard.
        auto at = std::find(o.read.words.begin(), o.read.words.end(), "par");
        ASSERT_NE(at, o.read.words.end());
        for (const char *w : row.words) {
            auto found = std::find(at, o.read.words.end(), w);
            EXPECT_NE(found, o.read.words.end()) << w;
            at = found;
        }
        EXPECT_EQ(o.read.text, "one\ntwo\n");
    }
}

TEST(RtfWriter, BreaksTabsAndSpaces) {
    Output o = run([](RtfWriter &w) {
        w.openParagraph(RVNGPropertyList());
        w.openSpan(RVNGPropertyList());
        w.insertText("a");
        w.insertTab();
        w.insertText("b");
        w.insertLineBreak();
        w.insertText("c");
        w.insertSpace();
        w.insertSpace();
        w.insertText("d");
        w.closeSpan();
        w.closeParagraph();
    });
    EXPECT_EQ(o.read.text, "a\tb\nc  d\n");
    EXPECT_TRUE(o.has("a\\tab b\\line c  d"));
}

TEST(RtfWriter, PageSetupAndPageSpans) {
    Output o = run(
        [](RtfWriter &w) {
            RVNGPropertyList page;
            page.insert("fo:page-width", 11.69);
            page.insert("fo:page-height", 8.27);
            page.insert("style:print-orientation", "landscape");
            page.insert("fo:margin-left", 0.75);
            page.insert("fo:margin-right", 0.5);
            page.insert("fo:margin-top", 1.0);
            page.insert("fo:margin-bottom", 1.25);
            w.openPageSpan(page);
            paragraph(w, "first");
            w.closePageSpan();
            RVNGPropertyList letter;
            letter.insert("fo:page-width", 8.5);
            letter.insert("fo:page-height", 11.0);
            w.openPageSpan(letter);
            // The span's section starts the page: the break is not written twice.
            paragraph(w, "second", props({{"fo:break-before", "page"}}));
            w.closePageSpan();
        },
        false);
    EXPECT_TRUE(o.has("\\paperw16834\\paperh11909\\margl1080\\margr720\\margt1440\\margb1800\\landscape"));
    EXPECT_TRUE(o.has("\\sectd\\pgwsxn16834\\pghsxn11909\\marglsxn1080\\margrsxn720\\margtsxn1440\\margbsxn1800\\lndscpsxn"));
    EXPECT_TRUE(o.has("first}\\sect\\sectd\\sbkpage\\pgwsxn12240\\pghsxn15840")) << o.body;  // no empty paragraph between
    EXPECT_EQ(o.read.text, "first\nsecond\n");
    EXPECT_FALSE(o.word("pagebb"));
    EXPECT_TRUE(o.read.ok);
}

TEST(RtfWriter, Columns) {
    Output o = run([](RtfWriter &w) {
        paragraph(w, "one column");
        RVNGPropertyList section;
        RVNGPropertyListVector cols;
        RVNGPropertyList c;
        c.insert("fo:start-indent", 0.0);
        c.insert("fo:end-indent", 0.25);
        cols.append(c);
        c.insert("fo:start-indent", 0.25);
        c.insert("fo:end-indent", 0.0);
        cols.append(c);
        section.insert("style:columns", cols);
        w.openSection(section);
        paragraph(w, "two columns");
        w.closeSection();
    });
    EXPECT_TRUE(o.has("one column}\\sect\\sectd\\sbknone\\pgwsxn12240")) << o.body;
    EXPECT_TRUE(o.has("\\cols2\\colsx720"));
    EXPECT_EQ(o.read.text, "one column\ntwo columns\n");
}

TEST(RtfWriter, HeadersAndFooters) {
    struct Row { bool header; const char *occurrence; const char *destination; const char *documentWord; };
    const Row rows[] = {
        {true, "all", "{\\header\\pard", nullptr},
        {true, "odd", "{\\headerr\\pard", "facingp"},
        {true, "even", "{\\headerl\\pard", "facingp"},
        {true, "first", "\\titlepg{\\headerf\\pard", nullptr},
        {false, "all", "{\\footer\\pard", nullptr},
        {false, "odd", "{\\footerr\\pard", "facingp"},
        {false, "even", "{\\footerl\\pard", "facingp"},
        {false, "first", "\\titlepg{\\footerf\\pard", nullptr},
    };
    for (const Row &row : rows) {
        Output o = run([&](RtfWriter &w) {
            RVNGPropertyList p = props({{"librevenge:occurrence", row.occurrence}});
            if (row.header) w.openHeader(p);
            else w.openFooter(p);
            paragraph(w, "Running");
            paragraph(w, "title");
            if (row.header) w.closeHeader();
            else w.closeFooter();
            paragraph(w, "Body");
        });
        SCOPED_TRACE(row.destination);
        EXPECT_TRUE(o.has(row.destination)) << o.body;
        // The header's last paragraph ends with its group: no \par in it.
        EXPECT_TRUE(o.has("title}")) << o.body;
        if (row.documentWord) EXPECT_NE(o.head.find(std::string("\\") + row.documentWord), std::string::npos);
        else EXPECT_EQ(o.head.find("\\facingp"), std::string::npos);
        EXPECT_EQ(o.read.text, "Running\ntitle\nBody\n");
    }
}

TEST(RtfWriter, HeadersForAllPagesBesideFacingPages) {
    // RTF readers take a header for all pages as the right-hand one once
    // pages face: it becomes the other side's, or both.
    struct Row { std::vector<const char *> occurrences; const char *expected; };
    const Row rows[] = {
        {{"all", "even"}, "{\\headerr\\pard\\plain{all}}{\\headerl\\pard\\plain{even}}"},
        {{"all", "odd"}, "{\\headerl\\pard\\plain{all}}{\\headerr\\pard\\plain{odd}}"},
        {{"all"}, "{\\header\\pard\\plain{all}}\\pard"},
    };
    for (const Row &row : rows) {
        Output o = run([&](RtfWriter &w) {
            for (const char *occurrence : row.occurrences) {
                w.openHeader(props({{"librevenge:occurrence", occurrence}}));
                paragraph(w, occurrence);
                w.closeHeader();
            }
            paragraph(w, "Body");
        });
        SCOPED_TRACE(o.body);
        EXPECT_TRUE(o.has(row.expected));
    }
    // Facing pages from an earlier page span: both sides.
    Output o = run([](RtfWriter &w) {
        w.openHeader(props({{"librevenge:occurrence", "odd"}}));
        paragraph(w, "odd");
        w.closeHeader();
        paragraph(w, "one");
        w.closePageSpan();
        w.openPageSpan(RVNGPropertyList());
        w.openFooter(props({{"librevenge:occurrence", "all"}}));
        paragraph(w, "foot");
        w.closeFooter();
        paragraph(w, "two");
    });
    SCOPED_TRACE(o.body);
    EXPECT_TRUE(o.has("{\\footerr\\pard\\plain{foot}}{\\footerl\\pard\\plain{foot}}\\pard\\plain{two}"));
    EXPECT_TRUE(o.read.ok);
}

TEST(RtfWriter, FootnotesAndEndnotes) {
    for (bool endnote : {false, true}) {
        Output o = run([&](RtfWriter &w) {
            w.openParagraph(RVNGPropertyList());
            w.openSpan(props({{"fo:font-weight", "bold"}}));
            w.insertText("Body");
            RVNGPropertyList n;
            n.insert("librevenge:number", 1);
            if (endnote) w.openEndnote(n);
            else w.openFootnote(n);
            paragraph(w, "Note text");
            if (endnote) w.closeEndnote();
            else w.closeFootnote();
            w.insertText(" goes on");
            w.closeSpan();
            w.closeParagraph();
        });
        SCOPED_TRACE(o.body);
        EXPECT_TRUE(o.has(endnote ? "{\\super\\chftn}{\\footnote\\ftnalt\\pard\\plain" : "{\\super\\chftn}{\\footnote\\pard\\plain"));
        EXPECT_EQ(rtf_count(o.read, "chftn"), 2u);  // the mark in the text and in the note
        EXPECT_TRUE(o.has("{Note text}}{\\b  goes on}"));  // the bold span goes on after the note
        EXPECT_EQ(o.read.text, "BodyNote text\n goes on\n");
        EXPECT_EQ(o.head.find("\\fet1") != std::string::npos, endnote);
    }
}

TEST(RtfWriter, TableWithCellsMergedBothWays) {
    // | A (2 columns)  | B (2 rows) |
    // | C      | D     |            |
    Output o = run([](RtfWriter &w) {
        paragraph(w, "before");
        RVNGPropertyList table;
        RVNGPropertyListVector cols;
        for (double width : {1.0, 1.5, 2.0}) {
            RVNGPropertyList c;
            c.insert("style:column-width", width);
            cols.append(c);
        }
        table.insert("librevenge:table-columns", cols);
        w.openTable(table);
        w.openTableRow(RVNGPropertyList());
        RVNGPropertyList a = props({{"fo:border-left", "0.0007in solid #000000"}, {"fo:border-top", "0.02in double #ff0000"},
                                    {"fo:border-right", "0.0in"}, {"fo:background-color", "#cccccc"}});
        a.insert("librevenge:column", 0);
        a.insert("table:number-columns-spanned", 2);
        a.insert("table:number-rows-spanned", 1);
        w.openTableCell(a);
        paragraph(w, "A");
        w.closeTableCell();
        RVNGPropertyList b = props({{"style:vertical-align", "middle"}});
        b.insert("librevenge:column", 2);
        b.insert("table:number-rows-spanned", 2);
        w.openTableCell(b);
        paragraph(w, "B");
        w.closeTableCell();
        w.closeTableRow();
        RVNGPropertyList row;
        row.insert("style:min-row-height", 0.5);
        w.openTableRow(row);
        for (int col = 0; col < 2; ++col) {
            RVNGPropertyList c;
            c.insert("librevenge:column", col);
            w.openTableCell(c);
            paragraph(w, col ? "D1" : "C");
            if (col) paragraph(w, "D2");
            w.closeTableCell();
        }
        w.closeTableRow();  // B's lower half is written here
        w.closeTable();
        paragraph(w, "after");
    });
    SCOPED_TRACE(o.body);
    EXPECT_TRUE(o.read.ok);
    EXPECT_EQ(o.read.text, "before\nA\t\tB\t\nC\tD1\nD2\t\t\nafter\n");
    EXPECT_TRUE(o.has("\\trowd\\trgaph108\\trleft0\\trql"
                      "\\clmgf\\clbrdrt\\brdrdb\\brdrw29\\brdrcf1\\clbrdrl\\brdrs\\brdrw5\\brdrcf2\\clcbpat3\\cellx1440"
                      "\\clmrg\\clbrdrt\\brdrdb\\brdrw29\\brdrcf1\\clbrdrl\\brdrs\\brdrw5\\brdrcf2\\clcbpat3\\cellx3600"
                      "\\clvmgf\\clvertalc\\cellx6480 \\pard\\plain\\intbl{A}\\cell"));
    EXPECT_TRUE(o.has("\\trowd\\trgaph108\\trleft0\\trql\\trrh720\\cellx1440\\cellx3600\\clvmrg\\cellx6480 "));
    EXPECT_EQ(rtf_count(o.read, "cell"), 6u);
    EXPECT_EQ(rtf_count(o.read, "row"), 2u);
    EXPECT_TRUE(o.has("{before}\\par\\trowd"));  // the paragraph before ends before the row
}

TEST(RtfWriter, CoveredCellsGivenByTheParser) {
    // Parsers other than libwpd name every covered cell: the same RTF.
    Output o = run([](RtfWriter &w) {
        w.openTable(RVNGPropertyList());
        for (int row = 0; row < 2; ++row) {
            w.openTableRow(RVNGPropertyList());
            RVNGPropertyList first;
            first.insert("librevenge:column", 0);
            if (row == 0) {
                first.insert("table:number-columns-spanned", 2);
                first.insert("table:number-rows-spanned", 2);
                w.openTableCell(first);
                paragraph(w, "big");
                w.closeTableCell();
            } else {
                w.insertCoveredTableCell(first);
            }
            RVNGPropertyList covered;
            covered.insert("librevenge:column", 1);
            w.insertCoveredTableCell(covered);
            RVNGPropertyList last;
            last.insert("librevenge:column", 2);
            w.openTableCell(last);
            paragraph(w, row ? "d" : "c");
            w.closeTableCell();
            w.closeTableRow();
        }
        w.closeTable();
    });
    SCOPED_TRACE(o.body);
    EXPECT_TRUE(o.has("\\trowd\\trgaph108\\trleft0\\trql\\clvmgf\\clmgf\\cellx1440\\clvmgf\\clmrg\\cellx2880\\cellx4320 "));
    EXPECT_TRUE(o.has("\\trowd\\trgaph108\\trleft0\\trql\\clvmrg\\clmgf\\cellx1440\\clvmrg\\clmrg\\cellx2880\\cellx4320 "));
    EXPECT_EQ(o.read.text, "big\t\tc\t\n\t\td\t\n");
}

TEST(RtfWriter, NestedTable) {
    Output o = run([](RtfWriter &w) {
        w.openTable(RVNGPropertyList());
        w.openTableRow(RVNGPropertyList());
        w.openTableCell(RVNGPropertyList());
        paragraph(w, "outer");
        w.openTable(RVNGPropertyList());
        w.openTableRow(RVNGPropertyList());
        w.openTableCell(RVNGPropertyList());
        paragraph(w, "inner");
        w.closeTableCell();
        w.closeTableRow();
        w.closeTable();
        w.closeTableCell();
        w.closeTableRow();
        w.closeTable();
    });
    SCOPED_TRACE(o.body);
    EXPECT_TRUE(o.read.ok);
    EXPECT_TRUE(o.has("\\intbl\\itap2{inner}\\nestcell{\\*\\nesttableprops\\trowd"));
    EXPECT_TRUE(o.has("\\nestrow}{\\nonesttables\\par}\\pard\\plain\\intbl\\cell"));
    EXPECT_EQ(rtf_count(o.read, "row"), 1u);
}

TEST(RtfWriter, Lists) {
    Output o = run([](RtfWriter &w) {
        RVNGPropertyList level = props({{"style:num-format", "1"}, {"style:num-suffix", "."}});
        level.insert("librevenge:list-id", 7);
        level.insert("librevenge:level", 1);
        level.insert("text:start-value", 3);
        level.insert("text:min-label-width", 0.25);
        w.openOrderedListLevel(level);
        for (const char *item : {"three", "four"}) {
            w.openListElement(RVNGPropertyList());
            w.openSpan(RVNGPropertyList());
            w.insertText(item);
            w.closeSpan();
            w.closeListElement();
        }
        RVNGPropertyList inner = props({{"style:num-format", "a"}, {"style:num-prefix", "("}, {"style:num-suffix", ")"}});
        inner.insert("librevenge:level", 2);
        w.openOrderedListLevel(inner);
        w.openListElement(RVNGPropertyList());
        w.insertText("sub");
        w.closeListElement();
        w.closeOrderedListLevel();
        w.closeOrderedListLevel();
        RVNGPropertyList bullets = props({{"text:bullet-char", "\xE2\x80\xA2"}});
        bullets.insert("librevenge:level", 1);
        w.openUnorderedListLevel(bullets);
        w.openListElement(RVNGPropertyList());
        w.insertText("dot");
        w.closeListElement();
        w.closeUnorderedListLevel();
    });
    SCOPED_TRACE(o.head + o.body);
    EXPECT_TRUE(o.read.ok);
    // Labels as text for readers without lists, and RTF lists for the others.
    EXPECT_EQ(rtf_text(o.rtf, RtfLabels::Include).text, "3.\tthree\n4.\tfour\n(a)\tsub\n\xE2\x80\xA2\tdot\n");
    EXPECT_EQ(o.read.text, "three\nfour\nsub\ndot\n");
    EXPECT_TRUE(o.has("{\\listlevel\\levelnfc0\\levelnfcn0\\leveljc0\\levelfollow0\\levelstartat3{\\leveltext\\'02\\'00.;}"
                      "{\\levelnumbers\\'01;}\\fi-360\\li360"));
    EXPECT_TRUE(o.has("\\levelnfc4\\levelnfcn4\\leveljc0\\levelfollow0\\levelstartat1{\\leveltext\\'03(\\'01);}{\\levelnumbers\\'02;}"));
    EXPECT_TRUE(o.has("\\levelnfc23\\levelnfcn23\\leveljc0\\levelfollow0\\levelstartat1{\\leveltext\\'01\\u8226\\'95;}"));
    EXPECT_TRUE(o.has("{\\listoverride\\listid1\\listoverridecount0\\ls1}{\\listoverride\\listid2\\listoverridecount0\\ls2}"));
    EXPECT_EQ(rtf_count(o.read, "ls1"), 4u);  // override table and three paragraphs
    EXPECT_EQ(rtf_count(o.read, "ilvl1"), 1u);
}

TEST(RtfWriter, Fields) {
    struct Row { std::initializer_list<std::pair<const char *, const char *>> field; const char *instruction; };
    const Row rows[] = {
        {{{"librevenge:field-type", "text:page-number"}, {"style:num-format", "1"}}, "{\\field{\\*\\fldinst PAGE}{\\fldrslt }}"},
        {{{"librevenge:field-type", "text:page-number"}, {"style:num-format", "i"}}, "{\\field{\\*\\fldinst PAGE \\\\* roman}"},
        {{{"librevenge:field-type", "text:page-count"}, {"style:num-format", "A"}}, "{\\field{\\*\\fldinst NUMPAGES \\\\* ALPHABETIC}"},
        {{{"librevenge:field-type", "text:date"}}, "{\\field{\\*\\fldinst DATE}"},
        {{{"librevenge:field-type", "text:time"}}, "{\\field{\\*\\fldinst TIME}"},
    };
    for (const Row &row : rows) {
        Output o = run([&](RtfWriter &w) {
            w.openParagraph(RVNGPropertyList());
            w.insertText("Page ");
            w.insertField(props(row.field));
            w.closeParagraph();
        });
        SCOPED_TRACE(o.body);
        EXPECT_TRUE(o.has(row.instruction));
        EXPECT_EQ(o.read.text, "Page \n");
    }
}

TEST(RtfWriter, PicturesAndObjectsArePlaceholders) {
    struct Row { std::function<void(RtfWriter &)> insert; const char *text; };
    const Row rows[] = {
        {[](RtfWriter &w) { w.insertBinaryObject(props({{"librevenge:mime-type", "image/x-wpg"}})); }, "[picture]"},
        {[](RtfWriter &w) { w.insertBinaryObject(RVNGPropertyList()); }, "[picture]"},
        {[](RtfWriter &w) { w.insertBinaryObject(props({{"librevenge:mime-type", "application/x-ole"}})); }, "[object]"},
        {[](RtfWriter &w) { w.insertEquation(RVNGPropertyList()); }, "[equation]"},
        {[](RtfWriter &w) { w.drawRectangle(RVNGPropertyList()); }, "[drawing]"},
    };
    for (const Row &row : rows) {
        Output o = run([&](RtfWriter &w) {
            w.openParagraph(RVNGPropertyList());
            w.insertText("a ");
            w.openFrame(RVNGPropertyList());
            row.insert(w);
            w.closeFrame();
            w.insertText(" b");
            w.closeParagraph();
        });
        EXPECT_EQ(o.read.text, std::string("a ") + row.text + " b\n");
    }
}

TEST(RtfWriter, TextBoxesCommentsAndLinks) {
    Output o = run([](RtfWriter &w) {
        w.openParagraph(RVNGPropertyList());
        w.openSpan(props({{"fo:font-style", "italic"}}));
        w.insertText("Before");
        w.openFrame(RVNGPropertyList());
        w.openTextBox(RVNGPropertyList());
        paragraph(w, "Inside");
        w.closeTextBox();
        w.closeFrame();
        w.insertText("After");
        w.openComment(RVNGPropertyList());
        paragraph(w, "a remark");
        w.closeComment();
        w.openLink(props({{"xlink:href", "http://example.org/\"x\""}}));
        w.insertText("link");
        w.closeLink();
        w.closeSpan();
        w.closeParagraph();
    });
    SCOPED_TRACE(o.body);
    EXPECT_TRUE(o.read.ok);
    // A text box's paragraphs where it is anchored; the anchoring paragraph goes on, still italic.
    EXPECT_EQ(o.read.text, "Before\nInside\nAfterlink\n");
    EXPECT_TRUE(o.has("\\par\\pard\\plain{\\i After"));
    EXPECT_TRUE(o.has("{\\*\\atnid dv}\\chatn{\\*\\annotation\\pard\\plain{\\super\\chatn}"));
    EXPECT_TRUE(o.has("{\\field{\\*\\fldinst HYPERLINK \"http://example.org/x\"}{\\fldrslt{{\\i link}}}}"));

    // A box at the start of a paragraph: no empty paragraph before it.
    o = run([](RtfWriter &w) {
        w.openParagraph(RVNGPropertyList());
        w.openSpan(RVNGPropertyList());
        w.openFrame(RVNGPropertyList());
        w.openTextBox(RVNGPropertyList());
        paragraph(w, "Inside");
        w.closeTextBox();
        w.closeFrame();
        w.insertText("After");
        w.closeSpan();
        w.closeParagraph();
    });
    EXPECT_EQ(o.read.text, "Inside\nAfter\n");
    EXPECT_EQ(rtf_count(o.read, "par"), 2u) << o.body;
}

TEST(RtfWriter, DocumentPropertiesGoToInfo) {
    RtfWriter w;
    RVNGPropertyList meta = props({{"dc:title", "A {title}"}, {"meta:initial-creator", "J\xC3\xBCrgen"},
                                   {"dc:subject", "Tests"}, {"meta:keyword", "rtf, wp"},
                                   {"meta:creation-date", "1997-07-16T19:20:30"}, {"dc:publisher", "Office"}});
    w.setDocumentMetaData(meta);
    w.startDocument(RVNGPropertyList());
    w.endDocument();
    std::string head = w.head();
    EXPECT_NE(head.find("{\\title A \\{title\\}}"), std::string::npos) << head;
    EXPECT_NE(head.find("{\\author J\\u252\\'fcrgen}"), std::string::npos) << head;
    EXPECT_NE(head.find("{\\subject Tests}"), std::string::npos);
    EXPECT_NE(head.find("{\\keywords rtf, wp}"), std::string::npos);
    EXPECT_NE(head.find("{\\creatim\\yr1997\\mo7\\dy16\\hr19\\min20}"), std::string::npos);
    EXPECT_NE(head.find("{\\*\\company Office}"), std::string::npos);
    RtfText r = rtf_text(head + w.body() + RtfWriter::tail());
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.text, "");  // \info is not text
}

TEST(RtfWriter, DamagedValuesStayBounded) {
    Output o = run([](RtfWriter &w) {
        RVNGPropertyList level = props({{"style:num-format", "a"}});
        level.insert("text:start-value", 2147483647);
        w.openOrderedListLevel(level);
        for (int i = 0; i < 2; ++i) {
            w.openListElement(RVNGPropertyList());
            w.insertText("item");
            w.closeListElement();
        }
        w.closeOrderedListLevel();
        RVNGPropertyList table;
        RVNGPropertyListVector cols;
        RVNGPropertyList wide;
        wide.insert("style:column-width", 1e300);
        cols.append(wide);
        table.insert("librevenge:table-columns", cols);
        w.openTable(table);
        RVNGPropertyList cell;
        cell.insert("table:number-columns-spanned", 1000000);
        cell.insert("table:number-rows-spanned", 1000000);
        w.openTableCell(cell);
        w.closeTable();
        RVNGPropertyList para;
        para.insert("fo:margin-left", -1e300);
        para.insert("fo:line-height", 1e300, librevenge::RVNG_PERCENT);
        paragraph(w, "end", para);
    });
    EXPECT_TRUE(o.read.ok);
    EXPECT_LT(o.rtf.size(), 20000u);
    EXPECT_EQ(rtf_text(o.rtf, RtfLabels::Include).text.substr(0, 22), "32767\titem\n32767\titem\n");
    EXPECT_TRUE(o.word("cellx31680"));
    EXPECT_TRUE(o.word("li-31680"));
}

TEST(RtfWriter, CallsOutOfOrderStillGiveBalancedRtf) {
    const std::function<void(RtfWriter &)> sequences[] = {
        [](RtfWriter &w) { w.closeTableCell(); w.closeTableRow(); w.closeTable(); w.closeFootnote(); w.closeHeader(); },
        [](RtfWriter &w) { w.insertText("no paragraph"); w.closeSpan(); w.closeLink(); w.closeListElement(); },
        [](RtfWriter &w) { w.openTable(RVNGPropertyList()); w.openTableCell(RVNGPropertyList()); w.openFootnote(RVNGPropertyList()); w.insertText("x"); },
        [](RtfWriter &w) { w.openParagraph(RVNGPropertyList()); w.openSpan(RVNGPropertyList()); w.openLink(RVNGPropertyList()); w.openHeader(RVNGPropertyList()); w.openTextBox(RVNGPropertyList()); },
        [](RtfWriter &w) { w.openOrderedListLevel(RVNGPropertyList()); w.closeUnorderedListLevel(); w.closeOrderedListLevel(); w.openListElement(RVNGPropertyList()); },
        [](RtfWriter &w) { w.insertCoveredTableCell(RVNGPropertyList()); w.openTable(RVNGPropertyList()); w.insertCoveredTableCell(RVNGPropertyList()); },
    };
    for (const auto &sequence : sequences) {
        Output o = run(sequence);
        EXPECT_TRUE(o.read.ok) << o.body;
    }
}

}  // namespace
