// The MP3 and ADTS/ADIF AAC stream readers through the decoder front end: what an open finds
// and estimates, what tags, junk and damaged frames change (nothing but their own frames), the
// quality requests each accepts, and seek-table loading.
#include "codecs/fileformat/aacaac.h"
#include "codecs/fileformat/mp3mp3.h"
#include "orvsys/orvconfig.h"
#include "snd/orvcorelib/codecs/codecs_support.h"
#include "streams_support.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

using namespace streamtest;
using codectest::Decoder;
using codectest::makeDecoder;
using codectest::readFrames;

namespace {

class StreamReader : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(haveTools({"sox", "lame", "ffmpeg"})) << "scripts/setup installs them";
    }

    // Opens a file with native channels at the output rate given.
    Decoder open(const std::string &path, s32 outputRate = 44100, const char *seekFile = nullptr,
                 decoder_error expected = DECODER_ERROR_NOERROR) {
        Decoder d = makeDecoder(outputRate, false);
        EXPECT_EQ(decoder_open(d.get(), path.c_str(), DECODER_MODE_DECODE, seekFile, 0, SRC_QUALITY_LOW),
                  expected)
            << path;
        return d;
    }
    std::vector<audio16> decodeAll(const std::string &path) {
        Decoder d = open(path);
        const codectest::Decoded all = readFrames(d.get(), -1, 1000);
        EXPECT_EQ(all.last, DECODER_ERROR_ENDOFFILE) << path;
        return all.samples;
    }
    std::string write(const std::string &name, const Bytes &bytes) {
        const std::string path = dir.file(name);
        orvtest::writeFileBytes(path, bytes);
        return path;
    }
    // A seek table made by a scan in build-seek-table mode.
    std::string scan(const std::string &path) {
        const std::string table = path + ".sek";
        Decoder d = makeDecoder(44100, false);
        EXPECT_EQ(
            decoder_open(d.get(), path.c_str(), DECODER_MODE_BUILDSEEK, table.c_str(), 1, SRC_QUALITY_LOW),
            DECODER_ERROR_NOERROR);
        s32 n = 0;
        audio16 none[4];
        for (int guard = 0; guard < 100000; ++guard) {
            n = 1;
            if (decoder_getSample(d.get(), none, &n) != DECODER_ERROR_NOERROR) break;
        }
        decoder_close(d.get());
        return table;
    }
    orvtest::TempDir dir;
};

TEST_F(StreamReader, AnMp3OpenFindsTheFirstFrameBehindItsTagAndEstimatesFromTheWholeFile) {
    const Bytes clean = orvtest::readFileBytes(fixturePath("stereo44.mp3"));
    const Bytes tagged = orvtest::readFileBytes(fixturePath("tagged.mp3"));
    const std::vector<Frame> frames = mp3Frames(clean);
    Decoder d = open(fixturePath("tagged.mp3"));
    const auto *c = static_cast<const mp3fileformat_t *>(d->fileformatHandle);
    EXPECT_EQ(c->firstFrameOffset, 4096u);
    EXPECT_EQ(d->codecType, CODEC_TYPE_MP3);
    EXPECT_EQ(d->audioFrameSize, 2304);
    EXPECT_EQ(d->bitRate, 128000);
    EXPECT_EQ(d->seekPosition, -1);
    EXPECT_EQ(d->durationInSamplesExact, 0u);
    EXPECT_EQ(d->durationInSamples, tagged.size() / frames[0].length * 1152);
    EXPECT_EQ(d->durationInMs, d->durationInSamples / 44100 * 1000);
    // 2048-frame requests at the file's own rate: the largest request plus two frames.
    EXPECT_EQ(c->pcm->pcmBufferSize, 2304 * 3);

    // Once decoded, the estimate counts the bytes after the tag (junk and trailing tag
    // included) at the mean bit rate: 128 kbit/s frames of 1152 / 44100 s.
    const codectest::Decoded all = readFrames(d.get(), -1, 2048);
    const double bytesPerFrame = 128000.0 / 8 * 1152 / 44100;
    const double estimate = std::round(static_cast<double>(tagged.size() - 4096) / bytesPerFrame) * 1152;
    EXPECT_NEAR(static_cast<double>(d->durationInSamples), estimate, 1152);
    EXPECT_EQ(d->averageBitRate, 128000.0f);
    s32 position = -1;
    ASSERT_EQ(mp3mp3_GetSampleOffset(d.get(), &position), DECODER_ERROR_NOERROR);
    EXPECT_EQ(position, static_cast<s32>(frames.size()) * 2304);
}

TEST_F(StreamReader, TagsAndJunkBetweenFramesChangeNoSample) {
    for (const char *kind : {"mp3", "aac"}) {
        SCOPED_TRACE(kind);
        const std::vector<audio16> clean = decodeAll(fixturePath(std::string("stereo44.") + kind));
        const std::vector<audio16> tagged = decodeAll(fixturePath(std::string("tagged.") + kind));
        ASSERT_GT(clean.size(), 80000u);
        EXPECT_TRUE(clean == tagged) << clean.size() << " " << tagged.size();
    }
}

TEST_F(StreamReader, ShortStreamsAreRefusedAtOpen) {
    const Bytes mp3 = orvtest::readFileBytes(fixturePath("tagged.mp3"));
    const Bytes adts = orvtest::readFileBytes(fixturePath("stereo44.aac"));
    const struct {
        const char *name;
        const Bytes &source;
        size_t bytes;
        decoder_error expected;
    } cases[] = {
        {"a.mp3", mp3, 4096 + 8191, DECODER_ERROR_CORRUPT}, // less than 8192 bytes after the tag
        {"b.mp3", mp3, 4096 + 8192, DECODER_ERROR_NOERROR},
        {"c.aac", adts, 12287, DECODER_ERROR_CORRUPT},
        {"d.aac", adts, 12288, DECODER_ERROR_NOERROR},
    };
    for (const auto &c : cases) {
        const std::string path =
            write(c.name, Bytes(c.source.begin(), c.source.begin() + static_cast<long>(c.bytes)));
        Decoder d = open(path, 44100, nullptr, c.expected);
        EXPECT_EQ(d->isOpened, c.expected == DECODER_ERROR_NOERROR ? 1 : 0) << c.name;
    }
}

TEST_F(StreamReader, AnAacOpenPassesAFalseSyncByOneByte) {
    // A sync word whose header is refused (layer bits 01) in front of the stream, in the same
    // block as its first frames.
    Bytes file = {0xFF, 0xF3};
    file.resize(64, 0x11);
    const Bytes adts = orvtest::readFileBytes(fixturePath("stereo44.aac"));
    file.insert(file.end(), adts.begin(), adts.end());
    const std::string path = write("false.aac", file);
    Decoder d = open(path);
    ASSERT_EQ(d->isOpened, 1);
    EXPECT_EQ(static_cast<const aacfileformat_t *>(d->fileformatHandle)->firstFrameOffset, 64u);
    EXPECT_TRUE(decodeAll(path) == decodeAll(fixturePath("stereo44.aac")));
}

TEST_F(StreamReader, AnAdifStreamDecodesLikeItsAdtsTwinAndCannotSeek) {
    Decoder d = open(fixturePath("adif44.aac"));
    EXPECT_EQ(d->seekStatus, DECODER_SEEK_NOTSEEKABLE);
    EXPECT_EQ(d->codecType, CODEC_TYPE_AAC);
    EXPECT_EQ(decoder_setSampleOffset(d.get(), 5000), DECODER_ERROR_NOTSEEKABLE);
    EXPECT_EQ(decoder_loadSeektableFile(d.get(), scan(fixturePath("stereo44.aac")).c_str()),
              DECODER_ERROR_SEEKTABLE_LOAD_FAILED);
    EXPECT_TRUE(decodeAll(fixturePath("adif44.aac")) == decodeAll(fixturePath("stereo44.aac")));
}

TEST_F(StreamReader, AnAacStreamEndingInAnId3v1TagEndsCleanlyAfterItsLastFrame) {
    Decoder d = open(fixturePath("tagged.aac"));
    const codectest::Decoded all = readFrames(d.get(), -1, 700);
    EXPECT_EQ(all.last, DECODER_ERROR_ENDOFFILE);
    EXPECT_EQ(all.samples.size(),
              adtsFrameSpans(orvtest::readFileBytes(fixturePath("stereo44.aac"))).size() * 2048);
    EXPECT_EQ(d->lastError, DECODER_ERROR_NOERROR);
}

// A frame whose elements need more bytes than the input buffer holds cannot be read by any
// refill: it is passed over like a damaged frame, and the frames after it play.
TEST_F(StreamReader, AnAacFrameLargerThanTheInputBufferIsPassedOver) {
    const Bytes adts = orvtest::readFileBytes(fixturePath("stereo44.aac"));
    const std::vector<Frame> frames = adtsFrameSpans(adts);
    const size_t half = frames[frames.size() / 2].offset;
    // A valid header (LC, 44100 Hz, stereo, one block) whose block is data elements without end.
    Bytes huge = {0xFF, 0xF1, 0x50, 0x83, 0xFF, 0xFF, 0xFC};
    for (int i = 0; i < 30; ++i) {
        huge.insert(huge.end(), {0x80, 0x7F, 0xFF}); // id 4, tag 0, no alignment, 255 + 255 bytes
        huge.resize(huge.size() + 510, 0x22);
    }
    Bytes file(adts.begin(), adts.begin() + static_cast<long>(half));
    file.insert(file.end(), huge.begin(), huge.end());
    file.insert(file.end(), adts.begin() + static_cast<long>(half), adts.end());
    Decoder d = open(write("huge.aac", file));
    const codectest::Decoded all = readFrames(d.get(), -1, 1000);
    EXPECT_EQ(all.last, DECODER_ERROR_ENDOFFILE);
    EXPECT_EQ(all.samples.size(), frames.size() * 2048);
}

TEST_F(StreamReader, EachReaderTakesTheQualitiesItCanDeliver) {
    const struct {
        const char *file;
        decoder_quality quality;
        decoder_error desktop;
    } cases[] = {
        {"stereo44.mp3", DECODER_QUALITY_FULL, DECODER_ERROR_NOERROR},
        {"stereo44.mp3", DECODER_QUALITY_HALF, DECODER_ERROR_NOERROR},
        {"stereo44.mp3", DECODER_QUALITY_QUATER, DECODER_ERROR_NOERROR},
        {"stereo44.mp3", DECODER_QUALITY_MONO, DECODER_ERROR_NOTSUPPORTED},
        // A mono frame synthesises at the full rate whatever the factor.
        {"mono22vbr.mp3", DECODER_QUALITY_HALF, DECODER_ERROR_NOTSUPPORTED},
        {"mono22vbr.mp3", DECODER_QUALITY_QUATER, DECODER_ERROR_NOTSUPPORTED},
        {"mono22vbr.mp3", DECODER_QUALITY_FULL, DECODER_ERROR_NOERROR},
        {"stereo44.aac", DECODER_QUALITY_HALF, DECODER_ERROR_NOTSUPPORTED},
        {"stereo44.aac", DECODER_QUALITY_QUATER, DECODER_ERROR_NOTSUPPORTED},
        {"stereo44.aac", DECODER_QUALITY_MONO, DECODER_ERROR_NOERROR},
        {"stereo44.m4a", DECODER_QUALITY_HALF, DECODER_ERROR_NOTSUPPORTED},
        {"stereo44.m4a", DECODER_QUALITY_QUATER, DECODER_ERROR_NOTSUPPORTED},
        {"stereo44.m4a", DECODER_QUALITY_MONO, DECODER_ERROR_NOERROR},
    };
    for (const auto &c : cases) {
        Decoder d = open(fixturePath(c.file));
        const decoder_error expected = orv::kDeviceConfig ? DECODER_ERROR_NOTSUPPORTED : c.desktop;
        EXPECT_EQ(decoder_setQuality(d.get(), c.quality), expected) << c.file << " " << c.quality;
        EXPECT_EQ(d->decoderQuality, expected == DECODER_ERROR_NOERROR ? c.quality : DECODER_QUALITY_FULL)
            << c.file << " " << c.quality;
    }
}

TEST_F(StreamReader, ASeekTableLoadedLaterMakesTheSongSeekableWithItsExactLength) {
    for (const char *name : {"tagged.mp3", "tagged.aac"}) {
        SCOPED_TRACE(name);
        const std::string path = fixturePath(name);
        const std::string table = scan(path);
        Decoder d = open(path);
        EXPECT_EQ(d->seekStatus, DECODER_SEEK_NOTSEEKABLE);
        const codectest::Decoded head = readFrames(d.get(), 5000, 1000);
        EXPECT_EQ(d->seekStatus, DECODER_SEEK_BACKWARD_SEEKABLE);

        // A missing or damaged file, or one made for another version of the song, changes nothing.
        Bytes damaged = orvtest::readFileBytes(table);
        damaged[0] ^= 1;
        const std::string other = scan(fixturePath(std::string("stereo44.") + (name + 7)));
        for (const std::string &bad : {dir.file("missing.sek"), write("damaged.sek", damaged), other}) {
            EXPECT_EQ(decoder_loadSeektableFile(d.get(), bad.c_str()), DECODER_ERROR_SEEKTABLE_LOAD_FAILED)
                << bad;
            EXPECT_EQ(d->seekStatus, DECODER_SEEK_BACKWARD_SEEKABLE);
        }
        EXPECT_EQ(decoder_loadSeektableFile(d.get(), table.c_str()), DECODER_ERROR_NOERROR);
        EXPECT_EQ(d->seekStatus, DECODER_SEEK_SEEKABLE);
        EXPECT_EQ(decoder_loadSeektableFile(d.get(), table.c_str()), DECODER_ERROR_SEEKTABLE_ALREADY_LOADED);
        EXPECT_EQ(d->durationInSamplesExact % static_cast<u64>(d->audioFrameSize / 2), 0u);
        EXPECT_EQ(d->durationInMsExact, d->durationInSamplesExact / 44100 * 1000);

        // Reading goes on from where it stood, and a seek forward reaches the end.
        const std::vector<audio16> whole = decodeAll(path);
        const codectest::Decoded next = readFrames(d.get(), 1000, 1000);
        ASSERT_EQ(next.samples.size(), 2000u);
        EXPECT_TRUE(std::equal(next.samples.begin(), next.samples.end(), whole.begin() + 10000));
        const s64 last = static_cast<s64>(whole.size() / 2) - 300;
        ASSERT_EQ(decoder_setSampleOffset(d.get(), last), DECODER_ERROR_NOERROR);
        const codectest::Decoded tail = readFrames(d.get(), -1, 1000);
        EXPECT_EQ(tail.last, DECODER_ERROR_ENDOFFILE);
        EXPECT_TRUE(tail.samples.size() == 600 &&
                    std::equal(tail.samples.begin(), tail.samples.end(), whole.end() - 600));
    }
}

TEST_F(StreamReader, ASeekBeyondTheTableIsRefusedAndReadingGoesOn) {
    for (const char *name : {"stereo44.mp3", "stereo44.aac"}) {
        SCOPED_TRACE(name);
        const std::string path = fixturePath(name);
        const std::vector<audio16> whole = decodeAll(path);
        Decoder d = open(path);
        readFrames(d.get(), 3000, 1000);
        // Without a table only what was decoded can be reached.
        ASSERT_EQ(decoder_setSampleOffset(d.get(), 60000), DECODER_ERROR_NOERROR);
        const codectest::Decoded refused = readFrames(d.get(), 10, 10);
        EXPECT_EQ(refused.last, DECODER_ERROR_OUTOFRANGE);
        const codectest::Decoded next = readFrames(d.get(), 500, 500);
        ASSERT_EQ(next.samples.size(), 1000u);
        EXPECT_TRUE(std::equal(next.samples.begin(), next.samples.end(), whole.begin() + 6000));
    }
}

} // namespace
