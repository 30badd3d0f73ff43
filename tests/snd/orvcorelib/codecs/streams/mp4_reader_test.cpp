// The MP4/M4A reader and the MP4 atom reader on files built here around the raw data blocks of
// an ADTS fixture: the same blocks decode to the same samples as the ADTS reader gives, whatever
// the chunk layout; tracks are chosen or refused by their decoder configuration; atom sizes and
// table counts from the file are bounded; seeks follow the track's time scale.
#include "codecs/fileformat/mp4aac.h"
#include "codecs/fileformat/mp4ff.h"
#include "snd/orvcorelib/codecs/codecs_support.h"
#include "streams_support.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace streamtest;
using codectest::Decoder;
using codectest::makeDecoder;
using codectest::readFrames;

namespace {

class Mp4Reader : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(haveTools({"sox", "ffmpeg"})) << "scripts/setup installs them";
        const std::string adts = fixturePath("stereo44.aac");
        blocks = rawBlocks(orvtest::readFileBytes(adts));
        ASSERT_GT(blocks.size(), 50u);
        reference = decode(adts).samples;
    }
    Mp4Track track() const {
        Mp4Track t;
        t.samples = blocks;
        return t;
    }
    std::string write(const Bytes &bytes, const char *name = "built.m4a") {
        const std::string path = dir.file(name);
        orvtest::writeFileBytes(path, bytes);
        return path;
    }
    decoder_error openResult(const std::string &path) {
        Decoder d = makeDecoder(44100, false);
        return decoder_open(d.get(), path.c_str(), DECODER_MODE_DECODE, nullptr, 0, SRC_QUALITY_LOW);
    }
    codectest::Decoded decode(const std::string &path) {
        Decoder d = makeDecoder(44100, false);
        EXPECT_EQ(decoder_open(d.get(), path.c_str(), DECODER_MODE_DECODE, nullptr, 0, SRC_QUALITY_LOW),
                  DECODER_ERROR_NOERROR)
            << path;
        if (d->isOpened == 0) return {};
        return readFrames(d.get(), -1, 1000);
    }
    std::vector<Bytes> blocks;
    std::vector<audio16> reference; // the ADTS reader's decode of the blocks
    orvtest::TempDir dir;
};

TEST_F(Mp4Reader, TheBlocksDecodeLikeTheirAdtsStreamInAnyChunkLayout) {
    const std::vector<std::vector<std::pair<u32, u32>>> layouts = {
        {{1, 1}}, {{1, 3}}, {{1, 64}}, {{1, 2}, {4, 7}, {6, 1}}, {{1, 5}, {3, 0}, {4, 4}}};
    for (const auto &runs : layouts) {
        Mp4Track t = track();
        t.chunkRuns = runs;
        const codectest::Decoded got = decode(write(buildMp4({t})));
        EXPECT_EQ(got.last, DECODER_ERROR_ENDOFFILE);
        EXPECT_TRUE(got.samples == reference)
            << "layout of " << runs.size() << " runs, first " << runs[0].second;
    }
}

TEST_F(Mp4Reader, TheFirstAacLcTrackPlaysAndOtherTracksAreRefused) {
    Mp4Track video;
    video.entry = "mp4v";
    Mp4Track drms = track();
    drms.entry = "drms";
    Mp4Track he = track();
    he.decoderConfig = audioSpecificConfig(5, 44100, 2);
    Mp4Track rate13 = track();
    rate13.decoderConfig = be16((2u << 11) | (13u << 7) | (2u << 3));
    Mp4Track channels0 = track();
    channels0.decoderConfig = audioSpecificConfig(2, 44100, 0);
    Mp4Track channels3 = track();
    channels3.decoderConfig = audioSpecificConfig(2, 44100, 3);
    Mp4Track unknown = track();
    unknown.entry = "abcd";
    Bytes noFtyp = buildMp4({track()});
    std::memcpy(&noFtyp[4], "free", 4);

    const struct {
        const char *name;
        Bytes file;
        decoder_error expected;
    } cases[] = {
        {"video, then audio", buildMp4({video, track()}), DECODER_ERROR_NOERROR},
        {"protected audio only", buildMp4({drms}), DECODER_ERROR_NOTSUPPORTED_CODECS},
        {"spectral band replication", buildMp4({he}), DECODER_ERROR_NOTSUPPORTED_CODECS},
        {"no table rate", buildMp4({rate13}), DECODER_ERROR_NOTSUPPORTED_CODECS},
        {"three channels", buildMp4({channels3}), DECODER_ERROR_NOTSUPPORTED_CODECS},
        {"channel configuration 0", buildMp4({channels0}), DECODER_ERROR_NOTSUPPORTED_NUMCHANS},
        {"unknown sample entry", buildMp4({unknown}), DECODER_ERROR_CORRUPT},
        {"no tracks", buildMp4({}), DECODER_ERROR_CORRUPT},
        {"no ftyp", noFtyp, DECODER_ERROR_NOTSUPPORTED},
        {"two bytes only", Bytes{0, 0}, DECODER_ERROR_NOTSUPPORTED},
    };
    for (const auto &c : cases) {
        const std::string path = write(c.file);
        EXPECT_EQ(openResult(path), c.expected) << c.name;
        if (c.expected == DECODER_ERROR_NOERROR) {
            EXPECT_TRUE(decode(path).samples == reference) << c.name;
        }
    }
}

TEST_F(Mp4Reader, AtomSizesAndCountsAreBoundedByTheFile) {
    const Bytes plain = buildMp4({track()});
    const size_t mdat = findAtom(plain, "mdat");
    const size_t moov = findAtom(plain, "moov");
    const auto patched = [&](const char *type, size_t offsetInAtom, u32 value) {
        Bytes b = plain;
        putBe32(b, findAtom(b, type) + offsetInAtom, value);
        return b;
    };
    Bytes sizeZeroMdat = patched("mdat", 0, 0);
    Bytes tinyAfterMdat = plain;
    tinyAfterMdat.insert(tinyAfterMdat.end(), {0, 0, 0, 4, 'f', 'r', 'e', 'e'});
    Bytes wideSizeTooSmall = plain;
    const Bytes wide = cat({be32(1), text("free"), be32(0), be32(8)});
    wideSizeTooSmall.insert(wideSizeTooSmall.begin() + static_cast<long>(moov), wide.begin(), wide.end());
    Bytes truncated(plain.begin(), plain.begin() + static_cast<long>(mdat + (plain.size() - mdat) / 2));

    const struct {
        const char *name;
        Bytes file;
        decoder_error expected;
        bool wholeAudio;
    } cases[] = {
        {"a last atom of size 0 runs to the end", sizeZeroMdat, DECODER_ERROR_NOERROR, true},
        {"moov larger than the file", patched("moov", 0, 0x7FFFFFF0), DECODER_ERROR_NOERROR, true},
        {"stsz counting far more samples than it holds", patched("stsz", 16, 0x7FFFFFFF),
         DECODER_ERROR_NOERROR, true},
        {"stts counting far more runs", patched("stts", 12, 0x10000000), DECODER_ERROR_NOERROR, true},
        {"stco counting far more chunks", patched("stco", 12, 0xFFFFFFFF), DECODER_ERROR_NOERROR, true},
        {"stsc counting far more runs", patched("stsc", 12, 0x0FFFFFFF), DECODER_ERROR_NOERROR, true},
        {"media data cut off", truncated, DECODER_ERROR_NOERROR, false},
        {"a top-level atom smaller than its header", tinyAfterMdat, DECODER_ERROR_READERROR, false},
        {"an stsd smaller than its header", patched("stsd", 0, 7), DECODER_ERROR_READERROR, false},
        {"an stbl of size 0", patched("stbl", 0, 0), DECODER_ERROR_READERROR, false},
        {"a 64-bit size smaller than its header", wideSizeTooSmall, DECODER_ERROR_READERROR, false},
    };
    for (const auto &c : cases) {
        const std::string path = write(c.file);
        ASSERT_EQ(openResult(path), c.expected) << c.name;
        if (c.expected != DECODER_ERROR_NOERROR) continue;
        const codectest::Decoded got = decode(path);
        EXPECT_EQ(got.last, DECODER_ERROR_ENDOFFILE) << c.name;
        if (c.wholeAudio) {
            EXPECT_TRUE(got.samples == reference) << c.name;
        } else {
            EXPECT_LT(got.samples.size(), reference.size()) << c.name;
            EXPECT_TRUE(std::equal(got.samples.begin(), got.samples.end(), reference.begin())) << c.name;
        }
    }
}

// Appends atoms inside "moov" (whose size grows with them); the chunk offsets move along.
Bytes withInMoov(const std::vector<Mp4Track> &tracks, const Bytes &extra) {
    Bytes file = buildMp4(tracks);
    const size_t moov = findAtom(file, "moov");
    const size_t end = moov + ((u32{file[moov]} << 24) | (u32{file[moov + 1]} << 16) |
                               (u32{file[moov + 2]} << 8) | file[moov + 3]);
    file.insert(file.begin() + static_cast<long>(end), extra.begin(), extra.end());
    putBe32(file, moov, static_cast<u32>(end - moov + extra.size()));
    // Every chunk offset lies behind the inserted bytes.
    const size_t stco = findAtom(file, "stco");
    const u32 count = (u32{file[stco + 12]} << 24) | (u32{file[stco + 13]} << 16) |
                      (u32{file[stco + 14]} << 8) | file[stco + 15];
    for (u32 i = 0; i < count; ++i) {
        const size_t at = stco + 16 + 4 * i;
        const u32 v =
            (u32{file[at]} << 24) | (u32{file[at + 1]} << 16) | (u32{file[at + 2]} << 8) | file[at + 3];
        putBe32(file, at, v + static_cast<u32>(extra.size()));
    }
    return file;
}

TEST_F(Mp4Reader, ManyTracksAndDeepNestingNeitherOverflowNorHideTheAudio) {
    Bytes traks;
    for (int i = 0; i < 1100; ++i) traks = cat({traks, atom("trak", Bytes{})});
    Bytes nested;
    for (int i = 0; i < 4000; ++i) nested = atom("udta", nested);
    for (const Bytes &extra : {traks, nested}) {
        const std::string path = write(withInMoov({track()}, extra));
        EXPECT_TRUE(decode(path).samples == reference);
    }
}

TEST_F(Mp4Reader, SamplesTheReaderCannotTakePlayAsOneFrameOfSilence) {
    Mp4Track t = track();
    t.samplesPerChunk = 1; // each sample where its own chunk says
    const Bytes plain = buildMp4({t});
    const size_t sizes = findAtom(plain, "stsz") + 20;
    const size_t k = 20;
    for (u32 size : {0u, static_cast<u32>(kMp4SampleBufferSize) + 1, 0xFFFFFFF0u}) {
        Bytes file = plain;
        putBe32(file, sizes + 4 * k, size);
        const codectest::Decoded got = decode(write(file));
        ASSERT_EQ(got.samples.size(), reference.size()) << size;
        const auto frame = [&](size_t i) { return got.samples.begin() + static_cast<long>(i * 2048); };
        EXPECT_TRUE(std::equal(got.samples.begin(), frame(k), reference.begin())) << size;
        EXPECT_TRUE(std::all_of(frame(k), frame(k + 1), [](audio16 s) { return s == 0; })) << size;
        // The frame after it lacks its overlap; the ones after that are the same again.
        EXPECT_TRUE(std::equal(frame(k + 2), got.samples.end(),
                               reference.begin() + static_cast<long>((k + 2) * 2048)))
            << size;
    }
}

TEST_F(Mp4Reader, ThousandSamplesOfATrackLast1024000Frames) {
    Mp4Track t;
    t.samples.assign(1000, Bytes{0x21});
    t.commonSize = true;
    Decoder d = makeDecoder(44100, false);
    const std::string path = write(buildMp4({t}));
    ASSERT_EQ(decoder_open(d.get(), path.c_str(), DECODER_MODE_DECODE, nullptr, 0, SRC_QUALITY_LOW),
              DECODER_ERROR_NOERROR);
    EXPECT_EQ(d->durationInSamples, 1024000u);
    EXPECT_EQ(d->durationInSamplesExact, 1024000u);
    EXPECT_EQ(d->durationInMsExact, 1024000u * 1000 / 44100);
    EXPECT_EQ(d->audioFrameSize, kMp4AudioFrameSize);
    EXPECT_EQ(d->seekStatus, DECODER_SEEK_NATIVELY_SEEKABLE);
    EXPECT_EQ(d->bitRate, 128000);
}

TEST_F(Mp4Reader, SeeksFollowTheTrackTimeScale) {
    const struct {
        const char *name;
        u32 timeScale;
        u32 delta;
        u32 lastDelta;
        u32 samplesPerChunk;
    } cases[] = {
        {"time scale of the rate", 44100, 1024, 0, 5},
        {"twice the rate", 88200, 2048, 0, 5},
        {"last sample shortened", 44100, 1024, 300, 5},
        {"samples in chunks of 64", 44100, 1024, 0, 64},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Mp4Track t = track();
        t.samplesPerChunk = c.samplesPerChunk;
        t.timeScale = c.timeScale;
        t.delta = c.delta;
        t.lastDelta = c.lastDelta;
        Decoder d = makeDecoder(44100, false);
        const std::string path = write(buildMp4({t}));
        ASSERT_EQ(decoder_open(d.get(), path.c_str(), DECODER_MODE_DECODE, nullptr, 0, SRC_QUALITY_LOW),
                  DECODER_ERROR_NOERROR);
        const long frames = static_cast<long>(reference.size() / 2);
        for (long target :
             {5000L, 0L, 1023L, 1024L, frames - 1, 3L * 1024 + 904, frames / 2 + 11, frames - 700}) {
            ASSERT_EQ(decoder_setSampleOffset(d.get(), target), DECODER_ERROR_NOERROR);
            const codectest::Decoded slice = readFrames(d.get(), 600, 256);
            const size_t expected = static_cast<size_t>(std::min(600L, frames - target)) * 2;
            ASSERT_EQ(slice.samples.size(), expected) << target;
            EXPECT_TRUE(
                std::equal(slice.samples.begin(), slice.samples.end(), reference.begin() + target * 2))
                << "at " << target;
        }
        // The very end leaves nothing to read; beyond it the seek is refused and reading goes on.
        ASSERT_EQ(decoder_setSampleOffset(d.get(), frames), DECODER_ERROR_NOERROR);
        EXPECT_EQ(readFrames(d.get(), 10, 10).last, DECODER_ERROR_ENDOFFILE);
        ASSERT_EQ(decoder_setSampleOffset(d.get(), 100), DECODER_ERROR_NOERROR);
        readFrames(d.get(), 10, 10);
        ASSERT_EQ(decoder_setSampleOffset(d.get(), frames + 1), DECODER_ERROR_NOERROR);
        EXPECT_EQ(readFrames(d.get(), 10, 10).last, DECODER_ERROR_OUTOFRANGE);
        const codectest::Decoded next = readFrames(d.get(), 10, 10);
        EXPECT_TRUE(std::equal(next.samples.begin(), next.samples.end(), reference.begin() + 220));
    }
}

// The atom reader on its own, reading from memory.
struct Memory {
    Bytes bytes;
    u64 position = 0;
};

u32 memoryRead(void *user, void *buffer, u32 length) {
    auto *m = static_cast<Memory *>(user);
    const u64 left = m->position < m->bytes.size() ? m->bytes.size() - m->position : 0;
    const u32 n = static_cast<u32>(std::min<u64>(length, left));
    if (n > 0) std::memcpy(buffer, m->bytes.data() + m->position, n);
    m->position += n;
    return n;
}

u32 memorySeek(void *user, u64 position) {
    static_cast<Memory *>(user)->position = position;
    return 0;
}

class Mp4AtomReader : public Mp4Reader {
  protected:
    mp4ff_t *parse(const Bytes &file) {
        memory.bytes = file;
        callbacks = {memoryRead, nullptr, memorySeek, nullptr, &memory};
        parsed = mp4ff_open_read(&callbacks);
        return parsed;
    }
    void TearDown() override { mp4ff_close(parsed); }
    Memory memory;
    mp4ff_callback_t callbacks{};
    mp4ff_t *parsed = nullptr;
};

TEST_F(Mp4AtomReader, SamplesAreFoundThroughTheChunkRunsAndReadWhole) {
    Mp4Track t = track();
    t.chunkRuns = {{1, 2}, {3, 5}, {5, 1}};
    mp4ff_t *f = parse(buildMp4({t}));
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(mp4ff_total_tracks(f), 1);
    EXPECT_EQ(mp4ff_get_track_type(f, 0), MP4FF_TRACK_AUDIO);
    EXPECT_EQ(mp4ff_num_samples(f, 0), static_cast<s32>(blocks.size()));
    EXPECT_EQ(mp4ff_get_channel_count(f, 0), 2u);
    EXPECT_EQ(mp4ff_get_sample_rate(f, 0), 44100u);
    EXPECT_EQ(mp4ff_get_audio_type(f, 0), 0x40u);
    EXPECT_EQ(mp4ff_get_avg_bitrate(f, 0), 128000u);
    EXPECT_EQ(mp4ff_get_max_bitrate(f, 0), 160000u);
    std::vector<u8> buffer(kMp4SampleBufferSize);
    for (size_t i = 0; i < blocks.size(); ++i) {
        u8 *p = buffer.data();
        u32 bytes = static_cast<u32>(buffer.size());
        ASSERT_EQ(mp4ff_read_sample(f, 0, static_cast<s32>(i), &p, &bytes), blocks[i].size()) << i;
        EXPECT_TRUE(std::equal(blocks[i].begin(), blocks[i].end(), buffer.begin())) << i;
    }
    // A buffer too small, an index beyond the tables, a track that does not exist: refused.
    u8 *p = buffer.data();
    u32 small = static_cast<u32>(blocks[3].size() - 1);
    EXPECT_EQ(mp4ff_read_sample(f, 0, 3, &p, &small), 0u);
    EXPECT_EQ(small, 0u);
    u32 bytes = static_cast<u32>(buffer.size());
    EXPECT_EQ(mp4ff_read_sample(f, 0, static_cast<s32>(blocks.size()), &p, &bytes), 0u);
    EXPECT_EQ(mp4ff_read_sample(f, 1, 0, &p, &bytes), 0u);
    EXPECT_EQ(mp4ff_get_sample_position(f, 0, -1), -1);
    EXPECT_EQ(mp4ff_audio_frame_size(f, 5, 0), -1);

    u8 *config = nullptr;
    u32 size = 0;
    ASSERT_EQ(mp4ff_get_decoder_config(f, 0, &config, &size), 0);
    EXPECT_EQ(Bytes(config, config + size), audioSpecificConfig(2, 44100, 2));
    delete[] config;
    EXPECT_EQ(mp4ff_get_decoder_config(f, 1, &config, &size), 1);
}

TEST_F(Mp4AtomReader, TimesMapToSamplesWithTheFirstCompositionOffset) {
    Mp4Track t = track();
    t.lastDelta = 300;
    t.compositionOffset = 2048;
    mp4ff_t *f = parse(buildMp4({t}));
    ASSERT_NE(f, nullptr);
    const s32 n = static_cast<s32>(blocks.size());
    const s64 duration = static_cast<s64>(n - 1) * 1024 + 300;
    EXPECT_EQ(mp4ff_get_track_duration(f, 0), duration);
    EXPECT_EQ(mp4ff_get_track_duration_use_offsets(f, 0), duration - 2048);
    EXPECT_EQ(mp4ff_time_scale(f, 0), 44100);
    const struct {
        s64 time;
        s32 sample;
        s32 toskip;
    } cases[] = {
        {0, 2, 0},     {1, 2, 1}, {1023, 2, 1023}, {5000 - 2048, 4, 904}, {duration - 2048 - 1, n - 1, 299},
        {-2048, 0, 0},
    };
    for (const auto &c : cases) {
        s32 toskip = -1;
        EXPECT_EQ(mp4ff_find_sample_use_offsets(f, 0, c.time, &toskip), c.sample) << c.time;
        EXPECT_EQ(toskip, c.toskip) << c.time;
    }
    s32 toskip = 0;
    EXPECT_EQ(mp4ff_find_sample_use_offsets(f, 0, duration - 2048, &toskip), -1);
    EXPECT_EQ(mp4ff_find_sample_use_offsets(f, 0, -2049, &toskip), -1);
    EXPECT_EQ(mp4ff_get_sample_duration(f, 0, n - 1), 300);
    EXPECT_EQ(mp4ff_get_sample_duration(f, 0, 0), 1024);
    EXPECT_EQ(mp4ff_get_sample_duration_use_offsets(f, 0, 0), 1024 + 2048);
    EXPECT_EQ(mp4ff_get_sample_duration(f, 0, n), -1);
}

TEST_F(Mp4AtomReader, DescriptorLengthsTakeSevenBitsPerByte) {
    const struct {
        Bytes bytes;
        u32 length;
        s64 consumed;
    } cases[] = {
        {{0x05}, 5, 1},
        {{0x81, 0x01}, 129, 2},
        {{0x80, 0x80, 0x80, 0x22}, 0x22, 4},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, 0x0FFFFFFF, 4}, // at most four bytes
    };
    for (const auto &c : cases) {
        memory.bytes = c.bytes;
        memory.position = 0;
        callbacks = {memoryRead, nullptr, memorySeek, nullptr, &memory};
        mp4ff_t f{};
        f.stream = &callbacks;
        EXPECT_EQ(mp4ff_read_mp4_descr_length(&f), c.length);
        EXPECT_EQ(mp4ff_position(&f), c.consumed);
    }
}

} // namespace
