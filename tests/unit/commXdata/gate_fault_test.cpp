// Gate replies that once ended the agent.
#include <gtest/gtest.h>

#include "analytics_stub.h"
#include "commXdata/commXdata.h"

namespace {

TEST(GateFault, NumberBeyondDoubleRangeReadsAsMeasurementOffInsteadOfAborting)
{
    AnalyticsStub analytics(R"({"measurement": 1e999})");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(commXdata().canSend());
    analytics.Answer(R"({"other": [-1e400], "measurement": 1})");
    EXPECT_FALSE(commXdata().canSend());
    EXPECT_EQ("number out of range\nnumber out of range\n", testing::internal::GetCapturedStderr());
}

} // namespace
