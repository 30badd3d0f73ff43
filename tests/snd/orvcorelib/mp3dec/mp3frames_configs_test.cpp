// The unit's and the desktop build of the decoder give the same samples at full rate: both
// builds of mp3frames decode the same fixtures and their outputs are compared byte for byte.
#include "mp3fixtures.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

namespace {

TEST(Mp3FramesConfigs, DeviceAndDesktopBuildsDecodeIdentically) {
    ASSERT_TRUE(mp3test::haveTools({"sox", "lame"}));
    orvtest::TempDir dir;
    const std::vector<mp3test::Fixture> fixtures = {
        {"joint_44k", 44100, 2, {"1.5", "pinknoise", "vol", "-6dB"}, {"-b", "128"}},
        {"mono_22k", 22050, 1, {"1.5", "sine", "50-9000", "vol", "-3dB"}, {"-m", "m", "-b", "48"}},
        {"short_blocks_48k",
         48000,
         2,
         {"0.1", "pinknoise", "fade", "q", "0.002", "0.1", "0.08", "repeat", "10"},
         {"-b", "160"}},
    };
    const std::string tools = std::string(ORV_BINARY_DIR) + "/tools/";
    for (const auto &fx : fixtures) {
        SCOPED_TRACE(fx.name);
        const std::string mp3 = mp3test::makeMp3(dir.path().string(), fx);
        ASSERT_FALSE(mp3.empty());
        const std::string device = dir.file(std::string(fx.name) + ".device.raw");
        const std::string desktop = dir.file(std::string(fx.name) + ".desktop.raw");
        ASSERT_EQ(mp3test::run({tools + "mp3frames", "-q", mp3, device}), 0);
        ASSERT_EQ(mp3test::run({tools + "mp3frames-desktop", "-q", mp3, desktop}), 0);
        const auto a = orvtest::readFileBytes(device), b = orvtest::readFileBytes(desktop);
        EXPECT_GT(a.size(), 40000u);
        EXPECT_TRUE(a == b) << "outputs differ";
    }
}

} // namespace
