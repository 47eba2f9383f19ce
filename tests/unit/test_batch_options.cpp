#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "batch/batch_options.h"

namespace {

struct OptionRow {
    std::vector<std::string> args;
    const char *error;  // "" when the command is fine; else a part of the message
};

const OptionRow ROWS[] = {
    {{"import", "in", "out"}, ""},
    {{"export", "in", "out", "--index", "3", "--extension", "wri"}, ""},
    {{"import", "in", "out", "--jobs", "4", "--timeout", "60", "--shard", "2/3", "--resume", "--retry-failed"}, ""},
    {{"import", "in", "out", "--jobs", "0"}, "--jobs"},
    {{"import", "in", "out", "--jobs", "two"}, "--jobs"},
    {{"import", "in", "out", "--jobs", "64"}, "--jobs"},
    {{"import", "in", "out", "--shard", "3/2"}, "--shard"},
    {{"import", "in", "out", "--shard", "0/2"}, "--shard"},
    {{"import", "in", "out", "--shard", "1/"}, "--shard"},
    {{"export", "in", "out", "--extension", "wri"}, "--index"},
    {{"export", "in", "out", "--index", "1"}, "--extension"},
    {{"export", "in", "out", "--index", "x1", "--extension", "wri"}, "--index"},
    {{"export", "in", "out", "--index", "1", "--extension", "a b"}, "--extension"},
    {{"import", "in", "out", "--index", "1"}, "for export"},
    {{"import", "in", "out", "--frobnicate"}, "unknown option --frobnicate"},
    {{"import", "in", "out", "--timeout"}, "needs a value"},
    {{"import", "in", "out", "--converters", "Z"}, "--converters"},
    {{"import", "in", "out", "--retry-failed"}, "--resume"},
    {{"convert", "in", "out"}, "unknown command"},
    {{"import", "in"}, "SOURCE and DEST"},
    {{"import", "in", "out", "extra"}, "unexpected argument"},
    {{}, "no command"},
};

TEST(BatchOptions, AcceptedAndRefusedCommands) {
    for (const OptionRow &row : ROWS) {
        BatchOptions o;
        std::string error = parse_batch_options(row.args, &o);
        std::string what = row.args.empty() ? "(none)" : row.args[0] + " ... " + row.args.back();
        if (!*row.error)
            EXPECT_EQ(error, "") << what;
        else
            EXPECT_NE(error.find(row.error), std::string::npos) << what << ": " << error;
    }
}

TEST(BatchOptions, ValuesAndDefaults) {
    BatchOptions o;
    ASSERT_EQ(parse_batch_options({"import", "C:\\in dir", "D:\\out", "--converters", "x", "--include", "*.doc",
                                   "--exclude", "*/Thumbs.db", "--exclude", "*/~$*", "--report", "r.jsonl"},
                                  &o),
              "");
    EXPECT_FALSE(o.exporting);
    EXPECT_EQ(o.source, "C:\\in dir");
    EXPECT_EQ(o.converters, "X");
    EXPECT_EQ(o.timeout_seconds, 300);
    EXPECT_EQ(o.jobs, 0);
    EXPECT_EQ(o.include, std::vector<std::string>{"*.doc"});
    EXPECT_EQ(o.exclude.size(), 2u);
    EXPECT_EQ(o.report, "r.jsonl");
    EXPECT_EQ(o.shard_n, 0);

    ASSERT_EQ(parse_batch_options({"export", "a", "b", "--index", "-2", "--extension", ".WRI", "--shard", "3/3"}, &o), "");
    EXPECT_TRUE(o.exporting);
    EXPECT_EQ(o.index, -2);
    EXPECT_EQ(o.extension, "WRI");
    EXPECT_EQ(o.converters, "Y");
    EXPECT_EQ(o.shard_k, 3);
    EXPECT_EQ(o.shard_n, 3);

    ASSERT_EQ(parse_batch_options({"--version"}, &o), "");
    EXPECT_TRUE(o.version);
}

}  // namespace
