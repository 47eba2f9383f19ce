#include <gtest/gtest.h>

#include "win_test_support.h"

int main(int argc, char **argv) {
    dvtest::parse_test_args(&argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
