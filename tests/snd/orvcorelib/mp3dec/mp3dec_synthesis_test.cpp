// The polyphase synthesis: saturation at full scale, scaling of inputs with few guard bits,
// and the desktop configuration's half and quarter rates, which are the full-rate synthesis of
// the lowest 16 or 8 sub-bands at every second or fourth sample, and follow a low-passed,
// decimated full-rate decode of real streams.
#include "codecs/mp3dec/mp3common.h"
#include "mp3fixtures.h"
#include "orvsys/orvconfig.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>

namespace {

struct DecoderDeleter {
    void operator()(MP3DecInfo *d) const { MP3FreeDecoder(d); }
};
using Decoder = std::unique_ptr<MP3DecInfo, DecoderDeleter>;

Decoder stereoDecoder() {
    Decoder d(MP3InitDecoder());
    d->nChans = 2;
    return d;
}

// Fills both channels' sub-band samples below `bands` with random values of the given size.
void fillGranule(IMDCTInfo *mi, std::mt19937 &rng, int bands, s32 amplitude) {
    std::uniform_int_distribution<s32> dist(-amplitude, amplitude);
    for (int ch = 0; ch < 2; ++ch) {
        u32 magOr = 0;
        for (int i = 0; i < 18; ++i)
            for (int sb = 0; sb < 32; ++sb) {
                mi->outBuf[ch][i][sb] = sb < bands ? dist(rng) : 0;
                magOr |= lmp3_Magnitude(mi->outBuf[ch][i][sb]);
            }
        mi->gb[ch] = lmp3_GuardBits(magOr);
    }
}

TEST(Mp3DecSynthesis, FullScaleInputSaturatesInsteadOfWrapping) {
    Decoder d = stereoDecoder();
    IMDCTInfo *mi = d->IMDCTInfoPS;
    short pcm[1152];
    int top = 0, bottom = 0;
    for (int g = 0; g < 4; ++g) {
        for (int ch = 0; ch < 2; ++ch) {
            for (int i = 0; i < 18; ++i)
                for (int sb = 0; sb < 32; ++sb)
                    mi->outBuf[ch][i][sb] = ((i + sb + g) & 1) ? 0x7FFFFFFF : -0x7FFFFFFF;
            mi->gb[ch] = 0;
        }
        ASSERT_EQ(lmp3_Subband(d.get(), pcm, 1), 0);
        for (short s : pcm) {
            top += s == 32767;
            bottom += s == -32768;
        }
    }
    EXPECT_GT(top, 0);
    EXPECT_GT(bottom, 0);
}

TEST(Mp3DecSynthesis, FewGuardBitsAreScaledDownAndBack) {
    // One loud sub-band (2^26, 4 guard bits): the synthesis scales it down before the DCT.
    // The same data declared with 6 guard bits runs unscaled (it cannot overflow with a single
    // sub-band); both must give the same samples to within the dropped bits.
    Decoder scaled = stereoDecoder(), unscaled = stereoDecoder();
    short pcmScaled[1152], pcmUnscaled[1152];
    for (int g = 0; g < 3; ++g) {
        for (Decoder *d : {&scaled, &unscaled}) {
            IMDCTInfo *mi = (*d)->IMDCTInfoPS;
            std::memset(mi->outBuf, 0, sizeof mi->outBuf);
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < 18; ++i)
                    mi->outBuf[ch][i][3] =
                        static_cast<s32>(std::lround((1 << 26) * std::sin(0.9 * (18 * g + i) + ch)));
            mi->gb[0] = mi->gb[1] = d == &scaled ? 4 : 6;
        }
        ASSERT_EQ(lmp3_Subband(scaled.get(), pcmScaled, 1), 0);
        ASSERT_EQ(lmp3_Subband(unscaled.get(), pcmUnscaled, 1), 0);
        for (int i = 0; i < 1152; ++i) ASSERT_NEAR(pcmScaled[i], pcmUnscaled[i], 1) << "sample " << i;
    }
}

TEST(Mp3DecSynthesis, ReducedRatesAreTheFullRateOfTheLowSubBandsDecimated) {
    if constexpr (orv::kDeviceConfig)
        GTEST_SKIP() << "the unit's configuration synthesises stereo at full rate only";
    for (int factor : {2, 4}) {
        SCOPED_TRACE(factor);
        std::mt19937 rng(factor);
        Decoder full = stereoDecoder(), reduced = stereoDecoder();
        for (int g = 0; g < 5; ++g) {
            fillGranule(full->IMDCTInfoPS, rng, 32 / factor, 1 << 22);
            *reduced->IMDCTInfoPS = *full->IMDCTInfoPS;
            short pcmFull[1152], pcmReduced[1152];
            ASSERT_EQ(lmp3_Subband(full.get(), pcmFull, 1), 0);
            ASSERT_EQ(lmp3_Subband(reduced.get(), pcmReduced, factor), 0);
            for (int j = 0; j < 576 / factor; ++j)
                for (int ch = 0; ch < 2; ++ch)
                    ASSERT_EQ(pcmReduced[2 * j + ch], pcmFull[2 * factor * j + ch]) << "pair " << j;
        }
    }
}

TEST(Mp3DecSynthesis, ReducedRatesFollowALowPassedDecimatedDecode) {
    if constexpr (orv::kDeviceConfig)
        GTEST_SKIP() << "the unit's configuration synthesises stereo at full rate only";
    ASSERT_TRUE(mp3test::haveTools({"sox", "lame"}));
    orvtest::TempDir dir;
    const mp3test::Fixture fx{
        "tones", 44100, 2, {"2", "sine", "100-3500", "sine", "1000", "vol", "-10dB"}, {"-b", "192"}};
    const std::vector<unsigned char> mp3 = orvtest::readFileBytes(mp3test::makeMp3(dir.path().string(), fx));
    const std::vector<short> full = mp3test::decodeStream(mp3, 1).pcm;
    for (int factor : {2, 4}) {
        SCOPED_TRACE(factor);
        const std::vector<short> reduced = mp3test::decodeStream(mp3, factor).pcm;
        ASSERT_EQ(reduced.size(), full.size() / factor);
        // Windowed-sinc low pass at 0.45 of the reduced rate's band, centred (no delay).
        const int taps = 64 * factor + 1, half = taps / 2;
        std::vector<double> h(taps);
        double sum = 0;
        for (int t = 0; t < taps; ++t) {
            const double x = t - half, fc = 0.45 / factor;
            const double sinc = x == 0 ? 2 * fc : std::sin(2 * M_PI * fc * x) / (M_PI * x);
            h[t] = sinc * (0.54 - 0.46 * std::cos(2 * M_PI * t / (taps - 1)));
            sum += h[t];
        }
        const long frames = static_cast<long>(full.size() / 2);
        double err = 0, sig = 0;
        for (long j = 4096 / factor; j < static_cast<long>(reduced.size() / 2) - 4096 / factor; ++j)
            for (int ch = 0; ch < 2; ++ch) {
                double y = 0;
                for (int t = 0; t < taps; ++t) {
                    const long i = j * factor + t - half;
                    if (i >= 0 && i < frames) y += h[t] * full[2 * i + ch];
                }
                y /= sum;
                err += std::pow(reduced[2 * j + ch] - y, 2);
                sig += y * y;
            }
        const double snrDb = 10 * std::log10(sig / err);
        std::printf("factor %d: reduced-rate output within %.1f dB of the low-passed decode\n", factor,
                    snrDb);
        EXPECT_GT(snrDb, 40.0);
    }
}

} // namespace

namespace {

// Random spectra of every size up to full scale through the inverse transform and the
// synthesis, with every block type and switch between them: the guard-bit rules must keep
// every sum in range (the sanitizers watch) and the output must stay 16-bit.
TEST(Mp3DecSynthesis, RandomSpectraOfEverySizeStayInRange) {
    std::mt19937 rng(11);
    Decoder d = stereoDecoder();
    const unsigned char header[4] = {0xFF, 0xFB, 0x90, 0x00};
    ASSERT_EQ(lmp3_UnpackFrameHeader(d.get(), header), 4);
    short pcm[1152];
    for (int g = 0; g < 200; ++g) {
        const int bits = 1 + static_cast<int>(rng() % 31);
        const s32 amplitude = bits == 31 ? 0x7FFFFFFF : (s32{1} << bits);
        std::uniform_int_distribution<s32> dist(-amplitude, amplitude);
        for (int ch = 0; ch < 2; ++ch) {
            SideInfoSub &sis = d->SideInfoPS->sis[0][ch];
            sis.blockType = static_cast<int>(rng() % 4);
            sis.winSwitchFlag = sis.blockType != 0;
            sis.mixedBlock = sis.blockType == 2 ? static_cast<int>(rng() % 2) : 0;
            HuffmanInfo *hi = d->HuffmanInfoPS;
            const int nz = static_cast<int>(rng() % 577);
            u32 magOr = 0;
            for (int i = 0; i < 576; ++i) {
                hi->huffDecBuf[ch][i] = i < nz ? dist(rng) : 0;
                magOr |= lmp3_Magnitude(hi->huffDecBuf[ch][i]);
            }
            hi->nonZeroBound[ch] = nz;
            hi->gb[ch] = lmp3_GuardBits(magOr);
            ASSERT_EQ(lmp3_IMDCT(d.get(), 0, ch), 0);
            ASSERT_GE(d->IMDCTInfoPS->gb[ch], 0);
        }
        ASSERT_EQ(lmp3_Subband(d.get(), pcm, 1), 0);
    }
}

} // namespace

namespace {

// The windowing takes its coefficients from the table it is given: the decoder's own table
// is compiled into the fast routines, any other one takes a general path. Both must give the
// same samples for the same values, and a different table must change them.
TEST(Mp3DecSynthesis, GivenWindowTablesAreHonoured) {
    std::mt19937 rng(3);
    std::vector<s32> vbuf(2 * VBUF_LENGTH);
    for (s32 &v : vbuf) v = static_cast<s32>(rng()) >> (rng() % 8); // up to full scale: saturation too
    std::vector<s32> copy(lmp3_polyCoef, lmp3_polyCoef + 264);
    const std::vector<s32> zeros(264, 0);
    using Window = void (*)(short *, const s32 *, const s32 *);
    const Window windows[] = {lmp3_PolyphaseMono, lmp3_PolyphaseStereo, lmp3_PolyphaseStereoH,
                              lmp3_PolyphaseStereoQ};
    for (const Window window : windows) {
        for (int offset : {0, 3, 7, VBUF_LENGTH + 5}) {
            short own[64], given[64], silent[64];
            for (int i = 0; i < 64; ++i) own[i] = given[i] = silent[i] = 0x5A5A;
            window(own, vbuf.data() + offset, lmp3_polyCoef);
            window(given, vbuf.data() + offset, copy.data());
            window(silent, vbuf.data() + offset, zeros.data());
            for (int i = 0; i < 64; ++i) {
                ASSERT_EQ(own[i], given[i]) << "offset " << offset << " sample " << i;
                ASSERT_TRUE(silent[i] == 0 || silent[i] == 0x5A5A) << "sample " << i;
            }
        }
    }
    short own[64], given[64];
    for (int factor : {1, 2, 4}) {
        lmp3_PolyphaseStereo(own, vbuf.data() + 2, lmp3_polyCoef, factor);
        lmp3_PolyphaseStereo(given, vbuf.data() + 2, copy.data(), factor);
        for (int i = 0; i < 64 / factor; ++i) ASSERT_EQ(own[i], given[i]) << "factor " << factor;
    }
}

} // namespace
