#include <gtest/gtest.h>

#include <string>

#include "listing/list_line.h"

namespace {

std::string line(const char *name, const char *path, const char *ext) {
    char out[LIST_LINE_SIZE];
    size_t n = format_list_line(out, sizeof out, name, path, ext);
    EXPECT_EQ(n, strlen(out));
    return out;
}

TEST(ListLine, BuiltInsAndRegistryConverters) {
    EXPECT_EQ(line("Word f\xFCr Windows 6.0", "C:\\Tools\\Accessories\\MSWD6_32.WPC", "doc"),
              "ExtWP32: Word f\xFCr Windows 6.0 (*.doc)");
    EXPECT_EQ(line("Windows Write", "C:\\W\\WRITE32.WPC", "wri"), "ExtWP32: Windows Write (*.wri)");
    EXPECT_EQ(line("HTML", "C:\\Conv\\HTML32.CNV", "htm html"), "Ext32: HTML (*.htm)");
    // ".WPC" anywhere, exact case only.
    EXPECT_EQ(line("X", "C:\\Conv\\x.wpc", "x"), "Ext32: X (*.x)");
    EXPECT_EQ(line("X", "C:\\A.WPC\\x.cnv", "x"), "ExtWP32: X (*.x)");
}

TEST(ListLine, ExtensionListSkipsLeadingWhiteSpaceAndCutsToThree) {
    EXPECT_EQ(line("N", "p", "   doc."), "Ext32: N (*.doc)");
    EXPECT_EQ(line("N", "p", "\t\r\n\v\fdoc"), "Ext32: N (*.doc)");
    EXPECT_EQ(line("N", "p", "ht htm"), "Ext32: N (*.ht )");
    EXPECT_EQ(line("N", "p", ""), "Ext32: N (*.)");
    EXPECT_EQ(line("N", "p", "  "), "Ext32: N (*.)");
}

TEST(ListLine, LongestNameFitsAndLongerIsCutSafely) {
    std::string name63(63, 'n');
    std::string l = line(name63.c_str(), "C:\\X.WPC", "doc");
    EXPECT_EQ(l.size(), 80u);
    std::string name200(200, 'n');
    EXPECT_EQ(line(name200.c_str(), "p", "doc").size(), LIST_LINE_SIZE - 1);
}

}  // namespace
