#include <gtest/gtest.h>

#include "discovery/exclusion_filter.h"

namespace {

TEST(ExclusionFilter, WorkedExamples) {
    EXPECT_FALSE(passes_exclusion_filter("C:\\Tools\\WRITE32.WPC", 1));
    EXPECT_TRUE(passes_exclusion_filter("C:\\Tools\\MSWD6_32.WPC", 1));
    EXPECT_FALSE(passes_exclusion_filter("c:\\tools\\wrdstr32.cnv", 1));
    EXPECT_FALSE(passes_exclusion_filter("c:\\tools\\wrdstr32.cnv", 0));
    EXPECT_TRUE(passes_exclusion_filter("C:\\Tools\\WRITE32.WPC", 0));
}

TEST(ExclusionFilter, LengthsAtAndBelowTheNamePlusFour) {
    EXPECT_TRUE(passes_exclusion_filter("", 0));
    EXPECT_TRUE(passes_exclusion_filter("", 1));
    EXPECT_FALSE(passes_exclusion_filter("WRITE32.WPC", 1));  // exactly n + 4
    EXPECT_TRUE(passes_exclusion_filter("WRITE32", 1));
    EXPECT_TRUE(passes_exclusion_filter("RITE32.WPC", 1));
    EXPECT_FALSE(passes_exclusion_filter("WRDSTR32.WPC", 0));
}

TEST(ExclusionFilter, SuffixOfStemExtensionUninspectedAsciiFoldingOnly) {
    EXPECT_FALSE(passes_exclusion_filter("C:\\Conv\\OLDWRITE32.CNV", 1));
    EXPECT_TRUE(passes_exclusion_filter("C:\\Conv\\OLDWRITE32.CNV", 0));
    EXPECT_FALSE(passes_exclusion_filter("C:\\Conv\\XWRDSTR32.CNV", 0));
    EXPECT_FALSE(passes_exclusion_filter("C:\\Conv\\XWRDSTR32.CNV", 1));
    EXPECT_FALSE(passes_exclusion_filter("C:\\Conv\\WRITE32.DLL", 1));
    EXPECT_FALSE(passes_exclusion_filter("C:\\Conv\\WRITE32xABC", 1));
    EXPECT_TRUE(passes_exclusion_filter("C:\\Conv\\WRITE32.WPCX", 1));
    EXPECT_FALSE(passes_exclusion_filter("C:\\Conv\\Write32.wpc", 1));
    EXPECT_FALSE(passes_exclusion_filter("C:\\Conv\\wRiTe32.wpc", 7));  // any non-zero flag
    // Bytes above 127 are never folded: 0xE9 is not "I" or "i".
    EXPECT_TRUE(passes_exclusion_filter("C:\\Conv\\WR\xC9TE32.WPC", 1));
    EXPECT_TRUE(passes_exclusion_filter("C:\\Conv\\WR\xE9TE32.WPC", 1));
}

}  // namespace
