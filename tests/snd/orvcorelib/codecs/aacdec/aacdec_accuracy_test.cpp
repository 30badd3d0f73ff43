// Decodes ffmpeg-encoded ADTS fixtures and compares the samples with faad's, aligned. faad
// takes every stream at 24 kHz or less for implicit spectral band replication and gives it at
// twice the rate, so those fixtures are compared with ffmpeg's own decoder instead.
// Gates: limited accuracy (RMS of the difference below 2^-11 / sqrt(12) of full scale) and
// at most 8 LSB anywhere; full accuracy (2^-15 / sqrt(12)) is reported. Fixtures with noise
// substitution differ by design above the encoder's noise floor frequency (each decoder has
// its own noise), so there the samples are compared below it and the band above is compared
// by energy.
#include "aac_test_support.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace aactest;

constexpr double kLimitedRms = 32768.0 * std::pow(2.0, -11) / 3.4641016151377544;
constexpr double kFullRms = 32768.0 * std::pow(2.0, -15) / 3.4641016151377544;
constexpr int kMaxDiff = 8;
constexpr double kNoiseSplitHz = 3000; // far below the fixtures' noise, high-passed at 7 kHz

enum Feature : unsigned { kShort = 1, kTns = 2, kMs = 4, kIntensity = 8, kPns = 16, kSaturates = 32 };

struct Fixture {
    const char *name;
    int rate;
    int channels;
    const char *exprs; // aevalsrc expressions, one per channel
    const char *noise; // pan expression of high-passed white noise added to the channels, or null
    const char *bitrate;
    bool pns;
    bool ms;
    bool intensity;
    unsigned mustUse; // features the decoder must meet in this fixture
};

// Tones; a transient burst train (short windows, TNS); correlated stereo (M/S); a panned
// copy (intensity); noise (noise substitution); a clipped square (output saturation).
#define TONES_L "0.3*sin(2*PI*440*t)+0.15*sin(2*PI*1250*t)+0.05*sin(2*PI*3100*t)"
#define TONES_R "0.3*sin(2*PI*660*t)+0.1*sin(2*PI*1900*t)+0.05*sin(2*PI*2700*t)"
#define BURSTS "if(lt(mod(t,0.25),0.03),0.8*sin(2*PI*2500*t)*exp(-mod(t,0.25)*120),0)+0.1*sin(2*PI*180*t)"
#define BROAD                                                                                                \
    "0.25*sin(2*PI*300*t)+0.2*sin(2*PI*2200*t+sin(2*PI*3*t))+0.12*sin(2*PI*7300*t)+0.08*sin(2*PI*11000*t)"

const Fixture kFixtures[] = {
    {"mono_tones_8000", 8000, 1, TONES_L, nullptr, "24k", false, false, false, 0},
    {"stereo_tones_11025", 11025, 2, TONES_L "|" TONES_R, nullptr, "48k", false, false, false, 0},
    {"mono_bursts_12000", 12000, 1, BURSTS, nullptr, "32k", false, false, false, kShort},
    {"stereo_tones_16000", 16000, 2, TONES_L "|" TONES_R, nullptr, "64k", false, false, false, 0},
    {"stereo_ms_22050", 22050, 2, BROAD "|0.9*(" BROAD ")+0.02*sin(2*PI*5000*t)", nullptr, "64k", false, true,
     false, kMs},
    {"mono_bursts_24000", 24000, 1, BURSTS, nullptr, "48k", false, false, false, kShort},
    {"stereo_bursts_32000", 32000, 2, BURSTS "|" BURSTS, nullptr, "96k", false, true, false, kShort},
    {"stereo_ms_44100", 44100, 2, BROAD "|0.9*(" BROAD ")+0.02*sin(2*PI*5000*t)", nullptr, "128k", false,
     true, false, kMs},
    {"stereo_intensity_44100", 44100, 2, BROAD "|0.5*(" BROAD ")", nullptr, "64k", false, true, true,
     kIntensity},
    {"stereo_bursts_48000", 48000, 2, BURSTS "|" TONES_R, nullptr, "128k", false, true, false, kShort | kTns},
    {"mono_tones_64000", 64000, 1, TONES_L, nullptr, "96k", false, false, false, 0},
    {"stereo_tones_88200", 88200, 2, TONES_L "|" TONES_R, nullptr, "160k", false, true, false, 0},
    {"mono_bursts_96000", 96000, 1, BURSTS, nullptr, "128k", false, false, false, kShort},
    {"stereo_clipped_44100", 44100, 2, "1.2*sgn(sin(2*PI*220*t))|-1.2*sgn(sin(2*PI*330*t))", nullptr, "160k",
     false, true, false, kSaturates},
    {"mono_noise_48000", 48000, 1, TONES_L, "mono|c0=c0", "64k", true, false, false, kPns},
    {"stereo_noise_44100", 44100, 2, TONES_L "|" TONES_R, "stereo|c0=c0|c1=0.8*c0", "96k", true, true, false,
     kPns},
};

struct Measured {
    double rms = 0;
    int maxDiff = 0;
};

double energy(const std::vector<double> &x) {
    double e = 0;
    for (double v : x) e += v * v;
    return e;
}

// Sample comparison below the split frequency and energy above it, for noise fixtures.
Measured compareNoiseFixture(const std::vector<short> &ours, const std::vector<short> &ref, long offset,
                             int rate, double *highBandDb) {
    std::vector<short> a, b;
    for (long i = 0; i < static_cast<long>(ref.size()); i++) {
        const long j = i + offset;
        if (j < 0 || j >= static_cast<long>(ours.size())) continue;
        a.push_back(ours[static_cast<size_t>(j)]);
        b.push_back(ref[static_cast<size_t>(i)]);
    }
    const std::vector<double> la = lowPass(a, rate, kNoiseSplitHz);
    const std::vector<double> lb = lowPass(b, rate, kNoiseSplitHz);
    Measured m;
    double sum = 0;
    std::vector<double> ha(a.size()), hb(b.size());
    // The noise's abrupt start and end are broadband and coded as noise too: the first and
    // last frame are left out of the sample comparison.
    const size_t edge = 1024;
    size_t counted = 0;
    for (size_t i = 0; i < a.size(); i++) {
        ha[i] = a[i] - la[i];
        hb[i] = b[i] - lb[i];
        if (i < edge || i + edge >= a.size()) continue;
        const double d = la[i] - lb[i];
        sum += d * d;
        counted++;
        m.maxDiff = std::max(m.maxDiff, static_cast<int>(std::ceil(std::fabs(d) - 0.5)));
    }
    m.rms = counted ? std::sqrt(sum / static_cast<double>(counted)) : 1e9;
    *highBandDb = 10 * std::log10((energy(ha) + 1) / (energy(hb) + 1));
    return m;
}

class AacAccuracy : public ::testing::TestWithParam<Fixture> {};

TEST_P(AacAccuracy, MatchesReferenceDecoder) {
    const Fixture &f = GetParam();
    const std::string ffmpeg = toolPath("ORV_FFMPEG");
    const std::string faad = toolPath("ORV_FAAD");
    ASSERT_FALSE(ffmpeg.empty()) << "ffmpeg is needed (scripts/setup installs it)";
    ASSERT_FALSE(faad.empty()) << "faad is needed (scripts/setup installs it)";

    orvtest::TempDir dir;
    const std::string aac = dir.file("fixture.aac");
    const std::string ref = dir.file("reference.raw");
    const std::string rate = std::to_string(f.rate);
    std::vector<std::string> encode = {
        ffmpeg,  "-hide_banner", "-loglevel",
        "error", "-y",           "-f",
        "lavfi", "-i",           std::string("aevalsrc=exprs='") + f.exprs + "':s=" + rate + ":d=1"};
    if (f.noise) {
        encode.insert(encode.end(),
                      {"-f", "lavfi", "-i", "anoisesrc=color=white:amplitude=0.25:seed=7:d=1:r=" + rate,
                       "-filter_complex",
                       std::string("[1]highpass=f=7000,highpass=f=7000,highpass=f=7000,highpass=f=7000,"
                                   "highpass=f=7000,highpass=f=7000,pan=") +
                           f.noise + "[n];[0][n]amix=inputs=2:normalize=0"});
    }
    encode.insert(encode.end(), {"-c:a", "aac", "-b:a", f.bitrate, "-aac_pns", f.pns ? "1" : "0", "-aac_ms",
                                 f.ms ? "auto" : "0", "-aac_is", f.intensity ? "1" : "0", "-aac_tns", "1",
                                 "-f", "adts", aac});
    ASSERT_TRUE(runTool(encode)) << f.name;
    if (f.rate > 24000) {
        ASSERT_TRUE(runTool({faad, "-q", "-b", "1", "-f", "2", "-o", ref, aac})) << f.name;
    } else {
        ASSERT_TRUE(
            runTool({ffmpeg, "-hide_banner", "-loglevel", "error", "-y", "-i", aac, "-f", "s16le", ref}))
            << f.name;
    }

    const Decoded d = decodeStream(orvtest::readFileBytes(aac));
    EXPECT_EQ(d.errors, 0);
    ASSERT_GT(d.frames, 5);
    EXPECT_EQ(d.nChans, f.channels);
    EXPECT_EQ(d.sampleRate, f.rate);
    if (f.mustUse & kShort) {
        EXPECT_GT(d.shortFrames, 0) << "no short windows in " << f.name;
    }
    if (f.mustUse & kTns) {
        EXPECT_GT(d.tnsFrames, 0) << "no TNS in " << f.name;
    }
    if (f.mustUse & kMs) {
        EXPECT_GT(d.msFrames, 0) << "no M/S in " << f.name;
    }
    if (f.mustUse & kIntensity) {
        EXPECT_GT(d.intensityFrames, 0) << "no intensity stereo in " << f.name;
    }
    if (f.mustUse & kPns) {
        EXPECT_GT(d.pnsFrames, 0) << "no noise substitution in " << f.name;
    }

    if (f.mustUse & kSaturates) {
        EXPECT_EQ(*std::max_element(d.pcm.begin(), d.pcm.end()), 32767) << f.name;
        EXPECT_EQ(*std::min_element(d.pcm.begin(), d.pcm.end()), -32768) << f.name;
    }
    // faad gives mono streams as two identical channels.
    std::vector<short> refPcm = readRawPcm(ref);
    const size_t oursPerChan = d.pcm.size() / static_cast<size_t>(f.channels);
    int refChans = f.channels;
    if (f.channels == 1 && refPcm.size() > oursPerChan * 3 / 2) refChans = 2;

    for (int ch = 0; ch < f.channels; ch++) {
        const std::vector<short> ours = channel(d.pcm, f.channels, ch);
        const std::vector<short> theirs = channel(refPcm, refChans, ch);
        const Comparison c = compareAligned(ours, theirs);
        ASSERT_GT(c.count, static_cast<long>(theirs.size()) * 9 / 10) << f.name;
        Measured m{c.rms, c.maxDiff};
        double highDb = 0;
        if (f.pns) m = compareNoiseFixture(ours, theirs, c.offset, f.rate, &highDb);
        std::printf("%-24s ch%d offset %5ld rms %7.4f max %3d  %s%s\n", f.name, ch, c.offset, m.rms,
                    m.maxDiff,
                    m.rms < kFullRms ? "full accuracy" : (m.rms < kLimitedRms ? "limited accuracy" : "FAIL"),
                    f.pns ? ("  (below " + std::to_string(static_cast<int>(kNoiseSplitHz)) +
                             " Hz; energy above differs by " + std::to_string(highDb) + " dB)")
                                .c_str()
                          : "");
        EXPECT_LT(m.rms, kLimitedRms) << f.name << " channel " << ch;
        EXPECT_LE(m.maxDiff, kMaxDiff) << f.name << " channel " << ch;
        if (f.pns) {
            EXPECT_LT(std::fabs(highDb), 0.5) << f.name << " channel " << ch;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, AacAccuracy, ::testing::ValuesIn(kFixtures),
                         [](const ::testing::TestParamInfo<Fixture> &p) {
                             return std::string(p.param.name);
                         });

} // namespace
