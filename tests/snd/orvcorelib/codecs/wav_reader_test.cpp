// The WAV reader: the chunk walk with the error each kind of file gives, the end of the data
// chunk, 8-bit samples, seeks, and lengths past the range of 32-bit arithmetic.
#include "codecs/fileformat/wav.h"
#include "codecs_support.h"
#include "orvsys/orvconfig.h"
#include "srconv/srconv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

using namespace codectest;

namespace {

// 16-bit stereo samples numbered from `first`.
Chunks numberedSamples(int frames, int first = 0) {
    Bytes b;
    for (int i = 0; i < 2 * frames; ++i) b.le16(static_cast<u16>(first + i));
    return b.data;
}

Chunks fmt16() {
    return fmtChunk(1, 2, 44100, 16);
}

Chunks dataChunk(int frames) {
    return chunk("data", numberedSamples(frames));
}

struct WavCase {
    const char *what;
    std::vector<unsigned char> file;
    decoder_error expected;
};

TEST(WavChunkWalk, EachKindOfFileGivesItsError) {
    const Chunks fmt = fmt16();
    const Chunks body(fmt.begin() + 8, fmt.end());
    const Chunks fmtLong = Bytes().text("fmt ").le32(18).raw(body).le16(0).data;
    const Chunks fmtExtended = Bytes().text("fmt ").le32(18).raw(body).le16(2).data;
    const Chunks fmtShort = Bytes().text("fmt ").le32(14).fill(14, 1).data;
    const Chunks fmt20 = Bytes().text("fmt ").le32(20).raw(body).le32(0).data;
    const WavCase cases[] = {
        {"plain", riffFile(fmt16() + dataChunk(10)), DECODER_ERROR_NOERROR},
        {"LIST before fmt", riffFile(chunk("LIST", Chunks(30, 'x')) + fmt16() + dataChunk(10)),
         DECODER_ERROR_NOERROR},
        {"odd chunk and its pad byte", riffFile(chunk("junk", Chunks(5, 'x')) + fmt16() + dataChunk(10)),
         DECODER_ERROR_NOERROR},
        {"18-byte fmt, empty extension", riffFile(fmtLong + dataChunk(10)), DECODER_ERROR_NOERROR},
        {"data larger than the file", riffFile(fmt16() + chunk("data", numberedSamples(10), 1 << 20)),
         DECODER_ERROR_NOERROR},
        {"192000 Hz", riffFile(fmtChunk(1, 1, 192000, 16) + dataChunk(10)), DECODER_ERROR_NOERROR},
        {"8 bits", riffFile(fmtChunk(1, 1, 8000, 8) + dataChunk(10)), DECODER_ERROR_NOERROR},
        {"24 bits", riffFile(fmtChunk(1, 2, 48000, 24) + dataChunk(9)), DECODER_ERROR_NOERROR},
        {"empty file", {}, DECODER_ERROR_READERROR},
        {"short RIFF header", Bytes().text("RIFF").le32(4).data, DECODER_ERROR_READERROR},
        {"not RIFF", Bytes().text("RIFX").le32(4).text("WAVE").raw(fmt16()).data,
         DECODER_ERROR_NOTSUPPORTED_CODECS},
        {"not WAVE", Bytes().text("RIFF").le32(4).text("AVI ").raw(fmt16()).data,
         DECODER_ERROR_NOTSUPPORTED_CODECS},
        {"floating point", riffFile(fmtChunk(3, 2, 44100, 32) + dataChunk(10)),
         DECODER_ERROR_NOTSUPPORTED_CODECS},
        {"extensible format", riffFile(fmtChunk(0xFFFE, 2, 44100, 16) + dataChunk(10)),
         DECODER_ERROR_NOTSUPPORTED_CODECS},
        {"18-byte fmt with extension", riffFile(fmtExtended + dataChunk(10)), DECODER_ERROR_NOTSUPPORTED},
        {"20-byte fmt", riffFile(fmt20 + dataChunk(10)), DECODER_ERROR_NOTSUPPORTED},
        {"14-byte fmt", riffFile(fmtShort + dataChunk(10)), DECODER_ERROR_NOTSUPPORTED},
        {"32 bits", riffFile(fmtChunk(1, 2, 44100, 32) + dataChunk(10)), DECODER_ERROR_NOTSUPPORTED_BITRATE},
        {"12 bits", riffFile(fmtChunk(1, 2, 44100, 12) + dataChunk(10)), DECODER_ERROR_NOTSUPPORTED_BITRATE},
        {"3 channels", riffFile(fmtChunk(1, 3, 44100, 16) + dataChunk(10)),
         DECODER_ERROR_NOTSUPPORTED_NUMCHANS},
        {"0 channels", riffFile(fmtChunk(1, 0, 44100, 16) + dataChunk(10)),
         DECODER_ERROR_NOTSUPPORTED_NUMCHANS},
        {"rate 0", riffFile(fmtChunk(1, 2, 0, 16) + dataChunk(10)), DECODER_ERROR_NOTSUPPORTED_SAMPLERATE},
        {"rate 192001", riffFile(fmtChunk(1, 2, 192001, 16) + dataChunk(10)),
         DECODER_ERROR_NOTSUPPORTED_SAMPLERATE},
        {"chunk larger than the RIFF",
         riffFile(chunk("LIST", Chunks(8, 'x'), 5000) + fmt16() + dataChunk(10), 200), DECODER_ERROR_CORRUPT},
        {"data before fmt", riffFile(dataChunk(10) + fmt16()), DECODER_ERROR_CORRUPT},
        {"no data chunk", riffFile(fmt16() + chunk("LIST", Chunks(4, 'x'))), DECODER_ERROR_READERROR},
        {"cut inside a chunk header", riffFile(fmt16() + Chunks{'d', 'a', 't'}), DECODER_ERROR_READERROR},
        {"cut inside fmt", riffFile(Chunks(fmt.begin(), fmt.begin() + 14)), DECODER_ERROR_READERROR},
    };
    orvtest::TempDir dir;
    for (const WavCase &c : cases) {
        bool held = false;
        EXPECT_EQ(tryReader(wav_Open, wav_Close, dir.file("case.wav"), c.file, &held), c.expected) << c.what;
        EXPECT_EQ(held, c.expected == DECODER_ERROR_NOERROR) << c.what;
    }
    decoder_struct *d = decoder_new(44100, 1, 2048);
    EXPECT_EQ(wav_Open(d, dir.file("missing.wav").c_str()), DECODER_ERROR_OPENFILEFAILED);
    decoder_destroy(d);
}

class WavReader : public ::testing::Test {
  protected:
    Decoder open(const Chunks &file, u32 maxFrames = 2048) {
        return openBytes(dir, "t.wav", file, maxFrames);
    }
    orvtest::TempDir dir;
};

TEST_F(WavReader, StopsAtTheEndOfTheDataChunk) {
    Decoder d = open(riffFile(fmt16() + dataChunk(1000) + chunk("id3 ", Chunks(100, 0x7F))), 600);
    std::vector<audio16> out(2 * 600);
    s32 n = 600;
    EXPECT_EQ(decoder_getSample(d.get(), out.data(), &n), DECODER_ERROR_NOERROR);
    EXPECT_EQ(n, 600);
    n = 600;
    testing::internal::CaptureStdout();
    EXPECT_EQ(decoder_getSample(d.get(), out.data(), &n), DECODER_ERROR_ENDOFFILE);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(n, 400);
    EXPECT_EQ(out[2 * 400 - 1], static_cast<audio16>(2 * 1000 - 1));
    if (orv::kDeviceConfig) {
        EXPECT_NE(printed.find("EOF (probably has metadata beyond this point) 400 600\n"), std::string::npos);
    } else {
        EXPECT_EQ(printed, "");
    }
    n = 600;
    EXPECT_EQ(decoder_getSample(d.get(), out.data(), &n), DECODER_ERROR_ENDOFFILE);
    EXPECT_EQ(n, 0);
}

TEST_F(WavReader, EightBitSamplesAreUnsignedAroundHalfScale) {
    const Chunks samples{0x80, 0xFF, 0x00, 0x7F, 0x81};
    Decoder d = open(riffFile(fmtChunk(1, 1, 44100, 8) + chunk("data", samples)));
    std::vector<audio16> out(8);
    s32 n = 8;
    EXPECT_EQ(decoder_getSample(d.get(), out.data(), &n), DECODER_ERROR_ENDOFFILE);
    ASSERT_EQ(n, 5);
    EXPECT_EQ(std::vector<audio16>(out.begin(), out.begin() + 5),
              (std::vector<audio16>{0, 32512, -32768, -256, 256}));
}

TEST_F(WavReader, ASeekBeyondTheDataIsRefusedAndReadingGoesOn) {
    Decoder d = open(riffFile(fmt16() + dataChunk(1000)));
    std::vector<audio16> out(2 * 100);
    s32 n = 100;
    decoder_getSample(d.get(), out.data(), &n);
    EXPECT_EQ(decoder_setSampleOffset(d.get(), 1001), DECODER_ERROR_NOERROR);
    n = 100;
    EXPECT_EQ(decoder_getSample(d.get(), out.data(), &n), DECODER_ERROR_OUTOFRANGE);
    EXPECT_EQ(n, 100);
    EXPECT_EQ(out[0], 200);                         // frame 100 follows frame 99
    EXPECT_EQ(decoder_getSampleOffset(d.get()), 0); // lastError holds the refusal
    // A seek to the very end is allowed and ends the file at the next read.
    EXPECT_EQ(decoder_setSampleOffset(d.get(), 1000), DECODER_ERROR_NOERROR);
    n = 100;
    EXPECT_EQ(decoder_getSample(d.get(), out.data(), &n), DECODER_ERROR_ENDOFFILE);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(decoder_setSampleOffset(d.get(), 500), DECODER_ERROR_NOERROR);
    n = 1;
    EXPECT_EQ(decoder_getSample(d.get(), out.data(), &n), DECODER_ERROR_NOERROR);
    EXPECT_EQ(out[0], 1000);
    EXPECT_EQ(decoder_getSampleOffset(d.get()), 501);
}

TEST_F(WavReader, ADataChunkLargerThanTheFileEndsWithTheFile) {
    Decoder d = open(riffFile(fmt16() + chunk("data", numberedSamples(10), 1 << 20)));
    EXPECT_EQ(d->durationInSamplesExact, 10u);
    const Decoded all = readFrames(d.get(), -1, 64);
    EXPECT_EQ(all.samples.size(), 20u);
    EXPECT_EQ(all.last, DECODER_ERROR_ENDOFFILE);
}

TEST_F(WavReader, LongFilesKeepTheirLengthAndPositions) {
    // Ten minutes of 48 kHz stereo: frames x 1000 passes 32 bits. The file is sparse.
    const u32 frames = 48000u * 600;
    const Chunks head =
        riffFile(fmtChunk(1, 2, 48000, 16) + Bytes().text("data").le32(frames * 4).data, 36 + frames * 4);
    orvtest::writeFileBytes(dir.file("long.wav"), head);
    ASSERT_EQ(truncate(dir.file("long.wav").c_str(), static_cast<off_t>(head.size()) + off_t{frames} * 4), 0);
    Decoder d = makeDecoder(44100, true, 2048);
    ASSERT_EQ(
        decoder_open(d.get(), dir.file("long.wav").c_str(), DECODER_MODE_DECODE, nullptr, 0, SRC_QUALITY_LOW),
        DECODER_ERROR_NOERROR);
    EXPECT_EQ(d->durationInSamplesExact, frames);
    EXPECT_EQ(d->durationInMsExact, 600000u);
    EXPECT_EQ(d->durationInMs, 600000u);
    // A seek near the end, at the output rate, lands inside the file on the converter's time
    // line (its step is 48000 / 44100 in Q12, truncated).
    const u64 step = d->srconvHandle->srconvHandle->step;
    EXPECT_EQ(decoder_setSampleOffset(d.get(), 44100LL * 599), DECODER_ERROR_NOERROR);
    const s64 position = static_cast<s64>((44100ull * 599 * step) >> 12);
    EXPECT_EQ(d->seekPosition, position);
    const Decoded tail = readFrames(d.get(), -1, 2048);
    EXPECT_EQ(tail.last, DECODER_ERROR_ENDOFFILE);
    EXPECT_NEAR(tail.samples.size() / 2.0, (frames - position) * 4096.0 / step, 40.0);
}

} // namespace
