// Entry of the blacklist scan tests: runs GoogleTest, or, started with
// --child=MODE, one of the child programs the tests start.

#include "tests/windows/support/provider_test_support.h"

#include <gtest/gtest.h>

int RunChildMode(const std::string &mode);

int main(int argc, char **argv)
{
    const std::string mode = ChildMode(argc, argv);
    if (!mode.empty())
        return RunChildMode(mode);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
