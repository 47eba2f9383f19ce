// Request handling end to end: modes, request files, status files, exit codes.
#include <gtest/gtest.h>

#include "win_test_support.h"

using namespace dvtest;

namespace {

const DWORD EXIT_NOT_TAKEN = 4294967281u;  // -15

TEST(Requests, MissingRequestFileGetsStatusFileAndMinus15) {
    RegistryScope reg;
    ScratchDir dir;
    std::string req = dir.file("nothere.req");
    EXPECT_EQ(run_docvane_tail(req), EXIT_NOT_TAKEN);
    EXPECT_EQ(read_file(req), "\n-15\n");
}

TEST(Requests, ListRequestWithoutConvertersWritesEmptySections) {
    RegistryScope reg;
    ScratchDir dir;
    std::string req = dir.file("list.req");
    ASSERT_TRUE(write_file(req, "\\\\\\\\-1-1\r\n"));
    EXPECT_EQ(run_docvane_tail(req), 0u);
    EXPECT_EQ(read_file(req), "\n\n");
}

}  // namespace
