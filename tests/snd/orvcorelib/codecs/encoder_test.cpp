// The WAV writer (headers patched at close, refused names and formats, float input, the size
// limit, blocks larger than the buffer, reopening) and the file conversion.
#include "codecs/decoder/decoder_convert.h"
#include "codecs/encoder/encoder.h"
#include "codecs_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <numeric>
#include <vector>

using namespace codectest;

namespace {

struct EncoderDeleter {
    void operator()(encoder_struct *e) const { encoder_destroy(e); }
};
using Encoder = std::unique_ptr<encoder_struct, EncoderDeleter>;

u32 le32At(const std::vector<unsigned char> &b, size_t at) {
    return u32{b[at]} | (u32{b[at + 1]} << 8) | (u32{b[at + 2]} << 16) | (u32{b[at + 3]} << 24);
}

std::vector<audio16> ramp(size_t count, int from = 0) {
    std::vector<audio16> v(count);
    for (size_t i = 0; i < count; ++i) v[i] = static_cast<audio16>(from + static_cast<int>(i));
    return v;
}

class WavWriter : public ::testing::Test {
  protected:
    orvtest::TempDir dir;
};

TEST_F(WavWriter, ASecondOfStereoGetsItsHeaderPatchedAtClose) {
    Encoder e(encoder_new(ENCODER_SAMPLE_FORMAT_INT16, 512));
    const std::string path = dir.file("rec.wav");
    ASSERT_EQ(encoder_open(e.get(), path.c_str(), 44100, ENCODER_SAMPLE_FORMAT_INT16, 2),
              ENCODER_ERROR_NOERROR);
    std::vector<unsigned char> bytes = orvtest::readFileBytes(path);
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(le32At(bytes, 4), 0u);
    EXPECT_EQ(le32At(bytes, 40), 0u);
    std::vector<audio16> all;
    for (int block = 0; block * 256 < 44100; ++block) {
        const u32 frames = std::min(256, 44100 - block * 256);
        const std::vector<audio16> samples = ramp(2 * frames, block * 512);
        ASSERT_EQ(encoder_addSamples(e.get(), samples.data(), frames), ENCODER_ERROR_NOERROR);
        all.insert(all.end(), samples.begin(), samples.end());
    }
    encoder_close(e.get());
    bytes = orvtest::readFileBytes(path);
    ASSERT_EQ(bytes.size(), 44u + 44100 * 4);
    const std::vector<unsigned char> header(bytes.begin(), bytes.begin() + 36);
    const std::vector<unsigned char> expected = Bytes()
                                                    .text("RIFF")
                                                    .le32(static_cast<u32>(bytes.size() - 8))
                                                    .text("WAVE")
                                                    .text("fmt ")
                                                    .le32(16)
                                                    .le16(1)
                                                    .le16(2)
                                                    .le32(44100)
                                                    .le32(44100 * 4)
                                                    .le16(4)
                                                    .le16(16)
                                                    .data;
    EXPECT_EQ(header, expected);
    EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
    EXPECT_EQ(le32At(bytes, 40), 44100u * 4);
    EXPECT_EQ(wavSamples(path), all);
    EXPECT_EQ(encoder_addSamples(e.get(), all.data(), 1), ENCODER_ERROR_ERROR);
}

TEST_F(WavWriter, RefusedRequestsCreateNoFile) {
    const struct {
        const char *name;
        sample_format fileFormat;
        u32 rate, channels;
        encoder_error expected;
    } cases[] = {
        {"a.WAV", ENCODER_SAMPLE_FORMAT_INT16, 44100, 2, ENCODER_ERROR_NOTSUPPORTED_FILEFORMAT},
        {"a", ENCODER_SAMPLE_FORMAT_INT16, 44100, 2, ENCODER_ERROR_NOTSUPPORTED_FILEFORMAT},
        {"a.wav.tmp", ENCODER_SAMPLE_FORMAT_INT16, 44100, 2, ENCODER_ERROR_NOTSUPPORTED_FILEFORMAT},
        {"a.wav", ENCODER_SAMPLE_FORMAT_FLOAT32, 44100, 2, ENCODER_ERROR_NOTSUPPORTED_BITRATE},
        {"a.wav", ENCODER_SAMPLE_FORMAT_INT16, 44100, 0, ENCODER_ERROR_NOTSUPPORTED_NUMCHANS},
        {"a.wav", ENCODER_SAMPLE_FORMAT_INT16, 0, 2, ENCODER_ERROR_NOTSUPPORTED_SAMPLERATE},
    };
    for (const auto &c : cases) {
        Encoder e(encoder_new(ENCODER_SAMPLE_FORMAT_INT16, 512));
        EXPECT_EQ(encoder_open(e.get(), dir.file(c.name).c_str(), c.rate, c.fileFormat, c.channels),
                  c.expected)
            << c.name;
        EXPECT_EQ(e->lastError, c.expected) << c.name;
        EXPECT_FALSE(std::filesystem::exists(dir.file(c.name))) << c.name;
        const audio16 samples[4] = {};
        EXPECT_EQ(encoder_addSamples(e.get(), samples, 1), ENCODER_ERROR_ERROR) << c.name;
    }
    Encoder e(encoder_new(ENCODER_SAMPLE_FORMAT_INT16, 512));
    EXPECT_EQ(
        encoder_open(e.get(), dir.file("no/such/folder.wav").c_str(), 44100, ENCODER_SAMPLE_FORMAT_INT16, 2),
        ENCODER_ERROR_OPENFILEFAILED);
    // A refused request is no obstacle to the next good one.
    EXPECT_EQ(encoder_open(e.get(), dir.file("ok.wav").c_str(), 44100, ENCODER_SAMPLE_FORMAT_INT16, 2),
              ENCODER_ERROR_NOERROR);
    EXPECT_EQ(encoder_new(static_cast<sample_format>(3), 16), nullptr);
}

TEST_F(WavWriter, FloatSamplesAreScaledTruncatedAndSaturated) {
    const struct {
        double in;
        audio16 out;
    } cases[] = {{0.5, 16384},   {-1.0, -32768}, {1.0, 32767},       {1.5, 32767},
                 {-3.0, -32768}, {0.0, 0},       {0.99999, 32767},   {-0.99999, -32767},
                 {1e-6, 0},      {-1e-6, 0},     {0.25 + 1e-9, 8192}};
    for (sample_format format : {ENCODER_SAMPLE_FORMAT_FLOAT32, ENCODER_SAMPLE_FORMAT_FLOAT64}) {
        Encoder e(encoder_new(format, 64));
        const std::string path = dir.file("f.wav");
        ASSERT_EQ(encoder_open(e.get(), path.c_str(), 8000, ENCODER_SAMPLE_FORMAT_INT16, 1),
                  ENCODER_ERROR_NOERROR);
        std::vector<float> floats;
        std::vector<double> doubles;
        std::vector<audio16> expected;
        for (const auto &c : cases) {
            floats.push_back(static_cast<float>(c.in));
            doubles.push_back(c.in);
            expected.push_back(c.out);
        }
        floats.push_back(std::numeric_limits<float>::quiet_NaN());
        doubles.push_back(std::numeric_limits<double>::quiet_NaN());
        expected.push_back(0);
        const void *in = format == ENCODER_SAMPLE_FORMAT_FLOAT32 ? static_cast<const void *>(floats.data())
                                                                 : static_cast<const void *>(doubles.data());
        ASSERT_EQ(encoder_addSamples(e.get(), in, static_cast<u32>(expected.size())), ENCODER_ERROR_NOERROR);
        encoder_close(e.get());
        EXPECT_EQ(wavSamples(path), expected) << format;
    }
}

TEST_F(WavWriter, BlocksLargerThanTheBufferGoStraightThroughInOrder) {
    for (sample_format format : {ENCODER_SAMPLE_FORMAT_INT16, ENCODER_SAMPLE_FORMAT_FLOAT32}) {
        Encoder e(encoder_new(format, 16));
        const std::string path = dir.file("big.wav");
        ASSERT_EQ(encoder_open(e.get(), path.c_str(), 44100, ENCODER_SAMPLE_FORMAT_INT16, 2),
                  ENCODER_ERROR_NOERROR);
        std::vector<audio16> expected;
        for (u32 frames : {3u, 5000u, 4u, 8u, 9000u, 1u}) {
            const std::vector<audio16> samples = ramp(2 * frames, static_cast<int>(expected.size()));
            expected.insert(expected.end(), samples.begin(), samples.end());
            std::vector<float> floats(samples.size());
            for (size_t i = 0; i < samples.size(); ++i) floats[i] = samples[i] / 32768.0f;
            const void *in = format == ENCODER_SAMPLE_FORMAT_INT16 ? static_cast<const void *>(samples.data())
                                                                   : static_cast<const void *>(floats.data());
            ASSERT_EQ(encoder_addSamples(e.get(), in, frames), ENCODER_ERROR_NOERROR);
        }
        encoder_close(e.get());
        EXPECT_EQ(wavSamples(path), expected) << format;
    }
}

TEST_F(WavWriter, TheSizeLimitStopsTheFileAtItsValue) {
    Encoder e(encoder_new(ENCODER_SAMPLE_FORMAT_INT16, 512));
    const std::string path = dir.file("long.wav");
    ASSERT_EQ(encoder_open(e.get(), path.c_str(), 44100, ENCODER_SAMPLE_FORMAT_INT16, 2),
              ENCODER_ERROR_NOERROR);
    const std::vector<audio16> block = ramp(512);
    ASSERT_EQ(encoder_addSamples(e.get(), block.data(), 100), ENCODER_ERROR_NOERROR);
    // Pretend the file already holds all but 1000 bytes of the largest size.
    const u64 written = e->fileSize;
    e->fileSize = kEncoderMaxFileSize - 1000;
    // 100 frames buffered (400 bytes) and 150 more (600 bytes) reach the limit exactly.
    EXPECT_EQ(encoder_addSamples(e.get(), block.data(), 150), ENCODER_ERROR_NOERROR);
    EXPECT_EQ(encoder_addSamples(e.get(), block.data(), 1), ENCODER_ERROR_FILE_EXCEED_MAX_SIZE);
    // The refusal wrote what was buffered and nothing of the refused block.
    EXPECT_EQ(e->bufferOffset, 0u);
    EXPECT_EQ(e->fileSize, kEncoderMaxFileSize);
    encoder_close(e.get());
    EXPECT_EQ(std::filesystem::file_size(path), written + 1000);
    EXPECT_EQ(kEncoderMaxFileSize, 0x70000000u);
}

TEST_F(WavWriter, OpeningAgainCompletesTheFirstFile) {
    Encoder e(encoder_new(ENCODER_SAMPLE_FORMAT_INT16, 512));
    const std::vector<audio16> samples = ramp(20);
    ASSERT_EQ(encoder_open(e.get(), dir.file("one.wav").c_str(), 44100, ENCODER_SAMPLE_FORMAT_INT16, 2),
              ENCODER_ERROR_NOERROR);
    encoder_addSamples(e.get(), samples.data(), 10);
    ASSERT_EQ(encoder_open(e.get(), dir.file("two.wav").c_str(), 22050, ENCODER_SAMPLE_FORMAT_INT16, 1),
              ENCODER_ERROR_NOERROR);
    const std::vector<unsigned char> one = orvtest::readFileBytes(dir.file("one.wav"));
    ASSERT_EQ(one.size(), 84u);
    EXPECT_EQ(le32At(one, 40), 40u);
    EXPECT_EQ(wavSamples(dir.file("one.wav")), samples);
    encoder_addSamples(e.get(), samples.data(), 3);
    e.reset(); // destroying an open writer completes its file too
    const std::vector<unsigned char> two = orvtest::readFileBytes(dir.file("two.wav"));
    ASSERT_EQ(two.size(), 50u);
    EXPECT_EQ(le32At(two, 24), 22050u);
    EXPECT_EQ(le32At(two, 40), 6u);
}

TEST_F(WavWriter, ThreeChannelsAreStoredWithoutHeader) {
    Encoder e(encoder_new(ENCODER_SAMPLE_FORMAT_INT16, 512));
    const std::vector<audio16> samples = ramp(9, 100);
    ASSERT_EQ(encoder_open(e.get(), dir.file("multi.wav").c_str(), 44100, ENCODER_SAMPLE_FORMAT_INT16, 3),
              ENCODER_ERROR_NOERROR);
    encoder_addSamples(e.get(), samples.data(), 3);
    encoder_close(e.get());
    const std::vector<unsigned char> bytes = orvtest::readFileBytes(dir.file("multi.wav"));
    ASSERT_EQ(bytes.size(), 18u);
    EXPECT_EQ(bytes[0], 100);
}

TEST(ByteHelpers, StoreOnlyWhereThereIsRoom) {
    std::vector<u8> buffer(7, 0);
    u8 *p = buffer.data();
    u32 left = 7;
    pack32BE(0x01020304, &p, &left);
    pack16LE(0x0506, &p, &left);
    pack32LE(0x0708090A, &p, &left); // 1 byte left: nothing
    pack16LE(0x0B0C, &p, &left);     // nothing either
    EXPECT_EQ(buffer, (std::vector<u8>{1, 2, 3, 4, 6, 5, 0}));
    EXPECT_EQ(left, 1u);
    u8 words[4] = {1, 2, 3, 4};
    swap16(words, 2);
    EXPECT_EQ(std::vector<u8>(words, words + 4), (std::vector<u8>{2, 1, 4, 3}));
    EXPECT_EQ(TestBigEndian(), 0);
}

class Conversion : public ::testing::Test {
  protected:
    orvtest::TempDir dir;
};

TEST_F(Conversion, WritesTheRequestedSpan) {
    const std::string in = dir.file("in.wav");
    sox({"-n", "-r", "44100", "-c", "2", "-b", "16", in, "synth", "2", "whitenoise", "vol", "0.5"});
    const std::vector<audio16> source = wavSamples(in);
    const std::string out = dir.file("out.wav");
    testing::internal::CaptureStdout();
    EXPECT_EQ(decoder_convertToWaveFile(in.c_str(), out.c_str(), nullptr, 500, 250), DECODER_ERROR_NOERROR);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("\nconvert done in "), std::string::npos);
    const std::vector<audio16> converted = wavSamples(out);
    ASSERT_EQ(converted.size(), 2u * 11025);
    EXPECT_TRUE(std::equal(converted.begin(), converted.end(), source.begin() + 2 * 22050));
}

TEST_F(Conversion, MonoAtAnotherRateBecomesStereoAt44100) {
    const std::string in = dir.file("in.aiff");
    sox({"-n", "-r", "22050", "-c", "1", "-b", "16", in, "synth", "1", "sine", "440", "vol", "0.5"});
    const std::string out = dir.file("out.wav");
    testing::internal::CaptureStdout();
    EXPECT_EQ(decoder_convertToWaveFile(in.c_str(), out.c_str(), nullptr, 100, 400), DECODER_ERROR_NOERROR);
    testing::internal::GetCapturedStdout();
    const std::vector<audio16> converted = wavSamples(out);
    ASSERT_EQ(converted.size(), 2u * 17640);
    // The same span read through a decoder with a seek.
    Decoder d = makeDecoder(44100, true);
    ASSERT_EQ(decoder_open(d.get(), in.c_str(), DECODER_MODE_DECODE, nullptr, 0, SRC_QUALITY_MID),
              DECODER_ERROR_NOERROR);
    decoder_setSampleOffset(d.get(), 4410);
    EXPECT_EQ(readFrames(d.get(), 17640, 2048).samples, converted);
}

TEST_F(Conversion, ASpanPastTheEndStopsAtTheEnd) {
    const std::string in = dir.file("short.wav");
    sox({"-n", "-r", "44100", "-c", "2", "-b", "16", in, "synth", "0.1", "sine", "440"});
    const std::string out = dir.file("out.wav");
    testing::internal::CaptureStdout();
    decoder_convertToWaveFile(in.c_str(), out.c_str(), nullptr, 50, 60000);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(wavSamples(out).size(), 2u * (4410 - 2205));
}

TEST_F(Conversion, FailuresAreReported) {
    const std::string in = dir.file("in.wav");
    sox({"-n", "-r", "44100", "-c", "2", "-b", "16", in, "synth", "0.1", "sine", "440"});
    EXPECT_EQ(
        decoder_convertToWaveFile(dir.file("none.wav").c_str(), dir.file("o.wav").c_str(), nullptr, 0, 100),
        DECODER_ERROR_OPENFILEFAILED);
    EXPECT_EQ(decoder_convertToWaveFile(in.c_str(), dir.file("o.WAV").c_str(), nullptr, 0, 100),
              DECODER_ERROR_NOTSUPPORTED_FILEFORMAT);
    EXPECT_FALSE(std::filesystem::exists(dir.file("o.WAV")));
    // A raw file cannot seek: nothing is written.
    orvtest::writeFileBytes(dir.file("in.raw"), std::vector<unsigned char>(4000, 0));
    EXPECT_EQ(
        decoder_convertToWaveFile(dir.file("in.raw").c_str(), dir.file("r.wav").c_str(), nullptr, 0, 100),
        DECODER_ERROR_NOERROR);
    EXPECT_FALSE(std::filesystem::exists(dir.file("r.wav")));
}

} // namespace
