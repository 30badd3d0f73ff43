// Life cycle, buffer, writer, positions, read sizes and the whole-frame reader.
#include "resampler_test_support.h"

#include <climits>
#include <numeric>

namespace {

using orvtest::Reader;

constexpr s32 kOne = 0x4000;

struct Owned {
    explicit Owned(resampler_struct *p) : r(p) {}
    ~Owned() { resampler_destroy(r); }
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    resampler_struct *r;
};

TEST(ResamplerNew, RefusesBadChannelCountsAndOverlongWindows) {
    EXPECT_EQ(resampler_new(0, LINEAR, 1, 4, 8, 0), nullptr);
    EXPECT_EQ(resampler_new(3, LINEAR, 1, 4, 8, 0), nullptr);
    EXPECT_EQ(resampler_new(2, FIRSINCWIN, 1, 4, RESAMPLER_MAX_HALF_LEN + 1, 0), nullptr);
    EXPECT_EQ(resampler_new(2, FIRSINCWIN, 1, 4, 0x80000000u, 0), nullptr);
    Owned ok(resampler_new(2, FIRSINCWIN, 1, 4, RESAMPLER_MAX_HALF_LEN, 0));
    EXPECT_NE(ok.r, nullptr);
    EXPECT_EQ(resampler_destroy(nullptr), nullptr);
}

TEST(ResamplerNew, StartsWithDefaultDelaysRateAndNoBuffer) {
    Owned deck(resampler_new(2, FIRSINCTAB2, 1, 4, 8, 0));
    resampler_struct *r = deck.r;
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->pBuffer, nullptr);
    EXPECT_EQ(r->iBufferSize, 0u);
    EXPECT_EQ(r->iInitDelay[0], 49u);
    EXPECT_EQ(r->iInitDelay[1], 49u);
    EXPECT_EQ(r->fRate, kOne);
    EXPECT_EQ(r->lowerBound, -1);
    EXPECT_EQ(r->upperBound, -1);
    EXPECT_EQ(r->iWPtr, -1);
    EXPECT_EQ(r->iAPtr, 0);
    EXPECT_EQ(r->fRPtrInp, -50 * kOne);
    EXPECT_EQ(r->iAPtrInp, -50);
    EXPECT_EQ(r->iAPtrNInp, -50);
    EXPECT_EQ(r->iRPtrNInp, -50);
    EXPECT_EQ(r->iFilterHalfLen, 8u);
    EXPECT_EQ(r->pB, nullptr) << "the two-stage stereo kernel has no taps";
    EXPECT_NE(r->pGrid, nullptr);

    Owned table(resampler_new(1, FIRSINCTAB, 0, 9, 9, 3));
    EXPECT_EQ(table.r->iFilterHalfLen, 6u);
    EXPECT_EQ(table.r->iFilterNumPhases, 4u);
    EXPECT_NE(table.r->pB, nullptr);
    Owned mono(resampler_new(1, FIRSINCTAB2, 1, 4, 8, 0));
    EXPECT_NE(mono.r->pB, nullptr) << "one channel reads through the table FIR";
    EXPECT_EQ(mono.r->pGrid, nullptr);
}

TEST(ResamplerNew, MethodOutsideTheEnumerationReadsNothing) {
    Owned odd(resampler_new(2, static_cast<resampler_method>(9), 1, 4, 8, 0));
    ASSERT_NE(odd.r, nullptr);
    EXPECT_EQ(odd.r->fp, nullptr);
    std::vector<audio16> buffer(2 * 64, 100);
    ASSERT_EQ(resampler_setBuffer(odd.r, 0, 0, buffer.data(), 64), 0);
    std::vector<audio16> out(2 * 16, 0x5555);
    EXPECT_EQ(resampler_readInp(odd.r, out.data(), 16), 0);
    EXPECT_EQ(out, std::vector<audio16>(out.size(), 0));
}

TEST(ResamplerSetBuffer, ResetsBothReadersToTheirDelays) {
    Owned o(resampler_new(1, NEAREST, 1, 4, 8, 0));
    std::vector<audio16> buffer(100);
    std::iota(buffer.begin(), buffer.end(), 0);
    resampler_setRateInp(o.r, -3 * kOne);
    resampler_setBoundsInp(o.r, 3, 9);
    ASSERT_EQ(resampler_setBuffer(o.r, 3, 5, buffer.data(), 100), 0);
    EXPECT_EQ(o.r->fRate, kOne);
    EXPECT_EQ(o.r->lowerBound, -1);
    EXPECT_EQ(o.r->upperBound, -1);
    EXPECT_EQ(o.r->fRPtrInp, -4 * kOne);
    EXPECT_EQ(o.r->iAPtrInp, -4);
    EXPECT_EQ(o.r->iAPtrNInp, -6);
    EXPECT_EQ(o.r->iRPtrNInp, 94);
    EXPECT_EQ(o.r->iInitDelay[0], 3u);
    EXPECT_EQ(o.r->iInitDelay[1], 5u);
    // The first read wraps the negative position to the buffer's end.
    std::vector<audio16> out(5);
    EXPECT_EQ(resampler_readInp(o.r, out.data(), 5), 5);
    EXPECT_EQ(out, (std::vector<audio16>{97, 98, 99, 0, 1}));
    // A negative whole-frame delay keeps its position without the buffer added.
    ASSERT_EQ(resampler_setBuffer(o.r, 0, -3, buffer.data(), 100), 0);
    EXPECT_EQ(o.r->iRPtrNInp, 2);
}

TEST(ResamplerSetBuffer, RefusesSizesAndDelaysBeyondQ14Positions) {
    Owned o(resampler_new(2, FIRSINCTAB2, 1, 4, 8, 0));
    std::vector<audio16> buffer(2 * 64);
    ASSERT_EQ(resampler_setBuffer(o.r, 0, 0, buffer.data(), 64), 0);
    EXPECT_EQ(resampler_setBuffer(o.r, 0, 0, buffer.data(), RESAMPLER_MAX_BUFFER_FRAMES + 1), -1);
    EXPECT_EQ(resampler_setBuffer(o.r, 0, 0, nullptr, 0xFFFFFFFFu), -1);
    EXPECT_EQ(resampler_setBuffer(o.r, INT_MAX, 0, buffer.data(), 64), -1);
    EXPECT_EQ(resampler_setBuffer(o.r, 0, INT_MIN, buffer.data(), 64), -1);
    EXPECT_EQ(o.r->pBuffer, buffer.data());
    EXPECT_EQ(o.r->iBufferSize, 64u);
    EXPECT_EQ(resampler_setBuffer(nullptr, 0, 0, buffer.data(), 64), -1);
}

TEST(ResamplerSetBuffer, InternalBufferIsSilentAndGrowsWhenAskedForMore) {
    Owned o(resampler_new(2, LINEAR, 1, 4, 8, 0));
    ASSERT_EQ(resampler_setBuffer(o.r, 0, 0, nullptr, 100), 0);
    ASSERT_NE(o.r->pInternalBuffer, nullptr);
    EXPECT_EQ(o.r->pBuffer, o.r->pInternalBuffer);
    std::vector<audio16> loud(2 * 100, 20000);
    resampler_write(o.r, loud.data(), 100);
    // Every call clears it, and a larger size reallocates it.
    ASSERT_EQ(resampler_setBuffer(o.r, 0, 0, nullptr, 1000), 0);
    EXPECT_EQ(o.r->iBufferSize, 1000u);
    EXPECT_EQ(o.r->iInternalBufferSize, 1000u);
    resampler_setFractionalOffsetInp(o.r, 995 * kOne);
    std::vector<audio16> out(2 * 10, 0x5555);
    EXPECT_EQ(resampler_readInp(o.r, out.data(), 10), 10);
    EXPECT_EQ(out, std::vector<audio16>(out.size(), 0));
    // A smaller size reuses the larger block.
    const audio16 *block = o.r->pInternalBuffer;
    ASSERT_EQ(resampler_setBuffer(o.r, 0, 0, nullptr, 10), 0);
    EXPECT_EQ(o.r->pInternalBuffer, block);
    EXPECT_EQ(o.r->iBufferSize, 10u);
    EXPECT_EQ(o.r->iInternalBufferSize, 1000u);
}

TEST(ResamplerWrite, AppendsCircularlyAndKeepsTheLastBufferOfALongWrite) {
    Owned o(resampler_new(1, NEAREST, 1, 4, 8, 0));
    std::vector<audio16> buffer(8, -1);
    ASSERT_EQ(resampler_setBuffer(o.r, 0, 0, buffer.data(), 8), 0);
    std::vector<audio16> in(20);
    std::iota(in.begin(), in.end(), 1);
    EXPECT_EQ(resampler_write(o.r, in.data(), 6), 0);
    EXPECT_EQ(o.r->iWPtr, 5);
    EXPECT_EQ(resampler_write(o.r, in.data() + 6, 4), 0); // 7..10, wrapping after frame 7
    EXPECT_EQ(buffer, (std::vector<audio16>{9, 10, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(o.r->iWPtr, 1);
    EXPECT_EQ(resampler_write(o.r, in.data(), 19), 0); // only 12..19 survive
    EXPECT_EQ(buffer, (std::vector<audio16>{15, 16, 17, 18, 19, 12, 13, 14}));
    EXPECT_EQ(o.r->iWPtr, 4);
    EXPECT_EQ(o.r->iAPtr, 29);
    // Nothing to write into, or nothing to write.
    EXPECT_EQ(resampler_write(o.r, nullptr, 5), 0);
    EXPECT_EQ(o.r->iAPtr, 29);
    Owned bare(resampler_new(1, NEAREST, 1, 4, 8, 0));
    EXPECT_EQ(resampler_write(bare.r, in.data(), 5), 0);
    EXPECT_EQ(bare.r->iAPtr, 0);
}

TEST(ResamplerPosition, OffsetsAndDelaysBeyondTheBufferAreRefused) {
    Owned o(resampler_new(2, FIRSINCTAB2, 1, 4, 8, 0));
    std::vector<audio16> buffer(2 * 64);
    ASSERT_EQ(resampler_setBuffer(o.r, 0, 0, buffer.data(), 64), 0);
    std::vector<audio16> in(2 * 10);
    resampler_write(o.r, in.data(), 10); // last frame written: 9
    EXPECT_EQ(resampler_setFractionalOffsetInp(o.r, 63 * kOne + 0x3FFF), 0);
    EXPECT_EQ(o.r->fRPtrInp, 63 * kOne + 0x3FFF);
    EXPECT_EQ(o.r->iAPtrInp, 63);
    EXPECT_EQ(resampler_setFractionalOffsetInp(o.r, 64 * kOne), -1);
    EXPECT_EQ(resampler_setFractionalOffsetInp(o.r, 0xFFFFFFFFu), -1);
    EXPECT_EQ(resampler_setOffsetInp(o.r, 64), -1);
    EXPECT_EQ(resampler_setOffsetInp(o.r, 0xFFFFFFFFu), -1);
    EXPECT_EQ(o.r->fRPtrInp, 63 * kOne + 0x3FFF);
    EXPECT_EQ(resampler_setOffsetInp(o.r, 5), 0);
    EXPECT_EQ(o.r->fRPtrInp, 5 * kOne);
    EXPECT_EQ(o.r->iAPtrInp, 5);
    struct Case {
        s32 delay;
        s32 result, position, absolute;
    };
    const Case cases[] = {
        {3, 0, 6 * kOne, 7}, {12, 0, 61 * kOne, -2}, {63, 0, 10 * kOne, -53}, {64, -1, 0, 0}, {-1, -1, 0, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.delay);
        resampler_setOffsetInp(o.r, 0);
        EXPECT_EQ(resampler_setDelayInp(o.r, c.delay), c.result);
        EXPECT_EQ(o.r->fRPtrInp, c.position);
        EXPECT_EQ(o.r->iAPtrInp, c.absolute);
    }
}

TEST(ResamplerReadSize, InputFramesNeededPerMethodAndRate) {
    struct Case {
        resampler_method method;
        s32 rate;
        s32 frames;
    };
    const Case cases[] = {
        {FIRSINCTAB2, kOne, 269}, // 256 + 1 + 12
        {FIRSINCTAB2, -kOne, 269},    {NEAREST, kOne, 259},    {LINEAR, kOne, 259},
        {THREEPT, kOne, 260},         {FIRSINCTAB, kOne, 265}, {FIRSINCTAB, kOne / 2, 137},
        {FIRSINCTAB, 2 * kOne, 527},  // 512 + 1 + 2 + 24/2
        {FIRSINCTAB, 0x43D7, 282},    // 271 + 1 + 2 + 24/3
        {FIRSINCTAB, 8 * kOne, 2075}, // 2048 + 1 + 2 + 24
        {FIRSINCWIN, kOne, 267},      {FIRSINCTAB2, 0, 13},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.method << " at " << c.rate);
        Owned o(resampler_new(2, c.method, 1, 4, 8, 0));
        std::vector<audio16> buffer(2 * 4096);
        ASSERT_EQ(resampler_setBuffer(o.r, 0, 0, buffer.data(), 4096), 0);
        ASSERT_EQ(resampler_setFractionalOffsetInp(o.r, 0), 0);
        EXPECT_EQ(resampler_getNumSamplesForRead(o.r, 256, c.rate), c.frames);
    }
}

TEST(ResamplerReadSize, CountsFromTheFractionalPositionAndTheDelay) {
    Owned o(resampler_new(2, FIRSINCTAB2, 1, 4, 8, 0));
    std::vector<audio16> buffer(2 * 4096);
    ASSERT_EQ(resampler_setBuffer(o.r, 7, 0, buffer.data(), 4096), 0);
    EXPECT_EQ(resampler_getNumSamplesForRead(o.r, 256, kOne), 248 + 8 + 1 + 7 + 12);
    ASSERT_EQ(resampler_setFractionalOffsetInp(o.r, 5 * kOne + 0x2000), 0);
    EXPECT_EQ(resampler_getNumSamplesForRead(o.r, 256, kOne), 261 - 5 + 1 + 7 + 12);
    // Sizes far beyond any buffer neither overflow nor go negative.
    EXPECT_EQ(resampler_getNumSamplesForRead(o.r, INT_MAX, INT_MIN), INT_MAX);
    EXPECT_EQ(resampler_getNumSamplesForRead(o.r, -100000, kOne), 0);
    EXPECT_EQ(resampler_getNumSamplesForRead(nullptr, 256, kOne), 0);
}

TEST(ResamplerRead, FrameCountAdvancesByTheFramesRead) {
    Reader reader({LINEAR, 2, "linear", 1, 0}, 1024);
    reader.read(10 * kOne + 0x2000, 3 * kOne / 2, 100);
    EXPECT_EQ(reader.r->iAPtrInp, 10 + ((0x2000 + 0x6000 * 100) >> 14));
    EXPECT_EQ(reader.r->fRPtrInp, 10 * kOne + 0x2000 + 0x6000 * 100);
    reader.read(10 * kOne + 0x2000, -3 * kOne / 2, 4);
    EXPECT_EQ(reader.r->iAPtrInp, 10 + ((0x2000 - 0x6000 * 4) >> 14));
}

TEST(ResamplerWholeFrameReader, CopiesNewFramesWithOverlap) {
    Owned o(resampler_new(2, FIRSINCTAB2, 1, 4, 8, 0));
    std::vector<audio16> buffer(2 * 256);
    ASSERT_EQ(resampler_setBuffer(o.r, 0, 0, buffer.data(), 256), 0);
    std::vector<audio16> in(2 * 512);
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<audio16>(i / 2 * (i % 2 ? -1 : 1));
    resampler_write(o.r, in.data(), 64);
    std::vector<audio16> out(2 * 32);
    auto frame = [&](int k) { return out[2 * k]; };
    EXPECT_EQ(resampler_readNInp(o.r, out.data(), 32, 0), 0);
    EXPECT_EQ(frame(0), 0);
    EXPECT_EQ(frame(31), 31);
    EXPECT_EQ(out[63], -31);
    EXPECT_EQ(resampler_readNInp(o.r, out.data(), 32, 0), 0);
    EXPECT_EQ(frame(0), 32);
    // Not enough new frames: nothing read, silence out.
    EXPECT_EQ(resampler_readNInp(o.r, out.data(), 32, 0), -1);
    EXPECT_EQ(out, std::vector<audio16>(out.size(), 0));
    resampler_write(o.r, in.data() + 2 * 64, 24);
    // Eight frames of overlap: the read repeats the previous read's last eight.
    EXPECT_EQ(resampler_readNInp(o.r, out.data(), 32, 8), 0);
    EXPECT_EQ(frame(0), 56);
    EXPECT_EQ(frame(31), 87);
    // Sizes that make no sense.
    EXPECT_EQ(resampler_readNInp(o.r, out.data(), 8, 9), -1);
    EXPECT_EQ(resampler_readNInp(o.r, out.data(), 8, -1), -1);
    EXPECT_EQ(resampler_readNInp(o.r, out.data(), -8, 0), -1);
    // The reader placed behind the writer.
    EXPECT_EQ(resampler_setDelayNInp(o.r, 10), 0);
    EXPECT_EQ(o.r->iRPtrNInp, 77);
    EXPECT_EQ(resampler_setDelayNInp(o.r, 256), -1);
    EXPECT_EQ(resampler_readNInp(o.r, out.data(), 8, 0), 0);
    EXPECT_EQ(frame(0), 78);
}

TEST(ResamplerInterpolationFlag, SetInAnyCaseAcceptedOnlyByTheTableFir) {
    for (resampler_method m : {NEAREST, LINEAR, THREEPT, FIRSINCTAB, FIRSINCWIN, FIRSINCTAB2}) {
        Owned o(resampler_new(1, m, 1, 4, 8, 0));
        EXPECT_EQ(resampler_enableInterpolation(o.r, 0), m == FIRSINCTAB ? 0 : -1) << m;
        EXPECT_EQ(o.r->iFilterWinTabIntFlag, 0) << m;
    }
}

TEST(ResamplerNullArguments, AreRefusedOrIgnored) {
    audio16 out[4] = {};
    EXPECT_EQ(resampler_readInp(nullptr, out, 2), 0);
    EXPECT_EQ(resampler_readNInp(nullptr, out, 2, 0), -1);
    EXPECT_EQ(resampler_setRateInp(nullptr, kOne), -1);
    EXPECT_EQ(resampler_setFractionalOffsetInp(nullptr, 0), -1);
    EXPECT_EQ(resampler_setOffsetInp(nullptr, 0), -1);
    EXPECT_EQ(resampler_setDelayInp(nullptr, 0), -1);
    EXPECT_EQ(resampler_setDelayNInp(nullptr, 0), -1);
    EXPECT_EQ(resampler_setBoundsInp(nullptr, 0, 1), -1);
    EXPECT_EQ(resampler_enableInterpolation(nullptr, 1), -1);
    EXPECT_EQ(resampler_write(nullptr, out, 2), 0);
    Owned o(resampler_new(2, LINEAR, 1, 4, 8, 0));
    EXPECT_EQ(resampler_readInp(o.r, nullptr, 2), 0);
}

} // namespace
