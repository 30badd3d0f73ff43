// Seek tables: recording frame lengths, looking positions up, the seek-table file (written,
// read back, and refused when damaged), and the table's start and finish around a stream.
#include "codecs/fileformat/fileops.h"
#include "codecs/fileformat/seektable.h"
#include "codecs_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace codectest;

namespace {

struct TableDeleter {
    void operator()(seektable_struct *t) const { seektable_destroy(t); }
};
using Table = std::unique_ptr<seektable_struct, TableDeleter>;

constexpr s32 kFrameSize = 2304; // stereo MPEG-1 Layer III
constexpr s32 kFirstOffset = 417;

// Frame lengths that differ from frame to frame, as in a variable-rate stream.
s32 lengthOf(s32 frame) {
    return 400 + (frame * 37) % 300;
}

s64 offsetOf(s32 frame) {
    s64 offset = kFirstOffset;
    for (s32 i = 0; i < frame; ++i) offset += lengthOf(i);
    return offset;
}

Table recorded(s32 frames) {
    Table t(seektable_create(SEEKTABLE_MODE_OVERWRITE, kFrameSize));
    seektable_setFirstFrameOffset(t.get(), kFirstOffset);
    for (s32 i = 0; i < frames; ++i) EXPECT_EQ(seektable_addElement(t.get(), lengthOf(i)), 1);
    return t;
}

int trunkCount(const seektable_struct *t) {
    int n = 0;
    for (const seektable_trunk *k = t->trunkArray; k != nullptr; k = k->nextTrunk) ++n;
    return n;
}

std::vector<unsigned char> fileOf(const seektable_struct *t, const std::string &path) {
    FILE *f = std::fopen(path.c_str(), "wb");
    EXPECT_EQ(seektable_writeToFile(t, f, 0), 0);
    std::fclose(f);
    return orvtest::readFileBytes(path);
}

Table readBack(const std::string &path, s32 frameSize = kFrameSize) {
    FILE *f = std::fopen(path.c_str(), "rb");
    Table t(seektable_createFromFile(SEEKTABLE_MODE_APPEND, f, frameSize));
    std::fclose(f);
    return t;
}

TEST(SeekTable, StoresFullBlocksInTrunksOf128) {
    const Table t = recorded(6 * 768 + 5);
    EXPECT_EQ(t->numAudioFrames, 4613u);
    EXPECT_EQ(trunkCount(t.get()), 6);
    for (const seektable_trunk *k = t->trunkArray; k != nullptr; k = k->nextTrunk)
        EXPECT_EQ(k->blockIndex, 128);
    EXPECT_EQ(t->elementIndex, 5);
    EXPECT_EQ(t->workingBlock.firstFrameOffset, offsetOf(6 * 768));
    EXPECT_EQ(t->currentAnalysisPosition, 4613);
    EXPECT_EQ(t->currentPlayPosition, 4613);
}

TEST(SeekTable, RecordingNeedsTheFirstOffsetAndAFittingLength) {
    Table t(seektable_create(SEEKTABLE_MODE_OVERWRITE, kFrameSize));
    EXPECT_EQ(t->firstFrameOffset, -1);
    EXPECT_EQ(seektable_addElement(t.get(), 500), -1);
    seektable_setFirstFrameOffset(t.get(), 0);
    EXPECT_EQ(t->currentPlayPosition, 0);
    EXPECT_EQ(seektable_addElement(t.get(), 0xFFFF), 1);
    // A length the file cannot hold ends recording rather than shifting every later offset.
    EXPECT_EQ(seektable_addElement(t.get(), 0x10000), -1);
    EXPECT_EQ(seektable_addElement(t.get(), 500), 0);
    EXPECT_EQ(t->numAudioFrames, 1u);
    EXPECT_EQ(seektable_create(SEEKTABLE_MODE_OVERWRITE, 0), nullptr);
}

TEST(SeekTable, LooksUpStartFramesWithTheirRunIn) {
    const Table t = recorded(200);
    struct Case {
        const char *what;
        s32 frame, remainder, runIn;
        s32 offsetFrame, framesToSkip, samplesToDrop;
    };
    const Case cases[] = {
        {"frame 0", 0, 10, 8, 0, 0, 10},
        {"frame 1 restarts at the first frame", 1, 10, 8, 0, 0, 10 + kFrameSize},
        {"run-in cut to the frames before", 5, 0, 8, 0, 5, 0},
        {"run-in of 8", 100, 77, 8, 92, 8, 77},
        {"run-in of 12", 100, 0, 12, 88, 12, 0},
        {"run-in at least 2", 50, 3, 0, 48, 2, 3},
        {"last stored block", 197, 0, 2, 195, 2, 0},
    };
    for (const Case &c : cases) {
        s32 position = c.frame * kFrameSize + c.remainder;
        s32 skip = c.runIn;
        EXPECT_EQ(seektable_getFilePosition(t.get(), &position, &skip), offsetOf(c.offsetFrame)) << c.what;
        EXPECT_EQ(skip, c.framesToSkip) << c.what;
        EXPECT_EQ(position, c.samplesToDrop) << c.what;
    }
}

TEST(SeekTable, RefusesStartFramesOutsideTheStoredBlocks) {
    Table t = recorded(200); // 33 blocks = 198 frames stored, two in the working block
    t->currentPlayPosition = 150;
    for (s32 frame : {200, 201, 5000}) {
        s32 position = frame * kFrameSize;
        s32 skip = 1;
        EXPECT_EQ(seektable_getFilePosition(t.get(), &position, &skip), -1) << frame;
        EXPECT_EQ(t->currentPlayPosition, 150) << frame;
    }
    s32 negative = -1;
    s32 skip = 8;
    EXPECT_EQ(seektable_getFilePosition(t.get(), &negative, &skip), -1);
}

TEST(SeekTable, FramesAlreadyRecordedArePassedOverAfterASeekBack) {
    Table t = recorded(60);
    s32 position = 30 * kFrameSize;
    s32 skip = 8;
    ASSERT_EQ(seektable_getFilePosition(t.get(), &position, &skip), offsetOf(22));
    EXPECT_EQ(t->currentPlayPosition, 30);
    // Frames 30 to 59 come again and are not recorded twice; 60 onwards are new.
    for (s32 frame = 30; frame < 70; ++frame) EXPECT_EQ(seektable_addElement(t.get(), lengthOf(frame)), 1);
    EXPECT_EQ(t->numAudioFrames, 70u);
    position = 65 * kFrameSize;
    skip = 2;
    EXPECT_EQ(seektable_getFilePosition(t.get(), &position, &skip), offsetOf(63));
}

TEST(SeekTableFile, RoundTripsEveryTrunk) {
    orvtest::TempDir dir;
    const Table t = recorded(2 * 768 + 6 * 10 + 3);
    const std::vector<unsigned char> bytes = fileOf(t.get(), dir.file("song.sek"));
    ASSERT_EQ(bytes.size(), kSeektableHeaderBytes + 3 * kSeektableTrunkBytes);
    EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 4),
              (std::vector<unsigned char>{0, 5, 0, 2}));
    const Table back = readBack(dir.file("song.sek"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->numAudioFrames, t->numAudioFrames);
    EXPECT_EQ(back->firstFrameOffset, kFirstOffset);
    EXPECT_EQ(back->audioFrameSize, kFrameSize);
    EXPECT_EQ(back->isPartial, 1u);
    EXPECT_EQ(back->toBuild, 0);
    EXPECT_EQ(back->currentAnalysisPosition, static_cast<s32>(t->numAudioFrames));
    EXPECT_EQ(back->currentPlayPosition, 0);
    for (s32 frame : {2, 700, 768, 1600}) {
        s32 a = frame * kFrameSize + 5, b = a, skipA = 8, skipB = 8;
        EXPECT_EQ(seektable_getFilePosition(back.get(), &a, &skipA),
                  seektable_getFilePosition(const_cast<seektable_struct *>(t.get()), &b, &skipB))
            << frame;
    }
}

TEST(SeekTableFile, ACompleteTableTakesNoNewFramesAtAWrongOffset) {
    orvtest::TempDir dir;
    Table t = recorded(6 * 20 + 4);
    seektable_finalize(t.get());
    fileOf(t.get(), dir.file("a.sek"));
    Table back = readBack(dir.file("a.sek"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->toBuild, 1);
    // The last four frames were never stored, so the next one's offset is unknown.
    back->currentPlayPosition = back->currentAnalysisPosition;
    EXPECT_EQ(seektable_addElement(back.get(), 400), 0);
}

TEST(SeekTableFile, TrailingChecksumBytesAreIgnored) {
    orvtest::TempDir dir;
    const Table t = recorded(6 * 40);
    std::vector<unsigned char> bytes = fileOf(t.get(), dir.file("s.sek"));
    bytes.insert(bytes.end(), {0xDE, 0xAD, 0xBE, 0xEF});
    orvtest::writeFileBytes(dir.file("s.sek"), bytes);
    EXPECT_NE(readBack(dir.file("s.sek")), nullptr);
}

TEST(SeekTableFile, DamagedFilesCountAsNoTable) {
    orvtest::TempDir dir;
    const Table t = recorded(2 * 768 + 60);
    const std::vector<unsigned char> good = fileOf(t.get(), dir.file("good.sek"));
    const size_t trunk0 = kSeektableHeaderBytes;
    const size_t trunk1 = trunk0 + kSeektableTrunkBytes;
    const size_t blockIndex0 = trunk0 + 128 * kSeektableBlockBytes;
    auto setLE32 = [](std::vector<unsigned char> &b, size_t at, u32 v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    struct Case {
        const char *what;
        std::function<void(std::vector<unsigned char> &)> damage;
        s32 frameSize;
    };
    const Case cases[] = {
        {"wrong magic", [&](auto &b) { setLE32(b, 0, 0x02000400); }, kFrameSize},
        {"short header", [](auto &b) { b.resize(20); }, kFrameSize},
        {"empty file", [](auto &b) { b.clear(); }, kFrameSize},
        {"frame size 0", [&](auto &b) { setLE32(b, 12, 0); }, kFrameSize},
        {"frame size of another stream", [](auto &) {}, 2048},
        {"compressed", [&](auto &b) { setLE32(b, 16, 1); }, kFrameSize},
        {"negative first offset", [&](auto &b) { setLE32(b, 4, 0x80000000u); }, kFrameSize},
        {"more frames than stored", [&](auto &b) { setLE32(b, 8, 2 * 768 + 66); }, kFrameSize},
        {"fewer frames than stored", [&](auto &b) { setLE32(b, 8, 2 * 768 + 54); }, kFrameSize},
        {"trunk count beyond 128", [&](auto &b) { setLE32(b, blockIndex0, 129); }, kFrameSize},
        {"empty trunk", [&](auto &b) { setLE32(b, blockIndex0, 0); }, kFrameSize},
        {"partial trunk before the last", [&](auto &b) { setLE32(b, blockIndex0, 127); }, kFrameSize},
        {"block not where the one before ended", [&](auto &b) { setLE32(b, trunk1 + 16, 12345); },
         kFrameSize},
        {"frame length changed", [&](auto &b) { b[trunk0 + 4] ^= 1; }, kFrameSize},
        {"missing last trunk", [&](auto &b) { b.resize(trunk1 + kSeektableTrunkBytes); }, kFrameSize},
    };
    for (const Case &c : cases) {
        std::vector<unsigned char> bytes = good;
        c.damage(bytes);
        orvtest::writeFileBytes(dir.file("bad.sek"), bytes);
        EXPECT_EQ(readBack(dir.file("bad.sek"), c.frameSize), nullptr) << c.what;
    }
    EXPECT_NE(readBack(dir.file("good.sek")), nullptr);
}

TEST(SeekTableFile, BuildAndWriteMakesAPartialTable) {
    orvtest::TempDir dir;
    std::vector<s16> lengths(100);
    for (s32 i = 0; i < 100; ++i) lengths[i] = static_cast<s16>(lengthOf(i));
    FILE *f = std::fopen(dir.file("b.sek").c_str(), "wb");
    EXPECT_EQ(seektable_buildAndWriteToFile(kFirstOffset, lengths.data(), 100, kFrameSize, f, 0), 0);
    std::fclose(f);
    const Table back = readBack(dir.file("b.sek"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->isPartial, 1u);
    EXPECT_EQ(back->numAudioFrames, 100u);
    s32 position = 50 * kFrameSize;
    s32 skip = 2;
    EXPECT_EQ(seektable_getFilePosition(back.get(), &position, &skip), offsetOf(48));
}

// The start and finish of a table around a stream reader.
class SeekTableAroundAStream : public ::testing::Test {
  protected:
    void SetUp() override {
        d = decoder_new(44100, 1, 2048);
        d->sampleRate = 44100;
        d->numChannels = 2;
        d->audioFrameSize = kFrameSize;
    }
    void TearDown() override { decoder_destroy(d); }
    void writeTable(const std::string &path, s32 frames, bool complete) {
        Table t = recorded(frames);
        if (complete) seektable_finalize(t.get());
        fileOf(t.get(), path);
    }
    orvtest::TempDir dir;
    decoder_struct *d = nullptr;
};

TEST_F(SeekTableAroundAStream, TheSeekStatusFollowsTheFile) {
    writeTable(dir.file("complete.sek"), 6 * 300 + 2, true);
    writeTable(dir.file("partial.sek"), 6 * 300, false);
    orvtest::writeFileBytes(dir.file("damaged.sek"), {0, 5, 0, 2, 1});
    struct Case {
        const char *what;
        std::string file;
        s32 firstOffset;
        decoder_seek_status status;
    };
    const Case cases[] = {
        {"no name", "", kFirstOffset, DECODER_SEEK_NOTSEEKABLE},
        {"missing file", dir.file("none.sek"), kFirstOffset, DECODER_SEEK_NOTSEEKABLE},
        {"damaged file", dir.file("damaged.sek"), kFirstOffset, DECODER_SEEK_NOTSEEKABLE},
        {"complete table", dir.file("complete.sek"), kFirstOffset, DECODER_SEEK_SEEKABLE},
        {"partial table", dir.file("partial.sek"), kFirstOffset, DECODER_SEEK_PARTIAL_SEEKABLE},
        {"table of another first frame", dir.file("complete.sek"), kFirstOffset + 1,
         DECODER_SEEK_NOTSEEKABLE},
    };
    for (const Case &c : cases) {
        d->seekStatus = DECODER_SEEK_UNKNOWN;
        d->durationInSamplesExact = 0;
        seektable_struct *t =
            initializeSeektable(d, c.file.empty() ? nullptr : c.file.c_str(), c.firstOffset);
        ASSERT_NE(t, nullptr) << c.what;
        EXPECT_EQ(d->seekStatus, c.status) << c.what;
        EXPECT_EQ(t->firstFrameOffset, c.firstOffset) << c.what;
        if (c.status == DECODER_SEEK_SEEKABLE) {
            EXPECT_EQ(d->durationInSamplesExact, u64{kFrameSize} * (6 * 300 + 2) / 2) << c.what;
            EXPECT_EQ(d->durationInMsExact, d->durationInSamplesExact / 44100 * 1000) << c.what;
        } else {
            EXPECT_EQ(d->durationInSamplesExact, 0u) << c.what;
        }
        finalizeSeektable(d, t);
    }
}

TEST_F(SeekTableAroundAStream, ABuildPassWritesACompleteTable) {
    const std::string path = dir.file("built.sek");
    d->rebuildSeektable = 1;
    d->mode = DECODER_MODE_BUILDSEEK;
    seektable_struct *t = initializeSeektable(d, path.c_str(), kFirstOffset);
    EXPECT_EQ(d->seekStatus, DECODER_SEEK_NOTSEEKABLE);
    ASSERT_NE(d->seekFile, nullptr);
    for (s32 i = 0; i < 1000; ++i) seektable_addElement(t, lengthOf(i));
    EXPECT_EQ(finalizeSeektable(d, t), nullptr);
    EXPECT_EQ(d->seekFile, nullptr);

    d->rebuildSeektable = 0;
    d->mode = DECODER_MODE_DECODE;
    t = initializeSeektable(d, path.c_str(), kFirstOffset);
    EXPECT_EQ(d->seekStatus, DECODER_SEEK_SEEKABLE);
    EXPECT_EQ(t->numAudioFrames, 1000u);
    EXPECT_EQ(t->isPartial, 0u);
    finalizeSeektable(d, t);
}

TEST_F(SeekTableAroundAStream, ADecodePassWithRebuildLeavesTheFileEmpty) {
    const std::string path = dir.file("empty.sek");
    d->rebuildSeektable = 1;
    d->mode = DECODER_MODE_DECODE;
    seektable_struct *t = initializeSeektable(d, path.c_str(), kFirstOffset);
    seektable_addElement(t, 500);
    finalizeSeektable(d, t);
    EXPECT_TRUE(orvtest::readFileBytes(path).empty());
}

TEST_F(SeekTableAroundAStream, ASeekPositionsTheFileAndPreparesTheBuffers) {
    writeTable(dir.file("s.sek"), 600, true);
    std::vector<unsigned char> audio(static_cast<size_t>(offsetOf(600)), 0x55);
    orvtest::writeFileBytes(dir.file("s.mp3"), audio);
    d->inFile = std::fopen(dir.file("s.mp3").c_str(), "rb");
    seektable_struct *t = initializeSeektable(d, dir.file("s.sek").c_str(), kFirstOffset);
    bitstream_t *bs = bitstream_new(64);
    pcmbuffer_t *pcm = pcmbuffer_new(kFrameSize * 3);
    bs->bytesLeft = 10;

    s32 audioOffset = -1;
    s32 skip = 8;
    d->seekPosition = 100 * (kFrameSize / 2) + 30; // frames: 30 into frame 100
    EXPECT_EQ(seekUsingSeektable(d, t, &audioOffset, bs, pcm, &skip), DECODER_ERROR_NOERROR);
    EXPECT_EQ(d->seekPosition, -1);
    EXPECT_EQ(audioOffset, 100 * kFrameSize + 60);
    EXPECT_EQ(skip, 8);
    EXPECT_EQ(std::ftell(d->inFile), offsetOf(92));
    EXPECT_EQ(bs->bytesLeft, 0);
    EXPECT_EQ(pcm->pcmBufferRead, 60);
    EXPECT_EQ(t->currentPlayPosition, 100);

    // Beyond the table: refused, the reader stays where it was.
    d->seekPosition = 700 * (kFrameSize / 2);
    skip = 8;
    EXPECT_EQ(seekUsingSeektable(d, t, &audioOffset, bs, pcm, &skip), DECODER_ERROR_OUTOFRANGE);
    EXPECT_EQ(std::ftell(d->inFile), offsetOf(92));
    EXPECT_EQ(t->currentPlayPosition, 100);

    // No pending seek: nothing to skip.
    skip = 8;
    EXPECT_EQ(seekUsingSeektable(d, t, &audioOffset, bs, pcm, &skip), DECODER_ERROR_NOERROR);
    EXPECT_EQ(skip, 0);

    finalizeSeektable(d, t);
    bitstream_destory(bs);
    pcmbuffer_destory(pcm);
    std::fclose(d->inFile);
    d->inFile = nullptr;
}

} // namespace
