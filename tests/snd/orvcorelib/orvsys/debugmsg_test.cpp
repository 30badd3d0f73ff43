#include "orvsys/debugmsg.h"
#include "orvsys/orvconfig.h"

#include <gtest/gtest.h>

namespace {

TEST(Debugmsg, PrintsOnlyInTheDeviceConfiguration) {
    testing::internal::CaptureStdout();
    debugmsg("frame %d of %s", 7, "song");
    debugmsg("|no newline added");
    const std::string out = testing::internal::GetCapturedStdout();
    if constexpr (orv::kDeviceConfig)
        EXPECT_EQ(out, "frame 7 of song|no newline added");
    else
        EXPECT_EQ(out, "");
}

TEST(Config, AnalysisRateAndFrameSize) {
    if constexpr (orv::kDeviceConfig) {
        EXPECT_EQ(orv::kAnalysisSampleRate, 11025u);
        EXPECT_EQ(orv::kAnalysisFrameSize, 256u);
    } else {
        EXPECT_EQ(orv::kAnalysisSampleRate, 22050u);
        EXPECT_EQ(orv::kAnalysisFrameSize, 128u);
    }
    EXPECT_EQ(orv::kAnalysisVersion, 0x03010500u);
}

} // namespace
