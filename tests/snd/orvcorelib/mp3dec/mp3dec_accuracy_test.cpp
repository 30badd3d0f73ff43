// Accuracy of the decoder against mpg123's floating-point decode on fixtures made with lame:
// bit rates from 32 to 320 kbps, VBR, free format, joint, forced mid/side and plain stereo,
// mono, the MPEG-1, MPEG-2 and MPEG-2.5 rates, a -20 dBFS sweep and transients (short blocks).
// Each fixture must reach "limited accuracy" (RMS below 2^-11/sqrt(12) of full scale) with no
// sample off by more than 8 LSB; "full accuracy" (RMS below 2^-15/sqrt(12)) is reported.
#include "mp3fixtures.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace {

using mp3test::Fixture;

const std::vector<std::string> kNoise = {"2", "pinknoise", "vol", "-6dB"};

std::vector<Fixture> fixtures() {
    return {
        {"sweep_44k_128_joint", 44100, 2, {"2", "sine", "20-10000", "vol", "-20dB"}, {"-b", "128"}},
        {"noise_44k_32", 44100, 2, kNoise, {"-b", "32"}},
        {"noise_44k_320", 44100, 2, kNoise, {"-b", "320"}},
        {"noise_44k_vbr", 44100, 2, kNoise, {"-V", "2"}},
        {"noise_44k_free_400", 44100, 2, kNoise, {"--freeformat", "-b", "400"}},
        {"noise_44k_plain_stereo", 44100, 2, kNoise, {"-m", "s", "-b", "192"}},
        {"noise_44k_forced_ms", 44100, 2, kNoise, {"-m", "f", "-b", "192"}},
        {"noise_44k_mono_64", 44100, 1, kNoise, {"-m", "m", "-b", "64"}},
        {"noise_32k_96", 32000, 2, kNoise, {"-b", "96"}},
        {"noise_48k_160", 48000, 2, kNoise, {"-b", "160"}},
        {"mpeg2_22k_64", 22050, 2, kNoise, {"-b", "64"}},
        {"mpeg2_24k_48", 24000, 2, kNoise, {"-b", "48"}},
        {"mpeg2_16k_mono_32", 16000, 1, kNoise, {"-m", "m", "-b", "32"}},
        {"mpeg25_11k_32", 11025, 2, kNoise, {"-b", "32"}},
        {"mpeg25_12k_24", 12000, 2, kNoise, {"-b", "24"}},
        {"mpeg25_8k_mono_16", 8000, 1, kNoise, {"-m", "m", "-b", "16"}},
        {"transients_44k_128",
         44100,
         2,
         {"0.12", "pinknoise", "fade", "q", "0.002", "0.12", "0.1", "repeat", "12", "vol", "-3dB"},
         {"-b", "128"}},
    };
}

constexpr double kLimitedRmsLsb = 16.0 / 3.4641016151377544; // 2^-11 / sqrt(12) of full scale
constexpr double kFullRmsLsb = 1.0 / 3.4641016151377544;     // 2^-15 / sqrt(12)
constexpr double kMaxDiffLsb = 8.0;

TEST(Mp3DecAccuracy, MatchesReferenceDecoderOnEveryFixture) {
    ASSERT_TRUE(mp3test::haveTools({"sox", "lame", "mpg123"}))
        << "sox, lame and mpg123 are needed (scripts/setup)";
    orvtest::TempDir dir;
    std::printf("%-26s %6s %8s %8s %5s  %s\n", "fixture", "frames", "rms LSB", "max LSB", "lag", "accuracy");
    for (const Fixture &fx : fixtures()) {
        SCOPED_TRACE(fx.name);
        const std::string mp3 = mp3test::makeMp3(dir.path().string(), fx);
        ASSERT_FALSE(mp3.empty()) << "fixture not made";
        const std::vector<float> ref = mp3test::referenceDecode(mp3, dir.path().string());
        ASSERT_FALSE(ref.empty()) << "no reference decode";
        const mp3test::Decoded ours = mp3test::decodeStream(orvtest::readFileBytes(mp3));
        ASSERT_EQ(ours.errors, 0);
        ASSERT_EQ(ours.info.samprate, fx.rate);
        ASSERT_EQ(ours.info.nChans, fx.channels);

        const mp3test::Comparison c = mp3test::compare(ours.pcm, ref, fx.channels);
        std::printf("%-26s %6d %8.3f %8.2f %5d  %s\n", fx.name, ours.frames, c.rmsLsb, c.maxLsb, c.lag,
                    c.rmsLsb < kFullRmsLsb ? "full" : (c.rmsLsb < kLimitedRmsLsb ? "limited" : "FAILED"));
        EXPECT_EQ(c.lag, 0);
        EXPECT_GT(c.compared, ref.size() * 9 / 10);
        EXPECT_LT(c.rmsLsb, kLimitedRmsLsb);
        EXPECT_LE(c.maxLsb, kMaxDiffLsb);
    }
}

// Mid/side decoding halves nothing and doubles nothing: the same audio coded as plain and as
// mid/side stereo decodes to the same level.
TEST(Mp3DecAccuracy, MidSideAndPlainStereoDecodeToTheSameLevel) {
    ASSERT_TRUE(mp3test::haveTools({"sox", "lame"}));
    orvtest::TempDir dir;
    const std::vector<std::string> tone = {"2", "sine", "440", "sine", "660", "vol", "-10dB"};
    const Fixture plain{"level_plain", 44100, 2, tone, {"-m", "s", "-b", "256"}};
    const Fixture ms{"level_ms", 44100, 2, tone, {"-m", "f", "-b", "256"}};
    const double rmsPlain = mp3test::rmsOf(
        mp3test::decodeStream(orvtest::readFileBytes(mp3test::makeMp3(dir.path().string(), plain))).pcm);
    const double rmsMs = mp3test::rmsOf(
        mp3test::decodeStream(orvtest::readFileBytes(mp3test::makeMp3(dir.path().string(), ms))).pcm);
    ASSERT_GT(rmsPlain, 1000.0);
    EXPECT_NEAR(20 * std::log10(rmsMs / rmsPlain), 0.0, 0.05);
}

} // namespace
