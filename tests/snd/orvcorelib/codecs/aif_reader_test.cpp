// The AIFF reader: the 80-bit rate, the chunk walk with the error each kind of file gives, both
// byte orders, chunks in either order, and the sound data ending with its chunk.
#include "codecs/fileformat/aif.h"
#include "codecs_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace codectest;

namespace {

// An integer rate as IEEE 754 80-bit extended, most significant byte first.
Chunks extended(u32 rate) {
    if (rate == 0) return Chunks(10, 0);
    int top = 31;
    while ((rate >> top) == 0) --top;
    const u64 mantissa = static_cast<u64>(rate) << (63 - top);
    Bytes b;
    b.be16(static_cast<u32>(16383 + top))
        .be32(static_cast<u32>(mantissa >> 32))
        .be32(static_cast<u32>(mantissa));
    return b.data;
}

Chunks beChunk(const char *id, const Chunks &body, long long sizeWord = -1) {
    Bytes b;
    b.text(id).be32(sizeWord < 0 ? static_cast<u32>(body.size()) : static_cast<u32>(sizeWord)).raw(body);
    if (body.size() % 2 == 1) b.fill(1, 0);
    return b.data;
}

Chunks comm(u16 channels, u32 frames, u16 bits, const Chunks &rate) {
    return beChunk("COMM", Bytes().be16(channels).be32(frames).be16(bits).raw(rate).data);
}

Chunks ssnd(const Chunks &samples, u32 offset = 0, u32 blockSize = 0) {
    return beChunk("SSND", Bytes().be32(offset).be32(blockSize).raw(samples).data);
}

Chunks form(const Chunks &chunks, const char *type = "AIFF") {
    return Bytes().text("FORM").be32(static_cast<u32>(4 + chunks.size())).text(type).raw(chunks).data;
}

// 16-bit big-endian stereo samples numbered from 0.
Chunks numbered(int frames) {
    Bytes b;
    for (int i = 0; i < 2 * frames; ++i) b.be16(static_cast<u16>(i));
    return b.data;
}

TEST(AiffExtended, ConvertsTheStandardForms) {
    const u8 rate44100[10] = {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(ConvertFromIeeeExtended(rate44100), 44100.0);
    for (u32 rate : {1u, 8000u, 22050u, 48000u, 96000u, 192000u, 0xFFFFFFFFu})
        EXPECT_EQ(ConvertFromIeeeExtended(extended(rate).data()), static_cast<double>(rate)) << rate;
    EXPECT_EQ(ConvertFromIeeeExtended(Chunks(10, 0).data()), 0.0);
    const u8 infinite[10] = {0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_TRUE(std::isinf(ConvertFromIeeeExtended(infinite)));
    const u8 half[10] = {0xBF, 0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(ConvertFromIeeeExtended(half), -0.5);
    const u8 fraction[10] = {0x40, 0x0E, 0xAC, 0x44, 0x80, 0, 0, 0, 0, 0}; // 44100.5
    EXPECT_EQ(ConvertFromIeeeExtended(fraction), 44100.5);
}

TEST(AiffChunkWalk, EachKindOfFileGivesItsError) {
    const Chunks good = comm(2, 10, 16, extended(44100));
    const Chunks sound = ssnd(numbered(10));
    const u8 nanBytes[10] = {0x7F, 0xFF, 0xC0, 0, 0, 0, 0, 0, 0, 1};
    const struct {
        const char *what;
        Chunks file;
        decoder_error expected;
    } cases[] = {
        {"plain", form(good + sound), DECODER_ERROR_NOERROR},
        {"byte-reversed", reverseAiff(form(good + sound)), DECODER_ERROR_NOERROR},
        {"sound before format", form(sound + good), DECODER_ERROR_NOERROR},
        {"odd chunk and its pad byte", form(beChunk("NAME", Chunks(5, 'n')) + good + sound),
         DECODER_ERROR_NOERROR},
        {"8 bits", form(comm(1, 20, 8, extended(11025)) + ssnd(Chunks(20, 1))), DECODER_ERROR_NOERROR},
        {"24 bits", form(comm(2, 4, 24, extended(22050)) + ssnd(Chunks(24, 1))), DECODER_ERROR_NOERROR},
        {"longer format chunk",
         form(beChunk("COMM", Chunks(good.begin() + 8, good.end()) + Chunks(6, 0)) + sound),
         DECODER_ERROR_NOERROR},
        {"empty file", {}, DECODER_ERROR_READERROR},
        {"not FORM", Bytes().text("RIFF").be32(4).text("AIFF").data, DECODER_ERROR_NOTSUPPORTED_CODECS},
        {"AIFF-C", form(good + sound, "AIFC"), DECODER_ERROR_NOTSUPPORTED_CODECS},
        {"32 bits", form(comm(2, 10, 32, extended(44100)) + sound), DECODER_ERROR_NOTSUPPORTED_BITRATE},
        {"3 channels", form(comm(3, 10, 16, extended(44100)) + sound), DECODER_ERROR_NOTSUPPORTED_NUMCHANS},
        {"negative channels", form(comm(0xFFFF, 10, 16, extended(44100)) + sound),
         DECODER_ERROR_NOTSUPPORTED_NUMCHANS},
        {"rate 0", form(comm(2, 10, 16, extended(0)) + sound), DECODER_ERROR_NOTSUPPORTED_SAMPLERATE},
        {"rate 4 GHz", form(comm(2, 10, 16, extended(0xFFFFFFFFu)) + sound),
         DECODER_ERROR_NOTSUPPORTED_SAMPLERATE},
        {"rate not a number", form(comm(2, 10, 16, Chunks(nanBytes, nanBytes + 10)) + sound),
         DECODER_ERROR_NOTSUPPORTED_SAMPLERATE},
        {"sound data with an offset", form(good + ssnd(numbered(10), 4)), DECODER_ERROR_NOTSUPPORTED},
        {"sound data in blocks", form(good + ssnd(numbered(10), 0, 4096)), DECODER_ERROR_NOTSUPPORTED},
        {"short format chunk", form(beChunk("COMM", Chunks(10, 0)) + sound), DECODER_ERROR_CORRUPT},
        {"chunk larger than the form", form(beChunk("NAME", Chunks(4, 'n'), 100000) + good + sound),
         DECODER_ERROR_CORRUPT},
        {"no sound chunk", form(good), DECODER_ERROR_READERROR},
        {"no format chunk", form(sound), DECODER_ERROR_READERROR},
    };
    orvtest::TempDir dir;
    for (const auto &c : cases) {
        bool held = false;
        EXPECT_EQ(tryReader(aif_Open, aif_Close, dir.file("case.aif"), c.file, &held), c.expected) << c.what;
        EXPECT_EQ(held, c.expected == DECODER_ERROR_NOERROR) << c.what;
    }
}

class AiffReader : public ::testing::Test {
  protected:
    Decoder open(const Chunks &file) { return openBytes(dir, "t.aiff", file); }
    orvtest::TempDir dir;
};

TEST_F(AiffReader, OpensAStandardFileAt44100) {
    const Chunks rate{0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
    Decoder d = open(form(comm(2, 10, 16, rate) + ssnd(numbered(10))));
    EXPECT_EQ(d->sampleRate, 44100);
    EXPECT_EQ(d->numChannels, 2);
    EXPECT_EQ(d->fileFormatType, FILEFORMAT_TYPE_AIF);
    EXPECT_EQ(d->codecType, CODEC_TYPE_UNDEFINED);
    EXPECT_EQ(d->bitRate, 44100 * 16 * 2);
    EXPECT_EQ(d->durationInSamplesExact, 10u);
    EXPECT_EQ(d->seekStatus, DECODER_SEEK_NATIVELY_SEEKABLE);
}

TEST_F(AiffReader, TheSoundEndsWithItsChunkNotWithTheFile) {
    // An ID3 chunk after the sound data is not audio.
    const Chunks file =
        form(comm(2, 10, 16, extended(44100)) + ssnd(numbered(10)) + beChunk("ID3 ", Chunks(64, 0x55)));
    Decoder d = open(file);
    const Decoded all = readFrames(d.get(), -1, 7);
    EXPECT_EQ(all.last, DECODER_ERROR_ENDOFFILE);
    ASSERT_EQ(all.samples.size(), 20u);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(all.samples[i], i);
}

TEST_F(AiffReader, BothByteOrdersAndEitherChunkOrderReadTheSameSamples) {
    const Chunks format = comm(2, 300, 16, extended(44100));
    const Chunks sound = ssnd(numbered(300));
    const Chunks files[] = {form(format + sound), form(sound + format), reverseAiff(form(format + sound)),
                            reverseAiff(form(sound + format))};
    for (const Chunks &file : files) {
        Decoder d = open(file);
        const Decoded all = readFrames(d.get(), -1, 128);
        ASSERT_EQ(all.samples.size(), 600u);
        for (int i = 0; i < 600; ++i) ASSERT_EQ(all.samples[i], i);
    }
}

TEST_F(AiffReader, FramesCountedInTheFormatChunkLimitTheSound) {
    Decoder d = open(form(comm(2, 6, 16, extended(44100)) + ssnd(numbered(10))));
    EXPECT_EQ(d->durationInSamplesExact, 6u);
    EXPECT_EQ(decoder_setSampleOffset(d.get(), 7), DECODER_ERROR_NOERROR);
    s32 n = 1;
    audio16 out[2];
    EXPECT_EQ(decoder_getSample(d.get(), out, &n), DECODER_ERROR_OUTOFRANGE);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(readFrames(d.get(), -1, 100).samples.size(), 10u);
}

TEST_F(AiffReader, EightBitSamplesAreSigned) {
    Decoder d = open(form(comm(1, 4, 8, extended(44100)) + ssnd({0x7F, 0x80, 0x00, 0xFF})));
    const Decoded all = readFrames(d.get(), -1, 10);
    EXPECT_EQ(all.samples, (std::vector<audio16>{32512, -32768, 0, -256}));
}

} // namespace
