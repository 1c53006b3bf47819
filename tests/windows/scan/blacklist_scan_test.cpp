// The blacklist scan: which files are read, what they list, scan errors.

#include "tests/windows/support/provider_test_support.h"

#include <gtest/gtest.h>

int RunChildMode(const std::string &mode)
{
    (void)mode;
    return 2;
}
