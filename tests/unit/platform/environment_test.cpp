#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/environment.h"

namespace {

TEST(EnvironmentTest, OnlyANonEmptyValueReplacesTheFallback)
{
    const char* name = "TIDEWELL_TEST_ENVIRONMENT_OR";
    setenv(name, "/opt/elsewhere", 1);
    EXPECT_EQ("/opt/elsewhere", platform::EnvironmentOr(name, "/Applications"));
    setenv(name, "", 1);
    EXPECT_EQ("/Applications", platform::EnvironmentOr(name, "/Applications"));
    unsetenv(name);
    EXPECT_EQ("/Applications", platform::EnvironmentOr(name, "/Applications"));
}

} // namespace
