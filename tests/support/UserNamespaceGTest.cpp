#include "support/UserNamespace.h"

#include <gtest/gtest.h>

namespace tessera::testing {

std::string rerunCurrentTestInUserNamespace(UserNamespace kind) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const auto status = rerunInUserNamespace(
        kind, {std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name()});
    if (!status) return status.error();
    EXPECT_EQ(*status, 0) << "the rerun in a user namespace failed (its output is above)";
    return {};
}

} // namespace tessera::testing
