// The decoder's public calls: sync search, header checks, frame geometry, the bit reservoir
// after a jump and across size-only frames, free format, the caller-given frame size, the
// down-sample factors, and refusals of input that would overrun a buffer.
#include "codecs/mp3dec/mp3common.h"
#include "mp3fixtures.h"
#include "orvsys/orvconfig.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

using Bytes = std::vector<unsigned char>;
constexpr short kSentinel = 0x5A5A;

struct DecoderDeleter {
    void operator()(MP3DecInfo *d) const { MP3FreeDecoder(d); }
};
using Decoder = std::unique_ptr<MP3DecInfo, DecoderDeleter>;
Decoder newDecoder() {
    return Decoder(MP3InitDecoder());
}

// Start offsets of the frames of a stream that has no tag before its first frame.
std::vector<size_t> frameOffsets(const Bytes &mp3) {
    std::vector<size_t> offsets;
    Decoder d = newDecoder();
    MP3FrameInfo info;
    size_t pos = 0;
    while (pos + 6 < mp3.size() && MP3GetNextFrameInfo(d.get(), &info, mp3.data() + pos) == ERR_MP3_NONE) {
        offsets.push_back(pos);
        pos +=
            static_cast<size_t>(lmp3_slotTab[d->version][d->FrameHeaderPS->srIdx][d->FrameHeaderPS->brIdx] +
                                d->FrameHeaderPS->paddingBit);
    }
    return offsets;
}

int mainDataBeginAt(const Bytes &mp3, size_t offset) {
    const unsigned char *side = mp3.data() + offset + ((mp3[offset + 1] & 1) ? 4 : 6);
    return (side[0] << 1) | (side[1] >> 7); // MPEG-1: 9 bits
}

class Mp3DecApi : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(mp3test::haveTools({"sox", "lame"}));
        dir_ = new orvtest::TempDir;
        const std::vector<std::string> noise = {"1.5", "pinknoise", "vol", "-6dB"};
        stereo_ = new Bytes(load({"api_stereo", 44100, 2, noise, {"-b", "128"}}));
        mono2_ = new Bytes(load({"api_mono_mpeg2", 22050, 1, noise, {"-m", "m", "-b", "32"}}));
        monoMpeg1_ = new Bytes(load({"api_mono_mpeg1", 44100, 1, noise, {"-m", "m", "-b", "64"}}));
        free_ = new Bytes(load({"api_free", 44100, 2, noise, {"--freeformat", "-b", "320"}}));
    }
    static void TearDownTestSuite() {
        delete stereo_;
        delete mono2_;
        delete monoMpeg1_;
        delete free_;
        delete dir_;
    }
    static Bytes load(const mp3test::Fixture &fx) {
        return orvtest::readFileBytes(mp3test::makeMp3(dir_->path().string(), fx));
    }

    static orvtest::TempDir *dir_;
    static Bytes *stereo_, *mono2_, *monoMpeg1_, *free_;
};
orvtest::TempDir *Mp3DecApi::dir_ = nullptr;
Bytes *Mp3DecApi::stereo_ = nullptr;
Bytes *Mp3DecApi::mono2_ = nullptr;
Bytes *Mp3DecApi::monoMpeg1_ = nullptr;
Bytes *Mp3DecApi::free_ = nullptr;

TEST(Mp3DecSync, FindsTheFirstElevenSetBits) {
    struct Case {
        Bytes bytes;
        int expected;
    };
    const Case cases[] = {
        {{}, -1},
        {{0xFF}, -1},
        {{0xFF, 0xE0}, 0},
        {{0x00, 0xFF, 0xFB}, 1},
        {{0xFF, 0xDF, 0x12, 0xFF, 0xF3}, 3},
        {{0xE0, 0xFF}, -1},
        {{0x12, 0x34, 0xFF}, -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(MP3FindSyncWord(c.bytes.data(), static_cast<int>(c.bytes.size())), c.expected);
    EXPECT_EQ(MP3FindSyncWord(nullptr, 10), -1);
}

TEST(Mp3DecHeader, ReservedFieldsAreRefusedWithoutConsumingInput) {
    struct Case {
        const char *what;
        unsigned char b1, b2;
    };
    const Case cases[] = {
        {"sample-rate index 3", 0xFB, 0x9C},
        {"bit-rate index 15", 0xFB, 0xF0},
        {"layer bits 00", 0xF9, 0x90},
        {"layer I (its granules cannot hold a Layer III one)", 0xFF, 0x90},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Decoder d = newDecoder();
        Bytes frame(64, 0);
        frame[0] = 0xFF;
        frame[1] = c.b1;
        frame[2] = c.b2;
        std::vector<short> out(2 * 384, kSentinel); // a Layer I frame's worth of samples
        unsigned char *ptr = frame.data();
        int left = static_cast<int>(frame.size());
        EXPECT_EQ(MP3Decode(d.get(), &ptr, &left, out.data(), 0, 0, 1), ERR_MP3_INVALID_FRAMEHEADER);
        EXPECT_EQ(ptr, frame.data());
        EXPECT_EQ(left, 64);
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](short s) { return s == kSentinel; }));
        MP3FrameInfo info;
        EXPECT_EQ(MP3GetNextFrameInfo(d.get(), &info, frame.data()), ERR_MP3_INVALID_FRAMEHEADER);
    }
}

TEST(Mp3DecHeader, LastFrameInfoIsZeroUnlessTheLastHeaderWasLayerIII) {
    MP3FrameInfo info;
    std::memset(&info, 0x11, sizeof info);
    MP3GetLastFrameInfo(nullptr, &info);
    EXPECT_EQ(info.samprate, 0);

    Decoder d = newDecoder();
    std::memset(&info, 0x11, sizeof info);
    MP3GetLastFrameInfo(d.get(), &info);
    EXPECT_EQ(info.bitrate, 0);
    EXPECT_EQ(info.layer, 0);
    EXPECT_EQ(info.outputSamps, 0);

    const unsigned char layer2[6] = {0xFF, 0xFD, 0x90, 0x00, 0, 0};
    EXPECT_EQ(MP3GetNextFrameInfo(d.get(), &info, layer2), ERR_MP3_INVALID_FRAMEHEADER);
    std::memset(&info, 0x11, sizeof info);
    MP3GetLastFrameInfo(d.get(), &info);
    EXPECT_EQ(info.nChans, 0);
    EXPECT_EQ(info.version, 0);
    EXPECT_EQ(MP3GetNextFrameInfo(nullptr, &info, layer2), ERR_MP3_NULL_POINTER);
}

TEST_F(Mp3DecApi, FrameGeometryOfMpeg1StereoAndMpeg2Mono) {
    struct Case {
        const Bytes *mp3;
        int samples, rate, chans, version, bitrate;
    };
    const Case cases[] = {{stereo_, 2304, 44100, 2, MPEG1, 128000}, {mono2_, 576, 22050, 1, MPEG2, 32000}};
    for (const Case &c : cases) {
        Decoder d = newDecoder();
        Bytes mp3 = *c.mp3;
        MP3FrameInfo info;
        ASSERT_EQ(MP3GetNextFrameInfo(d.get(), &info, mp3.data()), ERR_MP3_NONE);
        EXPECT_EQ(info.outputSamps, c.samples);
        EXPECT_EQ(info.samprate, c.rate);
        EXPECT_EQ(info.nChans, c.chans);
        EXPECT_EQ(info.version, c.version);
        EXPECT_EQ(info.bitrate, c.bitrate);
        EXPECT_EQ(info.bitsPerSample, 16);
        EXPECT_EQ(info.layer, 3);

        std::vector<short> out(2304 + 64, kSentinel);
        unsigned char *ptr = mp3.data();
        int left = static_cast<int>(mp3.size());
        ASSERT_EQ(MP3Decode(d.get(), &ptr, &left, out.data(), 0, 0, 1), ERR_MP3_NONE);
        EXPECT_TRUE(std::all_of(out.begin() + c.samples, out.end(), [](short s) { return s == kSentinel; }));
        EXPECT_EQ(static_cast<int>(mp3.size()) - left, frameOffsets(mp3)[1]);
    }
}

TEST_F(Mp3DecApi, JumpIntoTheMiddlePlaysSilenceUntilTheReservoirHasFilled) {
    const std::vector<size_t> offsets = frameOffsets(*stereo_);
    size_t k = 10;
    while (k + 3 < offsets.size() && mainDataBeginAt(*stereo_, offsets[k]) == 0) ++k;
    ASSERT_LT(k + 3, offsets.size()) << "no frame borrowing from the reservoir";

    Decoder d = newDecoder();
    Bytes mp3 = *stereo_;
    unsigned char *ptr = mp3.data() + offsets[k];
    int left = static_cast<int>(mp3.size() - offsets[k]);
    std::vector<short> out(2304, kSentinel);
    EXPECT_EQ(MP3Decode(d.get(), &ptr, &left, out.data(), 0, 0, 1), ERR_MP3_MAINDATA_UNDERFLOW);
    EXPECT_EQ(ptr, mp3.data() + offsets[k + 1]) << "the whole frame is consumed";
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](short s) { return s == 0; }));
    int decoded = 0;
    for (int i = 0; i < 3; ++i)
        decoded += MP3Decode(d.get(), &ptr, &left, out.data(), 0, 0, 1) == ERR_MP3_NONE;
    EXPECT_GE(decoded, 2);
}

TEST_F(Mp3DecApi, SizeOnlyFramesKeepTheReservoirSoDecodingResumesExactly) {
    const std::vector<size_t> offsets = frameOffsets(*stereo_);
    ASSERT_GT(offsets.size(), 20u);
    Bytes a = *stereo_, b = *stereo_;
    Decoder full = newDecoder(), skipping = newDecoder();
    unsigned char *pa = a.data(), *pb = b.data();
    int la = static_cast<int>(a.size()), lb = la;
    std::vector<short> outA(2304), outB(2304, kSentinel);
    constexpr int kSizeOnly = 9;
    for (int f = 0; f < 20; ++f) {
        ASSERT_EQ(MP3Decode(full.get(), &pa, &la, outA.data(), 0, 0, 1), ERR_MP3_NONE);
        const int errB = MP3Decode(skipping.get(), &pb, &lb, outB.data(), 0, f < kSizeOnly ? 1 : 0, 1);
        ASSERT_EQ(errB, ERR_MP3_NONE) << "frame " << f;
        ASSERT_EQ(pa - a.data(), pb - b.data());
        if (f < kSizeOnly) {
            EXPECT_EQ(outB[0], kSentinel) << "size-only frames write nothing";
        }
        // Overlap and synthesis history settle within one frame after decoding resumes.
        if (f >= kSizeOnly + 2) {
            EXPECT_EQ(outA, outB) << "frame " << f;
        }
    }
}

TEST_F(Mp3DecApi, FreeFormatTakesItsSizeFromTheNextHeader) {
    ASSERT_EQ((*free_)[2] >> 4, 0) << "lame did not write free format";
    const mp3test::Decoded decoded = mp3test::decodeStream(*free_);
    EXPECT_EQ(decoded.errors, 0);
    EXPECT_NEAR(decoded.info.bitrate, 320000, 320000 / 100);

    // Only one frame: no second header to measure it by.
    Decoder d = newDecoder();
    Bytes first(free_->begin(), free_->begin() + 400);
    unsigned char *ptr = first.data();
    int left = static_cast<int>(first.size());
    std::vector<short> out(2304, kSentinel);
    EXPECT_EQ(MP3Decode(d.get(), &ptr, &left, out.data(), 0, 0, 1), ERR_MP3_FREE_BITRATE_SYNC);
    EXPECT_EQ(out[0], 0);
}

TEST_F(Mp3DecApi, FreeFormatFrameLargerThanTheReservoirIsRefused) {
    // The first free-format frame with its next header 2400 bytes on.
    Bytes frame(free_->begin(), free_->begin() + 40);
    frame.resize(2400, 0);
    frame.insert(frame.end(), free_->begin(), free_->begin() + 40);
    Decoder d = newDecoder();
    unsigned char *ptr = frame.data();
    int left = static_cast<int>(frame.size());
    std::vector<short> out(2304, kSentinel);
    EXPECT_EQ(MP3Decode(d.get(), &ptr, &left, out.data(), 0, 0, 1), ERR_MP3_INVALID_FRAMEHEADER);
    EXPECT_EQ(out[100], 0);
}

TEST_F(Mp3DecApi, CallerGivenFrameSizeMustFitTheInput) {
    const std::vector<size_t> offsets = frameOffsets(*stereo_);
    const int size0 = static_cast<int>(offsets[1]);
    struct Case {
        const char *what;
        int useSize, bytesLeft, expected;
    };
    const Case cases[] = {
        {"exact size", size0, size0, ERR_MP3_NONE},
        {"larger than the input", size0 + 100, size0, ERR_MP3_INDATA_UNDERFLOW},
        {"no room for main data", 20, size0, ERR_MP3_INVALID_FRAMEHEADER},
        {"whole input as main data", 1, size0, ERR_MP3_NONE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes mp3(stereo_->begin(), stereo_->begin() + c.bytesLeft);
        Decoder d = newDecoder();
        unsigned char *ptr = mp3.data();
        int left = c.bytesLeft;
        std::vector<short> out(2304, kSentinel);
        EXPECT_EQ(MP3Decode(d.get(), &ptr, &left, out.data(), c.useSize, 0, 1), c.expected);
        if (c.expected == ERR_MP3_NONE) {
            EXPECT_EQ(left, 0);
        }
    }
}

TEST_F(Mp3DecApi, ShortInputAndBadArgumentsConsumeNothing) {
    Bytes mp3 = *stereo_;
    Decoder d = newDecoder();
    std::vector<short> out(2304, kSentinel);
    struct Case {
        const char *what;
        int bytesLeft, factor, expected;
    };
    const Case cases[] = {
        {"header only", 4, 1, ERR_MP3_INDATA_UNDERFLOW},
        {"side information cut", 20, 1, ERR_MP3_INDATA_UNDERFLOW},
        {"nothing", 0, 1, ERR_MP3_INDATA_UNDERFLOW},
        {"factor 0", 1000, 0, ERR_MP3_INVALID_SUBBAND},
        {"main data cut", 200, 1, ERR_MP3_INDATA_UNDERFLOW},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        unsigned char *ptr = mp3.data();
        int left = c.bytesLeft;
        EXPECT_EQ(MP3Decode(d.get(), &ptr, &left, out.data(), 0, 0, c.factor), c.expected);
        if (c.bytesLeft < 36 || c.factor == 0) {
            EXPECT_EQ(ptr, mp3.data());
        }
    }
    unsigned char *ptr = mp3.data();
    int left = 100;
    EXPECT_EQ(MP3Decode(nullptr, &ptr, &left, out.data(), 0, 0, 1), ERR_MP3_NULL_POINTER);
    EXPECT_EQ(MP3Decode(d.get(), &ptr, &left, nullptr, 0, 0, 1), ERR_MP3_NULL_POINTER);
}

TEST_F(Mp3DecApi, ReducedRatesWriteTheirShareOfTheFrame) {
    struct Case {
        const Bytes *mp3;
        int factor;
        int written; // samples, or 0 when the configuration writes nothing
    };
    const bool desktop = orv::kDesktopConfig;
    const Case cases[] = {
        {stereo_, 2, desktop ? 1152 : 0},
        {stereo_, 4, desktop ? 576 : 0},
        {monoMpeg1_, 4, 720}, // granule 1 lands at 144 and stands whole
        {monoMpeg1_, 2, 288 + 576},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.factor);
        Bytes mp3 = *c.mp3;
        Decoder d = newDecoder();
        std::vector<short> out(2304 + 16, kSentinel);
        unsigned char *ptr = mp3.data();
        int left = static_cast<int>(mp3.size());
        // A few frames, so the output is not silence.
        for (int f = 0; f < 6; ++f) {
            std::fill(out.begin(), out.end(), kSentinel);
            const SubbandInfo before = *d->SubbandInfoPS;
            ASSERT_EQ(MP3Decode(d.get(), &ptr, &left, out.data(), 0, 0, c.factor), ERR_MP3_NONE);
            const int written = static_cast<int>(
                std::find_if(out.rbegin(), out.rend(), [](short s) { return s != kSentinel; }).base() -
                out.begin());
            if (f >= 2) {
                EXPECT_EQ(written, c.written);
            }
            if (c.written == 0) {
                EXPECT_EQ(std::memcmp(&before, d->SubbandInfoPS, sizeof before), 0) << "history unchanged";
            }
        }
    }
}

} // namespace
