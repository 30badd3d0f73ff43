// The readers' shared pieces: the sample ring, the coded-byte buffer, the ID3v2 skip and the
// PCM converters.
#include "codecs/fileformat/bitstream.h"
#include "codecs/fileformat/fileops.h"
#include "codecs/fileformat/pcmbuffer.h"
#include "codecs/fileformat/pcmconvert.h"
#include "codecs_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <numeric>
#include <vector>

using namespace codectest;

namespace {

struct RingDeleter {
    void operator()(pcmbuffer_t *p) const { pcmbuffer_destory(p); }
};
using Ring = std::unique_ptr<pcmbuffer_t, RingDeleter>;

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Writes count samples numbered from `first` at the ring's write position.
void writeNumbered(pcmbuffer_t *pcm, s32 count, s32 first) {
    audio16 *at = pcmbuffer_getBufferForWrite(pcm, count);
    for (s32 i = 0; i < count; ++i) at[i] = static_cast<audio16>(first + i);
    pcm->pcmBufferWrite += count;
}

TEST(SampleRing, ReadsAcrossTheEndInTwoPieces) {
    Ring pcm(pcmbuffer_new(4608));
    ASSERT_NE(pcm, nullptr);
    // Fill the ring as a decoder would: samples numbered by their running count.
    for (s32 i = 0; i < 4608; ++i) pcm->pcmBuffer[i] = static_cast<audio16>(i);
    for (s32 i = 0; i < 6000 - 4608; ++i) pcm->pcmBuffer[i] = static_cast<audio16>(4608 + i);
    pcm->pcmBufferRead = 4000;
    pcm->pcmBufferWrite = 6000;
    std::vector<audio16> out(2000);
    EXPECT_EQ(pcmbuffer_read(pcm.get(), out.data(), 1000, 2), 1000);
    for (s32 i = 0; i < 2000; ++i) ASSERT_EQ(out[i], static_cast<audio16>(4000 + i)) << i;
    EXPECT_EQ(pcmbuffer_getNumSamples(pcm.get()), 0);
}

TEST(SampleRing, DeliversOnlyWholeFrames) {
    Ring pcm(pcmbuffer_new(64));
    writeNumbered(pcm.get(), 3, 1);
    std::vector<audio16> out(4, -1);
    EXPECT_EQ(pcmbuffer_read(pcm.get(), out.data(), 2, 2), 1);
    EXPECT_EQ(out, (std::vector<audio16>{1, 2, -1, -1}));
    EXPECT_EQ(pcmbuffer_getNumSamples(pcm.get()), 1);
}

TEST(SampleRing, ResetSkipsTheNextSamplesWritten) {
    Ring pcm(pcmbuffer_new(256));
    writeNumbered(pcm.get(), 50, 1000);
    pcmbuffer_reset(pcm.get(), 100);
    std::vector<audio16> out(200);
    writeNumbered(pcm.get(), 64, 0);
    EXPECT_EQ(pcmbuffer_read(pcm.get(), out.data(), 100, 1), 0);
    writeNumbered(pcm.get(), 64, 64);
    ASSERT_EQ(pcmbuffer_read(pcm.get(), out.data(), 100, 1), 28);
    for (s32 i = 0; i < 28; ++i) EXPECT_EQ(out[i], 100 + i);
}

TEST(SampleRing, RunningCountsWrapAroundManyTimes) {
    Ring pcm(pcmbuffer_new(96)); // a whole number of 48-sample frames
    std::vector<audio16> out(48);
    s32 next = 0;
    for (int round = 0; round < 100; ++round) {
        writeNumbered(pcm.get(), 48, round * 48);
        ASSERT_EQ(pcmbuffer_read(pcm.get(), out.data(), 24, 2), 24);
        for (audio16 v : out) ASSERT_EQ(v, static_cast<audio16>(next++));
        ASSERT_LT(pcm->pcmBufferWrite, 3 * 96);
    }
}

TEST(SampleRing, RefusesSizesBelowOne) {
    EXPECT_EQ(pcmbuffer_new(0), nullptr);
    EXPECT_EQ(pcmbuffer_new(-5), nullptr);
    EXPECT_EQ(pcmbuffer_destory(nullptr), nullptr);
}

TEST(CodedBytes, RefillsOnlyWhenLessThanHalfIsUnread) {
    orvtest::TempDir dir;
    std::vector<unsigned char> content(100);
    std::iota(content.begin(), content.end(), 1);
    orvtest::writeFileBytes(dir.file("in.bin"), content);
    File f(std::fopen(dir.file("in.bin").c_str(), "rb"));
    bitstream_t *bs = bitstream_new(16);
    ASSERT_NE(bs, nullptr);
    s32 depleted = -1;
    EXPECT_EQ(bitstream_read(bs, f.get(), &depleted), 16);
    EXPECT_EQ(depleted, 0);
    // Ten bytes consumed: six unread, less than half, so they move to the front.
    bs->bsOffset += 10;
    bs->bytesLeft -= 10;
    EXPECT_EQ(bitstream_read(bs, f.get(), &depleted), 16);
    EXPECT_EQ(bs->bsOffset, bs->bsBuffer);
    EXPECT_EQ(bs->bsBuffer[0], 11);
    EXPECT_EQ(bs->bsBuffer[6], 17);
    // Eight unread is half: nothing happens.
    bs->bsOffset += 8;
    bs->bytesLeft -= 8;
    EXPECT_EQ(bitstream_read(bs, f.get(), &depleted), 8);
    EXPECT_NE(bs->bsOffset, bs->bsBuffer);
    bitstream_reset(bs);
    EXPECT_EQ(bs->bytesLeft, 0);
    EXPECT_EQ(bs->bsBuffer[0], 0);
    EXPECT_EQ(bitstream_destory(bs), nullptr);
}

TEST(CodedBytes, TheFileRunningOutZeroesTheRestAndSaysSo) {
    orvtest::TempDir dir;
    orvtest::writeFileBytes(dir.file("in.bin"), {7, 7, 7});
    File f(std::fopen(dir.file("in.bin").c_str(), "rb"));
    bitstream_t *bs = bitstream_new(8);
    std::fill(bs->bsBuffer, bs->bsBuffer + 8, 0xEE);
    s32 depleted = -1;
    EXPECT_EQ(bitstream_read(bs, f.get(), &depleted), 3);
    EXPECT_EQ(depleted, 0);
    EXPECT_EQ(bs->bsBuffer[3], 0);
    bs->bytesLeft = 0;
    EXPECT_EQ(bitstream_read(bs, f.get(), &depleted), 0);
    EXPECT_EQ(depleted, 1);
    bitstream_destory(bs);
}

TEST(Id3Skip, PositionsAfterTheTagOrAtTheStart) {
    struct Case {
        const char *what;
        std::vector<unsigned char> head;
        int expected;
    };
    const Case cases[] = {
        {"tag of 257 bytes", {'I', 'D', '3', 4, 0, 0, 0, 0, 2, 1, 0xFF}, 267},
        {"7 bits per size byte", {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F}, 0x0FFFFFFF + 10},
        {"no tag", {0xFF, 0xFB, 0x90, 0x64, 0, 0, 0, 0, 0, 0, 0}, 0},
        {"file shorter than a header", {'I', 'D', '3'}, 0},
    };
    orvtest::TempDir dir;
    for (const Case &c : cases) {
        orvtest::writeFileBytes(dir.file("t.mp3"), c.head);
        File f(std::fopen(dir.file("t.mp3").c_str(), "rb"));
        EXPECT_EQ(skip_id3tagv2(f.get()), c.expected) << c.what;
        EXPECT_EQ(std::ftell(f.get()), c.expected) << c.what;
    }
}

TEST(PcmConverters, TakeTheHighBytesOfEachFormat) {
    struct Case {
        const char *what;
        pcm_converter convert;
        std::vector<u8> in;
        std::vector<audio16> out;
        u32 bytes;
    };
    const Case cases[] = {
        {"16 little-endian", pcm_16to16, {0x34, 0x12, 0x00, 0x80}, {0x1234, -32768}, 4},
        {"16 big-endian", pcm_16to16_bigendian, {0x12, 0x34, 0xFF, 0xFE}, {0x1234, -2}, 4},
        {"24 little-endian", pcm_24to16, {0x12, 0x34, 0x56, 0xFF, 0xFF, 0xFF}, {0x5634, -1}, 6},
        {"24 big-endian", pcm_24to16_bigendian, {0x12, 0x34, 0x56, 0x80, 0x00, 0x01}, {0x1234, -32768}, 6},
        {"8 signed", pcm_8to16, {0x7F, 0x80, 0x00, 0xFF}, {32512, -32768, 0, -256}, 4},
        {"8 unsigned", pcm_8to16_unsigned, {0x80, 0xFF, 0x00, 0x7F}, {0, 32512, -32768, -256}, 4},
    };
    for (const Case &c : cases) {
        std::vector<audio16> out(c.out.size());
        EXPECT_EQ(c.convert(c.in.data(), out.data(), static_cast<u32>(out.size())), c.bytes) << c.what;
        EXPECT_EQ(out, c.out) << c.what;
    }
}

} // namespace
