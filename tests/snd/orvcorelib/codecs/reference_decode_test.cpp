// Every PCM container and FLAC, decoded through the front end at the file's own rate, against
// sox's or flac's own decoding of the same file: the whole file in requests of several sizes,
// and slices after seeks (into blocks, across block edges, at the very end).
#include "codecs_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace codectest;

namespace {

struct Fixture {
    std::string name; // the file's name, which gives its format
    int rate;
    int channels;
    // Makes the file in the folder and returns sox's or flac's decoding as 16-bit samples.
    std::function<std::vector<audio16>(const orvtest::TempDir &, const std::string &)> make;
};

// A short burst of noise over a sweep: every bit of every sample in use, deterministic (-R).
// WAV files get the plain integer header ("wavpcm"), which sox otherwise leaves for the
// extensible one above 16 bits.
std::vector<std::string> signal(int rate, int channels, int bits, const std::string &path) {
    std::vector<std::string> args{
        "-n", "-r", std::to_string(rate), "-c", std::to_string(channels), "-b", std::to_string(bits)};
    if (path.ends_with(".wav")) args.insert(args.end(), {"-t", "wavpcm"});
    args.insert(args.end(), {path, "synth", "0.6", "sine", "100-9000", "whitenoise", "vol", "0.9"});
    return args;
}

Fixture soxFile(const std::string &name, int rate, int channels, int bits) {
    return {name, rate, channels, [=](const orvtest::TempDir &dir, const std::string &path) {
                sox(signal(rate, channels, bits, path));
                return highBytes(soxReference(path));
            }};
}

// A standard AIFF made by sox, stored byte-reversed; sox decodes the standard one.
Fixture reversedAiff(const std::string &name, int rate, int channels, int bits) {
    return {name, rate, channels, [=](const orvtest::TempDir &dir, const std::string &path) {
                const std::string standard = dir.file("standard.aiff");
                sox(signal(rate, channels, bits, standard));
                orvtest::writeFileBytes(path, reverseAiff(orvtest::readFileBytes(standard)));
                return highBytes(soxReference(standard));
            }};
}

Fixture rawFile(const std::string &name) {
    return {name, 44100, 2, [=](const orvtest::TempDir &dir, const std::string &path) {
                sox(signal(44100, 2, 16, dir.file("r.wav")));
                const std::vector<audio16> samples = wavSamples(dir.file("r.wav"));
                std::vector<unsigned char> bytes(samples.size() * 2);
                for (size_t i = 0; i < samples.size(); ++i) {
                    bytes[2 * i] = static_cast<unsigned char>(samples[i]);
                    bytes[2 * i + 1] = static_cast<unsigned char>(static_cast<u16>(samples[i]) >> 8);
                }
                orvtest::writeFileBytes(path, bytes);
                return samples;
            }};
}

Fixture flacFile(const std::string &name, int rate, int channels, int bits, const std::string &blockSize) {
    return {name, rate, channels, [=](const orvtest::TempDir &dir, const std::string &path) {
                const std::string wav = dir.file("source.wav");
                sox(signal(rate, channels, bits, wav));
                flacEncode(wav, path, {"--blocksize=" + blockSize, "--lax"});
                return scaledTo16(flacReference(path, bits), bits);
            }};
}

const Fixture kFixtures[] = {
    soxFile("wav8mono.wav", 22050, 1, 8),
    soxFile("wav16.wav", 44100, 2, 16),
    soxFile("wav24.wav", 44100, 2, 24),
    soxFile("wav24mono.wav", 11025, 1, 24),
    soxFile("aiff8mono.aiff", 44100, 1, 8),
    soxFile("aiff16.aif", 44100, 2, 16),
    soxFile("aiff24.aiff", 24000, 2, 24),
    reversedAiff("rev8.aiff", 22050, 1, 8),
    reversedAiff("rev16.aiff", 44100, 2, 16),
    reversedAiff("rev24.aif", 44100, 2, 24),
    rawFile("pcm.raw"),
    rawFile("pcm.PCM"),
    flacFile("flac16.flac", 44100, 2, 16, "4096"),
    flacFile("flac24.flac", 44100, 2, 24, "4608"),
    flacFile("flac8mono.flac", 22050, 1, 8, "1152"),
    flacFile("flac16mono.flac", 11025, 1, 16, "16384"),
    flacFile("flac16small.flac", 44100, 2, 16, "192"),
    flacFile("flac24big.flac", 24000, 2, 24, "8192"),
};

class ReferenceDecode : public ::testing::TestWithParam<Fixture> {
  protected:
    void SetUp() override {
        path = dir.file(GetParam().name);
        reference = GetParam().make(dir, path);
        ASSERT_FALSE(reference.empty());
    }
    Decoder open() {
        Decoder d = makeDecoder(GetParam().rate, false);
        EXPECT_EQ(decoder_open(d.get(), path.c_str(), DECODER_MODE_DECODE, nullptr, 0, SRC_QUALITY_MID),
                  DECODER_ERROR_NOERROR);
        EXPECT_EQ(d->srconvHandle, nullptr);
        return d;
    }
    long long frames() const { return static_cast<long long>(reference.size()) / GetParam().channels; }
    orvtest::TempDir dir;
    std::string path;
    std::vector<audio16> reference;
};

TEST_P(ReferenceDecode, TheWholeFileMatchesInRequestsOfAnySize) {
    for (s32 block : {2048, 1001, 64}) {
        Decoder d = open();
        EXPECT_EQ(d->numChannels, GetParam().channels);
        EXPECT_EQ(d->sampleRate, GetParam().rate);
        const Decoded all = readFrames(d.get(), -1, block);
        EXPECT_EQ(all.last, DECODER_ERROR_ENDOFFILE) << block;
        EXPECT_LE(all.shortReads, 1) << block;
        ASSERT_EQ(all.samples.size(), reference.size()) << block;
        EXPECT_TRUE(all.samples == reference) << "samples differ, request size " << block;
    }
}

TEST_P(ReferenceDecode, SlicesAfterSeeksMatch) {
    Decoder d = open();
    if (GetParam().name.find(".raw") != std::string::npos ||
        GetParam().name.find(".PCM") != std::string::npos) {
        GTEST_SKIP() << "raw files are read front to back only";
    }
    EXPECT_EQ(d->durationInSamplesExact, static_cast<u64>(frames()));
    const int channels = GetParam().channels;
    const long long targets[] = {
        frames() / 2 + 17, 0,       1, 4095, 4096, 4097, 8191, 12000, frames() - 100, 5, frames() - 1,
        frames() / 3,      frames()};
    for (long long target : targets) {
        if (target > frames()) continue;
        ASSERT_EQ(decoder_setSampleOffset(d.get(), target), DECODER_ERROR_NOERROR);
        const Decoded slice = readFrames(d.get(), 700, 300);
        const long long expectedFrames = std::min(700LL, frames() - target);
        ASSERT_EQ(static_cast<long long>(slice.samples.size()), expectedFrames * channels) << "at " << target;
        const auto from = reference.begin() + target * channels;
        EXPECT_TRUE(std::equal(slice.samples.begin(), slice.samples.end(), from))
            << "samples differ at " << target;
    }
    // Past the end: refused, and reading goes on where it was.
    ASSERT_EQ(decoder_setSampleOffset(d.get(), 100), DECODER_ERROR_NOERROR);
    readFrames(d.get(), 10, 10);
    ASSERT_EQ(decoder_setSampleOffset(d.get(), frames() + 1), DECODER_ERROR_NOERROR);
    const Decoded after = readFrames(d.get(), 5, 5);
    EXPECT_EQ(after.last, DECODER_ERROR_OUTOFRANGE);
    ASSERT_EQ(after.samples.size(), 5u * channels);
    EXPECT_TRUE(std::equal(after.samples.begin(), after.samples.end(), reference.begin() + 110 * channels));
}

std::string fixtureName(const ::testing::TestParamInfo<Fixture> &info) {
    std::string name;
    for (char c : info.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Files, ReferenceDecode, ::testing::ValuesIn(kFixtures), fixtureName);

} // namespace
