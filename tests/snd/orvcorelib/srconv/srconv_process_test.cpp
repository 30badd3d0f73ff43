// The process step: its output against a first-principles reference, independence from
// block sizes, output capacity, refused input, and the sizing queries callers plan with.
#include "srconv/srconv.h"
#include "srconv_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace srconvtest;

namespace {

struct StreamCase {
    u32 in, out, channels;
    srconv_quality q;
};

// Long enough to wrap the ring and rebase the positions many times.
const StreamCase kStreamCases[] = {
    {48000, 44100, 2, SRCONV_QUALITY_LOW},  {96000, 11025, 2, SRCONV_QUALITY_HIGH},
    {8000, 44100, 1, SRCONV_QUALITY_MID},   {22050, 44100, 2, SRCONV_QUALITY_LOW},
    {44100, 22050, 3, SRCONV_QUALITY_MID},  {24000, 44100, 8, SRCONV_QUALITY_LOW},
    {88200, 22050, 1, SRCONV_QUALITY_HIGH}, {11025, 44100, 5, SRCONV_QUALITY_HIGH},
    {96000, 22050, 2, SRCONV_QUALITY_MID},  {44100, 11025, 2, SRCONV_QUALITY_LOW},
};

TEST(SrconvProcess, MatchesTheReferenceOverLongStreams) {
    u32 seed = 1;
    for (const StreamCase &c : kStreamCases) {
        Converter s = makeConverter(c.in, c.out, c.channels, 64, c.q);
        ASSERT_NE(s, nullptr);
        const size_t frames = 20 * s->srconvHandle->bufferSize + 123;
        const std::vector<audio16> in = noise(frames * c.channels, seed++);
        const std::vector<audio16> expected =
            referenceOutput(*s->srconvHandle->polyphaseFir, s->srconvHandle->step, in, c.channels);
        EXPECT_EQ(convertInRandomBlocks(s.get(), in, seed++), expected) << describe(c.in, c.out, c.q);
    }
}

TEST(SrconvProcess, OutputIsTheSameWhateverTheBlockSize) {
    for (const Pair &p : kPairs) {
        for (srconv_quality q : kQualities) {
            Converter whole = makeConverter(p.in, p.out, 2, 256, q);
            Converter single = makeConverter(p.in, p.out, 2, 256, q);
            Converter random = makeConverter(p.in, p.out, 2, 256, q);
            ASSERT_TRUE(whole && single && random);
            const std::vector<audio16> in = noise(2 * 3000, p.in + q);
            const std::vector<audio16> byMax = convertInBlocksOf(whole.get(), in, whole->maxInputBlockSize);
            ASSERT_FALSE(byMax.empty());
            EXPECT_EQ(convertInBlocksOf(single.get(), in, 1), byMax) << describe(p.in, p.out, q);
            EXPECT_EQ(convertInRandomBlocks(random.get(), in, p.out + q), byMax) << describe(p.in, p.out, q);
        }
    }
}

TEST(SrconvProcess, SumsBeyond32BitsSaturate) {
    // A full-scale input shaped like the filter's signs drives the sum of a phase past
    // 2^31 in the upsampling high set; the output must clip, not wrap.
    const PolyphaseFir &fir = POLYFIR8TO44[SRCONV_QUALITY_HIGH];
    Converter s = makeConverter(8000, 44100, 1, 256, SRCONV_QUALITY_HIGH);
    ASSERT_NE(s, nullptr);
    const u32 step = s->srconvHandle->step;
    // Find an output whose taps have the largest absolute sum, then build its input.
    const u64 k = 400;
    u64 best = k;
    s64 bestAbs = 0;
    for (u64 cand = k; cand < k + 64; ++cand) {
        const u64 pos = cand * step;
        const u32 phase = fir.numPhases - u32(((pos & 0xFFF) * fir.numPhases) >> 12);
        s64 sumAbs = 0;
        for (u32 i = phase; i < fir.numCoefs; i += fir.numPhases) sumAbs += std::abs(fir.coef[i]);
        if (sumAbs > bestAbs) bestAbs = sumAbs, best = cand;
    }
    ASSERT_GT(bestAbs * 32767, s64{1} << 31) << "no phase of this table can overflow 32 bits";
    const u64 pos = best * step;
    const u32 phase = fir.numPhases - u32(((pos & 0xFFF) * fir.numPhases) >> 12);
    std::vector<audio16> in(600, 0);
    s64 frame = s64(pos >> 12) - 2 * halfTapsOf(fir) - 1;
    for (u32 i = phase; i < fir.numCoefs; i += fir.numPhases, ++frame)
        in[size_t(frame)] = fir.coef[i] >= 0 ? 32767 : -32768;
    const std::vector<audio16> out = convertInBlocksOf(s.get(), in, 100);
    ASSERT_GT(out.size(), best);
    EXPECT_EQ(out[best], 32767);
    EXPECT_EQ(out, referenceOutput(fir, step, in, 1));
}

TEST(SrconvProcess, ZeroInputGivesOnlyWhatTheRingAllows) {
    Converter s = makeConverter(22050, 44100, 2, 256, SRCONV_QUALITY_MID);
    ASSERT_NE(s, nullptr);
    const std::vector<audio16> in = noise(2 * 100, 7);
    const u32 allowed = srconv_getOutSize(s.get(), 100);
    ASSERT_GT(allowed, 10u);
    std::vector<audio16> out(2 * allowed);
    u32 outSize = 10;
    ASSERT_EQ(srconv_process(s.get(), in.data(), 100, out.data(), &outSize), SRCONV_ERROR_NOERROR);
    EXPECT_EQ(outSize, 10u);
    EXPECT_EQ(srconv_getOutSize(s.get(), 0), allowed - 10);

    outSize = allowed;
    ASSERT_EQ(srconv_process(s.get(), nullptr, 0, out.data() + 20, &outSize), SRCONV_ERROR_NOERROR);
    EXPECT_EQ(outSize, allowed - 10);
    outSize = allowed;
    ASSERT_EQ(srconv_process(s.get(), nullptr, 0, out.data(), &outSize), SRCONV_ERROR_NOERROR);
    EXPECT_EQ(outSize, 0u);
}

TEST(SrconvProcess, ZeroCapacityWritesNothing) {
    Converter s = makeConverter(48000, 44100, 2, 256, SRCONV_QUALITY_LOW);
    ASSERT_NE(s, nullptr);
    const std::vector<audio16> in = noise(2 * 200, 8);
    std::vector<audio16> guard(16, 0x5A5A);
    u32 outSize = 0;
    ASSERT_EQ(srconv_process(s.get(), in.data(), 200, guard.data(), &outSize), SRCONV_ERROR_NOERROR);
    EXPECT_EQ(outSize, 0u);
    EXPECT_TRUE(std::all_of(guard.begin(), guard.end(), [](audio16 v) { return v == 0x5A5A; }));
    outSize = 0;
    EXPECT_EQ(srconv_process(s.get(), nullptr, 0, nullptr, &outSize), SRCONV_ERROR_NOERROR);
}

// Feeds `in` to two converters; `probe` gets a refused call between the blocks, after
// which both must continue identically.
void expectRefusalLeavesNoTrace(u32 in, u32 out, s32 refusedSize) {
    Converter a = makeConverter(in, out, 2, 128, SRCONV_QUALITY_MID);
    Converter probe = makeConverter(in, out, 2, 128, SRCONV_QUALITY_MID);
    ASSERT_TRUE(a && probe);
    const std::vector<audio16> samples = noise(2 * 1000, 9);
    std::vector<audio16> ref = convertInBlocksOf(a.get(), {samples.data(), 2 * 500}, 50);
    std::vector<audio16> got = convertInBlocksOf(probe.get(), {samples.data(), 2 * 500}, 50);

    std::vector<audio16> junk(size_t(2) * (probe->maxInputBlockSize + 1) * 4, 1234);
    std::vector<audio16> dummy(2 * 64, 0x1111);
    u32 outSize = 64;
    EXPECT_EQ(srconv_process(probe.get(), junk.data(), refusedSize, dummy.data(), &outSize),
              SRCONV_ERROR_OVERRUN)
        << refusedSize;
    EXPECT_EQ(outSize, 0u);
    EXPECT_EQ(probe->lastError, SRCONV_ERROR_NOERROR);

    const std::vector<audio16> rest(samples.begin() + 2 * 500, samples.end());
    const std::vector<audio16> refRest = convertInBlocksOf(a.get(), rest, 50);
    const std::vector<audio16> gotRest = convertInBlocksOf(probe.get(), rest, 50);
    EXPECT_EQ(got, ref);
    EXPECT_EQ(gotRest, refRest) << refusedSize;
}

TEST(SrconvProcess, RefusesNegativeAndOversizedInputUntouched) {
    Converter s = makeConverter(48000, 44100, 2, 128, SRCONV_QUALITY_MID);
    ASSERT_NE(s, nullptr);
    const s32 max = static_cast<s32>(s->maxInputBlockSize);
    for (s32 refused : {-1, -1000, max + 1, 0x7FFFFFFF}) expectRefusalLeavesNoTrace(48000, 44100, refused);
}

TEST(SrconvProcess, RefusesInputBeyondTheRingsFreeSpace) {
    // A caller that never takes output fills the ring; the block that no longer fits is
    // refused and nothing accepted before it is lost.
    Converter s = makeConverter(44100, 22050, 1, 64, SRCONV_QUALITY_LOW);
    Converter twin = makeConverter(44100, 22050, 1, 64, SRCONV_QUALITY_LOW);
    ASSERT_TRUE(s && twin);
    const u32 block = s->maxInputBlockSize;
    const std::vector<audio16> in = noise(size_t{block} * 64, 10);
    size_t accepted = 0;
    srconv_error e = SRCONV_ERROR_NOERROR;
    while (accepted + block <= in.size()) {
        u32 none = 0;
        e = srconv_process(s.get(), in.data() + accepted, s32(block), nullptr, &none);
        if (e != SRCONV_ERROR_NOERROR) break;
        accepted += block;
    }
    ASSERT_EQ(e, SRCONV_ERROR_OVERRUN);
    EXPECT_LE(accepted, s->srconvHandle->bufferSize);
    EXPECT_GT(accepted + block, s->srconvHandle->bufferSize - 2 * 2 - 1);

    std::vector<audio16> drained(srconv_getOutSize(s.get(), 0));
    u32 outSize = static_cast<u32>(drained.size());
    ASSERT_EQ(srconv_process(s.get(), nullptr, 0, drained.data(), &outSize), SRCONV_ERROR_NOERROR);
    drained.resize(outSize);
    EXPECT_EQ(drained, convertInBlocksOf(twin.get(), {in.data(), accepted}, 1));
}

TEST(SrconvProcess, NullBuffersWithDataDueAreErrors) {
    Converter s = makeConverter(48000, 44100, 1, 128, SRCONV_QUALITY_LOW);
    ASSERT_NE(s, nullptr);
    audio16 buf[256] = {};
    u32 outSize = 8;
    EXPECT_EQ(srconv_process(s.get(), nullptr, 10, buf, &outSize), SRCONV_ERROR_ERROR);
    outSize = 8;
    EXPECT_EQ(srconv_process(s.get(), buf, 10, nullptr, &outSize), SRCONV_ERROR_ERROR);
    EXPECT_EQ(srconv_process(s.get(), buf, 10, buf, nullptr), SRCONV_ERROR_ERROR);
    EXPECT_EQ(s->srconvHandle->writOffset, 3u) << "a refused call must not take input";
}

TEST(SrconvProcess, OutSizePredictsProcessExactly) {
    for (const Pair &p : kPairs) {
        Converter s = makeConverter(p.in, p.out, 1, 300, SRCONV_QUALITY_HIGH);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(srconv_getOutSize(s.get(), -1), 0u);
        EXPECT_EQ(srconv_getOutSize(s.get(), s32(s->maxInputBlockSize) + 1), 0u);
        const std::vector<audio16> in = noise(size_t{s->maxInputBlockSize} * 4, p.in);
        std::mt19937 rng(p.out);
        std::vector<audio16> out(size_t{s->maxInputBlockSize} * 8);
        size_t done = 0;
        while (done < in.size()) {
            const u32 block = std::min<u32>(rng() % (s->maxInputBlockSize + 1), u32(in.size() - done));
            const u32 predicted = srconv_getOutSize(s.get(), s32(block));
            u32 outSize = u32(out.size());
            ASSERT_EQ(srconv_process(s.get(), in.data() + done, s32(block), out.data(), &outSize),
                      SRCONV_ERROR_NOERROR);
            ASSERT_EQ(outSize, predicted) << p.in << "->" << p.out << " after " << done;
            EXPECT_EQ(srconv_getOutSize(s.get(), 0), 0u);
            done += block;
        }
    }
}

TEST(SrconvProcess, InSizeFeedsExactlyTheOutputsAskedFor) {
    // The decoder's way: decode getInSize(n) frames into tempBuffer, convert with room for n.
    for (const Pair &p : kPairs) {
        for (srconv_quality q : kQualities) {
            const u32 maxOut = 256;
            Converter s = makeConverter(p.in, p.out, 2, maxOut, q);
            ASSERT_NE(s, nullptr);
            std::mt19937 rng(p.in + q);
            std::vector<audio16> out(2 * maxOut);
            for (int call = 0; call < 200; ++call) {
                const u32 wanted = 1 + rng() % maxOut;
                const u32 frames = srconv_getInSize(s.get(), wanted);
                ASSERT_LE(frames, s->maxInputBlockSize);
                for (u32 i = 0; i < 2 * frames; ++i) s->tempBuffer[i] = audio16(rng());
                u32 outSize = wanted;
                ASSERT_EQ(srconv_process(s.get(), s->tempBuffer, s32(frames), out.data(), &outSize),
                          SRCONV_ERROR_NOERROR);
                ASSERT_EQ(outSize, wanted) << describe(p.in, p.out, q) << " call " << call;
            }
        }
    }
}

TEST(SrconvProcess, InSizeOfExamples) {
    Converter s = makeConverter(44100, 22050, 2, 2048, SRCONV_QUALITY_LOW);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(srconv_getInSize(s.get(), 0), 0u);
    EXPECT_EQ(srconv_getInSize(s.get(), 1), 2u);
    EXPECT_EQ(srconv_getInSize(s.get(), 2048), 4096u);
    // Large requests saturate instead of wrapping.
    EXPECT_EQ(srconv_getInSize(s.get(), 0xFFFFFFFFu), 0xFFFFFFFFu);
    Converter up = makeConverter(22050, 44100, 2, 2048, SRCONV_QUALITY_LOW);
    ASSERT_NE(up, nullptr);
    EXPECT_EQ(srconv_getInSize(up.get(), 1), 0u);
    EXPECT_EQ(srconv_getInSize(up.get(), 3), 1u);
}

TEST(SrconvProcess, SilentRightChannelStaysSilent) {
    for (const Pair &p : kPairs) {
        Converter s = makeConverter(p.in, p.out, 2, 256, SRCONV_QUALITY_HIGH);
        ASSERT_NE(s, nullptr);
        std::vector<audio16> in = noise(2 * 2000, p.in);
        for (size_t i = 1; i < in.size(); i += 2) in[i] = 0;
        const std::vector<audio16> out = convertInBlocksOf(s.get(), in, 100);
        ASSERT_GT(out.size(), 2u);
        bool leftMoves = false;
        for (size_t i = 0; i < out.size(); i += 2) {
            EXPECT_EQ(out[i + 1], 0) << p.in << "->" << p.out << " frame " << i / 2;
            leftMoves |= out[i] != 0;
        }
        EXPECT_TRUE(leftMoves);
    }
}

TEST(SrconvProcess, EachChannelConvertsLikeAMonoStream) {
    for (u32 channels = 1; channels <= 8; ++channels) {
        Converter multi = makeConverter(48000, 22050, channels, 128, SRCONV_QUALITY_MID);
        ASSERT_NE(multi, nullptr);
        const std::vector<audio16> in = noise(size_t{channels} * 1500, channels);
        const std::vector<audio16> out = convertInBlocksOf(multi.get(), in, 97);
        for (u32 c = 0; c < channels; ++c) {
            Converter mono = makeConverter(48000, 22050, 1, 128, SRCONV_QUALITY_MID);
            std::vector<audio16> channel;
            for (size_t i = c; i < in.size(); i += channels) channel.push_back(in[i]);
            const std::vector<audio16> monoOut = convertInBlocksOf(mono.get(), channel, 97);
            ASSERT_EQ(monoOut.size() * channels, out.size());
            for (size_t k = 0; k < monoOut.size(); ++k)
                ASSERT_EQ(out[k * channels + c], monoOut[k]) << channels << " channels, channel " << c;
        }
    }
}

} // namespace
