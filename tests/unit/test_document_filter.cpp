#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "batch/document_filter.h"

namespace {

struct GlobRow {
    const char *pattern, *path;
    bool match;
};

const GlobRow GLOBS[] = {
    {"*.doc", "letter.doc", true},
    {"*.doc", "dir/letter.DOC", true},
    {"*.doc", "letter.docx", false},
    {"*/Thumbs.db", "Thumbs.db", true},
    {"*/Thumbs.db", "a/b/thumbs.db", true},
    {"*/Thumbs.db", "a/xThumbs.db", false},
    {"*/~$*", "dir/~$letter.doc", true},
    {"*/~$*", "dir/letter~$.doc", false},
    {"a?c", "abc", true},
    {"a?c", "a\xC3\xBC" "c", true},  // one character, two bytes
    {"a?c", "ac", false},
    {"dir\\*", "dir/x", true},
    {"**", "", true},
    {"*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
    {"\xC3\xBC*", "\xC3\xBC" "ber.doc", true},
};

TEST(Glob, Table) {
    for (const GlobRow &row : GLOBS) EXPECT_EQ(glob_match(row.pattern, row.path), row.match) << row.pattern << " " << row.path;
}

TEST(Glob, IncludeAndExclude) {
    std::vector<std::string> none, docs{"*.doc"}, thumbs{"*/Thumbs.db"}, all{"*"};
    EXPECT_TRUE(is_document("a.wpd", none, none));
    EXPECT_FALSE(is_document("a.wpd", docs, none));
    EXPECT_TRUE(is_document("a.doc", docs, none));
    EXPECT_FALSE(is_document("x/Thumbs.db", none, thumbs));
    EXPECT_FALSE(is_document("a.doc", docs, all));  // exclude wins
}

TEST(Shard, HashIsFnv1aOfUpperCasedBytes) {
    EXPECT_EQ(shard_hash(""), 0x811C9DC5u);
    EXPECT_EQ(shard_hash("a"), 0xC40BF6CCu);
    EXPECT_EQ(shard_hash("Dir/Letter.doc"), 0x5AD7A9EDu);
    // Only ASCII letters are folded.
    EXPECT_EQ(shard_hash("gr\xC3\xBC\xC3\x9F" "e/\xC3\xA9.doc"), 0x40408DBDu);
}

TEST(Shard, SharesCoverEveryDocumentOnce) {
    std::vector<std::string> paths;
    for (int i = 0; i < 500; ++i) paths.push_back("folder " + std::to_string(i % 7) + "/doc" + std::to_string(i) + ".doc");
    for (int n = 1; n <= 5; ++n) {
        for (const std::string &p : paths) {
            int owners = 0;
            for (int k = 1; k <= n; ++k) owners += in_shard(p, k, n);
            EXPECT_EQ(owners, 1) << p << " n=" << n;
        }
    }
    EXPECT_TRUE(in_shard("anything", 0, 0));  // no shard: every document
}

TEST(Order, ByUtf8Bytes) {
    std::vector<std::string> paths{"b.doc", "\xC3\xA4.doc", "a/z.doc", "A.doc", "a.doc"};
    sort_documents(&paths);
    EXPECT_EQ(paths, (std::vector<std::string>{"A.doc", "a.doc", "a/z.doc", "b.doc", "\xC3\xA4.doc"}));
}

struct DestinationRow {
    const char *relative;
    bool exporting;
    const char *destination;
};

const DestinationRow DESTINATIONS[] = {
    {"letter.doc", false, "letter.doc.rtf"},
    {"dir/letter.wpd", false, "dir/letter.wpd.rtf"},
    {"dir/letter.rtf", true, "dir/letter.wri"},
    {"dir/LETTER.RTF", true, "dir/LETTER.wri"},
    {"dir/letter.txt", true, "dir/letter.txt.wri"},
    {"dir/.rtf", true, "dir/.rtf.wri"},
    {"x.rtf/notes", true, "x.rtf/notes.wri"},
};

TEST(Destination, Table) {
    for (const DestinationRow &row : DESTINATIONS)
        EXPECT_EQ(destination_path(row.relative, row.exporting, "wri"), row.destination) << row.relative;
}

}  // namespace
