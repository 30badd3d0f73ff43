// The spectral stages on hand-made input: Huffman limits, dequantiser precision and its
// clamped shifts, intensity stereo factors, and the inverse transform's overlap against a
// double-precision evaluation of the published formulas.
#include "codecs/mp3dec/mp3common.h"

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

// A decoder whose header is MPEG-1, 44.1 kHz, with the given mode.
Decoder decoderWithHeader(int sMode, int modeExt) {
    Decoder d(MP3InitDecoder());
    const unsigned char header[4] = {0xFF, 0xFB, 0x90,
                                     static_cast<unsigned char>((sMode << 6) | (modeExt << 4))};
    EXPECT_EQ(lmp3_UnpackFrameHeader(d.get(), header), 4);
    return d;
}

TEST(Mp3DecHuffman, Count1QuadrupleRunningPastTheGranuleIsDropped) {
    Decoder d = decoderWithHeader(Mono, 0);
    SideInfoSub &sis = d->SideInfoPS->sis[0][0];
    sis = SideInfoSub{};
    sis.count1TableSelect = 1; // table B: 4-bit codes, 1111 = 0 0 0 0, 0000 = 1 1 1 1 (+4 signs)
    const unsigned char data[4] = {0xF0, 0x00, 0x00, 0x00};
    int bitOffset = 0;
    EXPECT_EQ(lmp3_DecodeHuffman(d.get(), data, &bitOffset, 6, 0, 0), 0);
    EXPECT_EQ(bitOffset, 6);
    EXPECT_EQ(d->HuffmanInfoPS->nonZeroBound[0], 4);

    bitOffset = 0;
    EXPECT_EQ(lmp3_DecodeHuffman(d.get(), data, &bitOffset, 12, 0, 0), 1);
    EXPECT_EQ(d->HuffmanInfoPS->nonZeroBound[0], 8);
    for (int i = 4; i < 8; ++i) EXPECT_EQ(d->HuffmanInfoPS->huffDecBuf[0][i], 1) << "value 1 with sign bit 0";
}

TEST(Mp3DecHuffman, BigValuesAreLimitedTo576AndRegionsToTheBandTable) {
    Decoder d = decoderWithHeader(Mono, 0);
    SideInfoSub &sis = d->SideInfoPS->sis[0][0];
    sis = SideInfoSub{};
    sis.nBigvals = 511;
    sis.tableSelect[0] = sis.tableSelect[1] = sis.tableSelect[2] = 1; // "1" codes the pair 0 0
    sis.region0Count = 15;
    sis.region1Count = 7; // 15 + 7 + 2 bands lie beyond the 22 of the table
    std::vector<unsigned char> ones(80, 0xFF);
    int bitOffset = 0;
    EXPECT_EQ(lmp3_DecodeHuffman(d.get(), ones.data(), &bitOffset, 288, 0, 0), 36);
    EXPECT_EQ(d->HuffmanInfoPS->nonZeroBound[0], 576);

    // Too few bits for the big values: refused.
    bitOffset = 0;
    EXPECT_EQ(lmp3_DecodeHuffman(d.get(), ones.data(), &bitOffset, 100, 0, 0), -1);
}

TEST(Mp3DecHuffman, InvalidTablesAreRefused) {
    for (int table : {4, 14}) {
        Decoder d = decoderWithHeader(Mono, 0);
        SideInfoSub &sis = d->SideInfoPS->sis[0][0];
        sis = SideInfoSub{};
        sis.nBigvals = 2;
        sis.tableSelect[0] = table;
        const unsigned char data[8] = {};
        int bitOffset = 0;
        EXPECT_EQ(lmp3_DecodeHuffman(d.get(), data, &bitOffset, 32, 0, 0), -1) << table;
    }
}

double expectedDequant(int mag, int exponentQuarters) {
    // Q23 of full scale with the sqrt(2) the non-mid/side gain carries.
    return std::pow(mag, 4.0 / 3.0) * std::pow(2.0, exponentQuarters / 4.0) * std::pow(2.0, 23.5);
}

TEST(Mp3DecDequant, PowerLawMatchesTheFormulaOverTheWholeRange) {
    Decoder d = decoderWithHeader(Mono, 0);
    SideInfoSub sis{};
    ScaleFactorInfoSub sfis{};
    CriticalBandInfo cbi{};
    s32 work[198];
    for (int gain : {60, 100, 130, 150, 171}) {
        SCOPED_TRACE(gain);
        sis.globalGain = gain;
        s32 buf[576];
        int mags[576];
        for (int i = 0; i < 576; ++i) {
            mags[i] = i < 64 ? i : 64 + (i - 64) * 16;
            buf[i] = static_cast<s32>(static_cast<u32>(mags[i]) | ((i & 1) ? 0x80000000u : 0));
        }
        int nz = 576;
        lmp3_DequantChannel(buf, work, &nz, d->FrameHeaderPS, &sis, &sfis, &cbi);
        for (int i = 0; i < 576; ++i) {
            const double want = expectedDequant(mags[i], gain - 210);
            if (want >= 2147483647.0) continue;
            const double got = (i & 1) ? -buf[i] : buf[i];
            EXPECT_LE(std::fabs(got - want), 1.0 + want * 1e-7) << "magnitude " << mags[i];
        }
    }
}

TEST(Mp3DecDequant, ExtremeExponentsSaturateOrVanish) {
    Decoder d = decoderWithHeader(Mono, 0);
    SideInfoSub sis{};
    ScaleFactorInfoSub sfis{};
    CriticalBandInfo cbi{};
    s32 work[198];
    struct Case {
        int gain, sf, sfactScale, mag;
        s32 expected;
    };
    const Case cases[] = {
        {255, 0, 0, 8206, 0x7FFFFFFF},                             // shift far past 31 to the left
        {255, 0, 0, 1, 0x7FFFFFFF},    {0, 0, 0, 1, 0},            // shift far past 31 to the right
        {0, 15, 1, 8206, 0},           {210 - 92 - 2, 0, 0, 1, 1}, // exactly 1.0 in the output's unit
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.gain);
        sis.globalGain = c.gain;
        sis.sfactScale = c.sfactScale;
        sfis.l[0] = static_cast<u8>(c.sf);
        s32 buf[576] = {};
        buf[0] = c.mag;
        buf[1] = static_cast<s32>(static_cast<u32>(c.mag) | 0x80000000u);
        int nz = 2;
        lmp3_DequantChannel(buf, work, &nz, d->FrameHeaderPS, &sis, &sfis, &cbi);
        EXPECT_EQ(buf[0], c.expected);
        EXPECT_EQ(buf[1], -c.expected);
    }
}

TEST(Mp3DecStereo, IntensityPositionsSplitTheLeftChannel) {
    struct Case {
        int modeExt, pos;
        double left, right; // of the left input
    };
    const double r3 = 0.5;
    const Case cases[] = {
        {1, 0, 0.0, 1.0},
        {1, 3, r3, r3},
        {1, 6, 1.0, 0.0},
        {1, 7, 1.0, 0.0}, // 7: plain stereo
        {3, 0, 0.0, std::sqrt(2.0)},
        {3, 3, r3 * std::sqrt(2.0), r3 * std::sqrt(2.0)},
        {3, 7, 1.0, 1.0}, // 7 with mid/side: mid in both
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "modeExt " << c.modeExt << " pos " << c.pos);
        Decoder d = decoderWithHeader(Joint, c.modeExt);
        static s32 x[2][576];
        std::memset(x, 0, sizeof x);
        for (int i = 0; i < 576; ++i) x[0][i] = 1 << 24;
        ScaleFactorInfoSub sfis{};
        for (int b = 0; b < 21; ++b) sfis.l[b] = static_cast<u8>(c.pos);
        CriticalBandInfo cbi[2] = {};
        u32 mOut[2] = {};
        lmp3_IntensityProcMPEG1(x, 576, d->FrameHeaderPS, &sfis, cbi, c.modeExt >> 1, 0, mOut);
        EXPECT_NEAR(x[0][100] / double(1 << 24), c.left, 1e-6);
        EXPECT_NEAR(x[1][100] / double(1 << 24), c.right, 1e-6);
        EXPECT_NEAR(x[0][575] / double(1 << 24), c.left, 1e-6) << "top band takes the position below";
    }
}

TEST(Mp3DecStereo, Mpeg2IntensityPositionsAndTheIllegalOne) {
    // MPEG-2 at 22.05 kHz, intensity stereo only; all long bands in one partition of 2-bit
    // positions, so position 3 is the illegal one.
    Decoder d(MP3InitDecoder());
    const unsigned char header[4] = {0xFF, 0xF3, 0x90, (Joint << 6) | (1 << 4)};
    ASSERT_EQ(lmp3_UnpackFrameHeader(d.get(), header), 4);
    const double io = std::pow(2.0, -0.25); // intensity scale 0
    struct Case {
        int pos;
        double left, right;
    };
    const Case cases[] = {{0, 1.0, 1.0}, {1, io, 1.0}, {2, 1.0, io}, {3, 1.0, 0.0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pos);
        static s32 x[2][576];
        std::memset(x, 0, sizeof x);
        for (int i = 0; i < 576; ++i) x[0][i] = 1 << 24;
        ScaleFactorInfoSub sfis{};
        for (int b = 0; b < 21; ++b) sfis.l[b] = static_cast<u8>(c.pos);
        ScaleFactorJS sfjs{};
        sfjs.slen[0] = 2;
        sfjs.nr[0] = 21;
        CriticalBandInfo cbi[2] = {};
        u32 mOut[2] = {};
        lmp3_IntensityProcMPEG2(x, 576, d->FrameHeaderPS, &sfis, cbi, &sfjs, 0, 0, mOut);
        EXPECT_NEAR(x[0][300] / double(1 << 24), c.left, 1e-6);
        EXPECT_NEAR(x[1][300] / double(1 << 24), c.right, 1e-6);
    }
}

// The published hybrid transform of one sub-band in double precision: alias reduction over
// the whole spectrum (long blocks), then the 36-point inverse MDCT with the normal window or
// three 12-point ones with the short window, placed in 36 values (first half: this granule's
// output with a silent past; second half: what the next granule adds).
void referenceHybrid(std::vector<double> xr, int sb, bool shortBlocks, double *y36) {
    static const double ci[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
    if (!shortBlocks) {
        for (int b = 1; b < 32; ++b)
            for (int i = 0; i < 8; ++i) {
                const double cs = 1 / std::sqrt(1 + ci[i] * ci[i]), ca = ci[i] * cs;
                const double a = xr[18 * b - 1 - i], c = xr[18 * b + i];
                xr[18 * b - 1 - i] = a * cs - c * ca;
                xr[18 * b + i] = c * cs + a * ca;
            }
    }
    const double *X = xr.data() + 18 * sb;
    for (int i = 0; i < 36; ++i) y36[i] = 0;
    if (!shortBlocks) {
        for (int i = 0; i < 36; ++i) {
            double s = 0;
            for (int k = 0; k < 18; ++k) s += X[k] * std::cos(M_PI / 72 * (2 * i + 19) * (2 * k + 1));
            y36[i] = s * std::sin(M_PI / 36 * (i + 0.5));
        }
        return;
    }
    for (int w = 0; w < 3; ++w)
        for (int i = 0; i < 12; ++i) {
            double s = 0;
            for (int k = 0; k < 6; ++k) s += X[3 * k + w] * std::cos(M_PI / 24 * (2 * i + 7) * (2 * k + 1));
            y36[6 + 6 * w + i] += s * std::sin(M_PI / 12 * (i + 0.5));
        }
}

TEST(Mp3DecImdct, SilentGranuleAfterALoudOnePlaysTheOverlapThenNothing) {
    for (bool shortBlocks : {false, true}) {
        SCOPED_TRACE(shortBlocks ? "short blocks" : "long blocks");
        Decoder d = decoderWithHeader(Mono, 0);
        SideInfoSub &sis = d->SideInfoPS->sis[0][0];
        sis = SideInfoSub{};
        sis.blockType = shortBlocks ? 2 : 0;
        sis.winSwitchFlag = shortBlocks;
        HuffmanInfo *hi = d->HuffmanInfoPS;
        IMDCTInfo *mi = d->IMDCTInfoPS;

        // Loud granule in the dequantiser's format (Q23 x sqrt(2)) over sub-bands 0..7.
        std::vector<double> xr(576, 0.0);
        u32 magOr = 0;
        for (int i = 0; i < 144; ++i) {
            xr[i] = 0.3 * std::sin(0.37 * i + 0.2);
            hi->huffDecBuf[0][i] = static_cast<s32>(std::lround(xr[i] * std::sqrt(2.0) * (1 << 23)));
            magOr |= lmp3_Magnitude(hi->huffDecBuf[0][i]);
        }
        hi->nonZeroBound[0] = 144;
        hi->gb[0] = lmp3_GuardBits(magOr);
        ASSERT_EQ(lmp3_IMDCT(d.get(), 0, 0), 0);
        s32 first[18][32];
        std::memcpy(first, mi->outBuf[0], sizeof first);

        std::memset(hi->huffDecBuf, 0, sizeof hi->huffDecBuf);
        hi->nonZeroBound[0] = 0;
        hi->gb[0] = 31;
        sis.blockType = 0;
        sis.winSwitchFlag = 0;
        ASSERT_EQ(lmp3_IMDCT(d.get(), 0, 0), 0);
        for (int sb = 0; sb < 9; ++sb) {
            double y[36];
            referenceHybrid(xr, sb, shortBlocks, y);
            for (int i = 0; i < 18; ++i) {
                const double inv = ((sb & 1) && (i & 1)) ? -1 : 1;
                EXPECT_NEAR(first[i][sb], inv * y[i] * (1 << 23), 4.0) << "sub-band " << sb << " value " << i;
                EXPECT_NEAR(mi->outBuf[0][i][sb], inv * y[18 + i] * (1 << 23), 4.0)
                    << "overlap, sub-band " << sb << " value " << i;
            }
        }

        ASSERT_EQ(lmp3_IMDCT(d.get(), 0, 0), 0);
        for (int i = 0; i < 18; ++i)
            for (int sb = 0; sb < 32; ++sb) EXPECT_EQ(mi->outBuf[0][i][sb], 0);
        EXPECT_EQ(mi->numPrevIMDCT[0], 0);
    }
}

TEST(Mp3DecImdct, FullScaleInputWithoutGuardBitsSaturates) {
    for (int blockType : {0, 1, 2, 3}) {
        SCOPED_TRACE(blockType);
        Decoder d = decoderWithHeader(Mono, 0);
        SideInfoSub &sis = d->SideInfoPS->sis[0][0];
        sis = SideInfoSub{};
        sis.blockType = blockType;
        sis.winSwitchFlag = blockType != 0;
        HuffmanInfo *hi = d->HuffmanInfoPS;
        for (int round = 0; round < 3; ++round) {
            for (int i = 0; i < 576; ++i)
                hi->huffDecBuf[0][i] = ((i * 7 + round) % 3) ? 0x7FFFFFFF : -0x7FFFFFFF;
            hi->nonZeroBound[0] = 576;
            hi->gb[0] = 0;
            ASSERT_EQ(lmp3_IMDCT(d.get(), 0, 0), 0);
        }
        EXPECT_GE(d->IMDCTInfoPS->gb[0], 0);
    }
}

} // namespace

namespace {

// Random granules through dequantisation, both stereo tools and the inverse transform, with
// gains, scale factors and block types over their whole ranges: every shift is clamped and
// every sum stays in range (the sanitizers watch), and the tools keep their bounds.
TEST(Mp3DecStages, RandomGranulesOverTheWholeParameterRange) {
    std::mt19937 rng(5);
    for (int version : {0, 1}) {
        for (int g = 0; g < 150; ++g) {
            Decoder d(MP3InitDecoder());
            const unsigned char header[4] = {0xFF, static_cast<unsigned char>(version == 0 ? 0xFB : 0xF3),
                                             0x90,
                                             static_cast<unsigned char>((Joint << 6) | ((rng() % 4) << 4))};
            ASSERT_EQ(lmp3_UnpackFrameHeader(d.get(), header), 4);
            const int blockType = static_cast<int>(rng() % 4);
            const int mixed = blockType == 2 ? static_cast<int>(rng() % 2) : 0;
            for (int ch = 0; ch < 2; ++ch) {
                SideInfoSub &sis = d->SideInfoPS->sis[0][ch];
                sis.globalGain = static_cast<int>(rng() % 256);
                sis.sfactScale = static_cast<int>(rng() % 2);
                sis.preFlag = static_cast<int>(rng() % 2);
                sis.blockType = blockType;
                sis.winSwitchFlag = blockType != 0;
                sis.mixedBlock = mixed;
                for (int w = 0; w < 3; ++w) sis.subBlockGain[w] = static_cast<int>(rng() % 8);
                ScaleFactorInfoSub &sf = d->ScaleFactorInfoPS->sfis[0][ch];
                for (auto &v : sf.l) v = static_cast<u8>(rng() % 32);
                for (auto &band : sf.s)
                    for (auto &v : band) v = static_cast<u8>(rng() % 32);
                const int nz = static_cast<int>(rng() % 577);
                for (int i = 0; i < 576; ++i) {
                    const u32 mag = i < nz ? (rng() % 4 == 0 ? rng() % 8207 : rng() % 16) : 0;
                    // Sign-magnitude as the Huffman stage writes it: zeros carry no sign.
                    const u32 sign = mag ? (rng() & 1) : 0;
                    d->HuffmanInfoPS->huffDecBuf[ch][i] = static_cast<s32>(mag | (sign << 31));
                }
                d->HuffmanInfoPS->nonZeroBound[ch] = nz;
            }
            ScaleFactorJS &js = d->ScaleFactorInfoPS->sfjs;
            js.intensityScale = static_cast<int>(rng() % 2);
            for (int p = 0; p < 4; ++p) {
                js.slen[p] = static_cast<int>(rng() % 6);
                js.nr[p] = static_cast<int>(rng() % 19);
            }
            d->nChans = 2;
            ASSERT_EQ(lmp3_Dequantize(d.get(), 0), 0);
            for (int ch = 0; ch < 2; ++ch) {
                EXPECT_GE(d->HuffmanInfoPS->gb[ch], 0);
                EXPECT_LE(d->HuffmanInfoPS->nonZeroBound[ch], 576);
                ASSERT_EQ(lmp3_IMDCT(d.get(), 0, ch), 0);
            }
        }
    }
}

} // namespace
