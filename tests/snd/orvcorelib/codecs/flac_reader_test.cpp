// The FLAC reader's own behaviour: what it refuses at open, how requests and blocks meet in its
// ring, the end of the stream, streams of unknown length, and recovery from a failed seek and
// from damaged frames.
#include "codecs/fileformat/flac.h"
#include "codecs_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace codectest;

namespace {

class FlacReader : public ::testing::Test {
  protected:
    // A FLAC file of noise made from a sox WAV; returns flac's decoding as 16-bit samples.
    std::vector<audio16> make(const std::string &name, int rate, int channels, int bits, const char *seconds,
                              const std::vector<std::string> &extra = {}) {
        const std::string wav = dir.file(name + ".wav");
        sox({"-n", "-r", std::to_string(rate), "-c", std::to_string(channels), "-b", std::to_string(bits),
             wav, "synth", seconds, "whitenoise", "vol", "0.5"});
        flacEncode(wav, dir.file(name), extra);
        return scaledTo16(flacReference(dir.file(name), bits), bits);
    }
    // A FLAC file holding exactly the given raw samples.
    void makeRaw(const std::string &name, const std::vector<unsigned char> &raw, int bits, int channels) {
        orvtest::writeFileBytes(dir.file(name + ".raw"), raw);
        flacEncode(dir.file(name + ".raw"), dir.file(name),
                   {"--force-raw-format", "--endian=little", "--sign=signed",
                    "--channels=" + std::to_string(channels), "--bps=" + std::to_string(bits),
                    "--sample-rate=44100"});
    }
    Decoder open(const std::string &name, u32 mode = DECODER_MODE_DECODE,
                 decoder_error expected = DECODER_ERROR_NOERROR) {
        Decoder d = makeDecoder(44100, false);
        EXPECT_EQ(decoder_open(d.get(), dir.file(name).c_str(), mode, nullptr, 0, SRC_QUALITY_MID), expected)
            << name;
        return d;
    }
    orvtest::TempDir dir;
};

TEST_F(FlacReader, RefusesWhatItCannotPlay) {
    makeRaw("three.flac", std::vector<unsigned char>(3 * 2 * 100, 1), 16, 3);
    orvtest::writeFileBytes(dir.file("tagged.flac"), Bytes().text("ID3").fill(200, 0).data);
    orvtest::writeFileBytes(dir.file("empty.flac"), {});
    orvtest::writeFileBytes(dir.file("header.flac"), Bytes().text("fLaC").fill(10, 0).data);
    const struct {
        const char *name;
        decoder_error expected;
    } cases[] = {
        {"three.flac", DECODER_ERROR_NOTSUPPORTED_NUMCHANS},
        {"tagged.flac", DECODER_ERROR_NOTSUPPORTED_CODECS},
        {"empty.flac", DECODER_ERROR_NOTSUPPORTED_CODECS},
        {"missing.flac", DECODER_ERROR_OPENFILEFAILED},
        {"header.flac", DECODER_ERROR_CORRUPT},
    };
    for (const auto &c : cases) {
        Decoder d = open(c.name, DECODER_MODE_DECODE, c.expected);
        EXPECT_EQ(d->lastError, c.expected) << c.name;
        EXPECT_EQ(d->fileformatHandle, nullptr) << c.name;
    }
}

TEST_F(FlacReader, ScalesEveryWidthTo16Bits) {
    makeRaw("eight.flac", {18, 0x80, 0x7F, 0xFF}, 8, 1);
    makeRaw("wide.flac", {0x56, 0x34, 0x12, 0xFF, 0xFF, 0x80}, 24, 1);
    Decoder d = open("eight.flac");
    EXPECT_EQ(readFrames(d.get(), -1, 16).samples, (std::vector<audio16>{4608, -32768, 32512, -256}));
    d = open("wide.flac");
    EXPECT_EQ(readFrames(d.get(), -1, 16).samples, (std::vector<audio16>{0x1234, -32513}));
}

TEST_F(FlacReader, DescribesTheStream) {
    make("d.flac", 44100, 2, 16, "1");
    Decoder d = open("d.flac");
    EXPECT_EQ(d->codecType, CODEC_TYPE_FLAC);
    EXPECT_EQ(d->seekStatus, DECODER_SEEK_NATIVELY_SEEKABLE);
    EXPECT_EQ(d->audioFrameSize, 36864);
    EXPECT_EQ(d->durationInSamplesExact, 44100u);
    EXPECT_EQ(d->durationInMsExact, 1000u);
    const double bytes = static_cast<double>(orvtest::readFileBytes(dir.file("d.flac")).size());
    EXPECT_NEAR(d->bitRate, bytes * 8, 1.0);
}

TEST_F(FlacReader, ABlockServesTwoRequestsAndTheLastOnesEndCleanly) {
    make("b.flac", 44100, 2, 16, "0.22", {"--blocksize=4096"}); // 9702 frames: two blocks and 1510
    Decoder d = open("b.flac");
    std::vector<audio16> out(2 * 2048);
    s32 position = -1;
    const struct {
        decoder_error result;
        s32 frames;
        s32 lastBlock; // the first sample of the last block decoded
    } calls[] = {{DECODER_ERROR_NOERROR, 2048, 0},    {DECODER_ERROR_NOERROR, 2048, 0},
                 {DECODER_ERROR_NOERROR, 2048, 4096}, {DECODER_ERROR_NOERROR, 2048, 4096},
                 {DECODER_ERROR_NOERROR, 1510, 8192}, {DECODER_ERROR_ENDOFFILE, 0, 8192}};
    for (const auto &call : calls) {
        s32 n = 2048;
        EXPECT_EQ(decoder_getSample(d.get(), out.data(), &n), call.result);
        EXPECT_EQ(n, call.frames);
        flac_GetSampleOffset(d.get(), &position);
        EXPECT_EQ(position, call.lastBlock);
    }
}

TEST_F(FlacReader, AStreamOfUnknownLengthStillPlaysAndSeeks) {
    const std::vector<audio16> reference = make("u.flac", 44100, 2, 16, "1");
    std::vector<unsigned char> bytes = orvtest::readFileBytes(dir.file("u.flac"));
    // The 36-bit total in the stream information: the low nibble of byte 21 and bytes 22 to 25.
    bytes[21] &= 0xF0;
    std::fill(bytes.begin() + 22, bytes.begin() + 26, 0);
    orvtest::writeFileBytes(dir.file("u.flac"), bytes);
    Decoder d = open("u.flac");
    EXPECT_EQ(d->durationInSamples, 0u);
    EXPECT_EQ(d->durationInMsExact, 0u);
    EXPECT_EQ(d->bitRate, 0);
    EXPECT_EQ(readFrames(d.get(), -1, 2048).samples, reference);
    ASSERT_EQ(decoder_setSampleOffset(d.get(), 30000), DECODER_ERROR_NOERROR);
    const Decoded slice = readFrames(d.get(), 500, 500);
    EXPECT_TRUE(std::equal(slice.samples.begin(), slice.samples.end(), reference.begin() + 2 * 30000));
}

TEST_F(FlacReader, AFailedSeekReportsItAndTheNextSeekRecovers) {
    const std::vector<audio16> reference = make("t.flac", 44100, 2, 16, "4");
    std::vector<unsigned char> bytes = orvtest::readFileBytes(dir.file("t.flac"));
    bytes.resize(bytes.size() / 2);
    orvtest::writeFileBytes(dir.file("t.flac"), bytes);
    Decoder d = open("t.flac");
    // The stream information still promises four seconds; the second half is gone.
    ASSERT_EQ(decoder_setSampleOffset(d.get(), 44100 * 3), DECODER_ERROR_NOERROR);
    s32 n = 100;
    std::vector<audio16> out(200);
    EXPECT_EQ(decoder_getSample(d.get(), out.data(), &n), DECODER_ERROR_OUTOFRANGE);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(d->lastError, DECODER_ERROR_OUTOFRANGE);
    n = 100;
    EXPECT_EQ(decoder_getSample(d.get(), out.data(), &n), DECODER_ERROR_ERROR);
    ASSERT_EQ(decoder_setSampleOffset(d.get(), 1000), DECODER_ERROR_NOERROR);
    const Decoded slice = readFrames(d.get(), 3000, 1000);
    EXPECT_EQ(slice.last, DECODER_ERROR_NOERROR);
    EXPECT_EQ(d->lastError, DECODER_ERROR_NOERROR);
    EXPECT_TRUE(std::equal(slice.samples.begin(), slice.samples.end(), reference.begin() + 2 * 1000));
}

TEST_F(FlacReader, DamagedFramesEndReadingWithAnErrorUntilASeek) {
    const std::vector<audio16> reference = make("x.flac", 44100, 2, 16, "2");
    std::vector<unsigned char> bytes = orvtest::readFileBytes(dir.file("x.flac"));
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 64; ++i) bytes[i] ^= 0x5A;
    orvtest::writeFileBytes(dir.file("x.flac"), bytes);
    Decoder d = open("x.flac");
    const Decoded all = readFrames(d.get(), -1, 2048);
    EXPECT_EQ(all.last, DECODER_ERROR_ERROR);
    EXPECT_GT(all.samples.size(), reference.size() / 4);
    EXPECT_LT(all.samples.size(), reference.size());
    EXPECT_TRUE(std::equal(all.samples.begin(), all.samples.end(), reference.begin()));
    ASSERT_EQ(decoder_setSampleOffset(d.get(), 0), DECODER_ERROR_NOERROR);
    const Decoded again = readFrames(d.get(), 4096, 2048);
    EXPECT_EQ(again.last, DECODER_ERROR_NOERROR);
    EXPECT_TRUE(std::equal(again.samples.begin(), again.samples.end(), reference.begin()));
}

TEST_F(FlacReader, ABuildPassDeliversNothing) {
    make("s.flac", 44100, 2, 16, "0.1");
    Decoder d = open("s.flac", DECODER_MODE_BUILDSEEK);
    std::vector<audio16> out(2 * 512);
    s32 n = 512;
    EXPECT_EQ(decoder_getSample(d.get(), out.data(), &n), DECODER_ERROR_NOERROR);
    EXPECT_EQ(n, 0);
}

} // namespace
