// Whole files through songanalysis_processFile: a 44.1 kHz drum song analysed, saved, handed
// over and checked; runs that must leave no result (quit, audio that cannot be decoded, a
// result folder that cannot be written); the options' edits of the finished grid; an MP3
// file, which needs a seek table.
#include "snd/orvcorelib/songanalysis/driver/driver_support.h"

#include "codecs/decoder/decoder.h"
#include "codecs/fileformat/fileops.h"
#include "support/runtool.h"

#include <cstring>

namespace {

using namespace drivertest;

// The songs every test reads, written once.
class Driver : public DriverRun {
  protected:
    static void SetUpTestSuite() {
        songs_ = new orvtest::TempDir;
        writeDrumWav(longSong(), 30.0);
        writeDrumWav(shortSong(), 12.0);
    }
    static void TearDownTestSuite() {
        delete songs_;
        songs_ = nullptr;
    }
    static std::string longSong() { return songs_->file("drums30.wav"); }
    static std::string shortSong() { return songs_->file("drums12.wav"); }

    SongFiles files(const std::string &audio) const { return SongFiles(dir_.path().string(), audio); }
    bool folderEmpty() const { return std::filesystem::is_empty(dir_.path()); }

    static orvtest::TempDir *songs_;
};

orvtest::TempDir *Driver::songs_ = nullptr;

// A record copy that the run must not touch.
songanalysis_struct untouchedCopy() {
    songanalysis_struct r;
    std::memset(&r, 0xA5, sizeof r);
    return r;
}

bool isUntouched(const songanalysis_struct &r) {
    const songanalysis_struct pattern = untouchedCopy();
    return std::memcmp(&r, &pattern, sizeof r) == 0;
}

TEST_F(Driver, QuitBeforeTheRunTouchesNothing) {
    const volatile int quit = 1;
    songanalysis_struct copy = untouchedCopy();
    EXPECT_EQ(run(longSong(), files(longSong()), &copy, nullptr, &quit), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(received.calls, 0);
    EXPECT_TRUE(isUntouched(copy));
    EXPECT_TRUE(folderEmpty());
}

TEST_F(Driver, AnalysesSavesHandsOverAndChecksAWholeFile) {
    const SongFiles f = files(longSong());
    songanalysis_struct copy = untouchedCopy();
    ASSERT_EQ(run(longSong(), f, &copy), SONGANALYSIS_ERROR_NOERROR);

    // The callback gets the live record once; the copy is the same 112 bytes without the
    // private word.
    ASSERT_EQ(received.calls, 1);
    EXPECT_TRUE(received.live);
    EXPECT_NE(received.record.private_, 0u);
    EXPECT_EQ(copy.private_, 0u);
    EXPECT_EQ(std::memcmp(&copy, &received.record, offsetof(songanalysis_struct, private_)), 0);

    EXPECT_EQ(copy.quality, SONGANALYSIS_QUALITY_MID);
    EXPECT_EQ(copy.mode, SONGANALYSIS_MODE_OFFLINE);
    EXPECT_EQ(copy.globalFeatures, SONGANALYSIS_FEATURE_ALL);
    EXPECT_EQ(copy.songFeatures, SONGANALYSIS_FEATURE_ALL);
    EXPECT_EQ(copy.numChannels, 2u);
    EXPECT_EQ(copy.inputSampleRate, orv::kAnalysisSampleRate);
    EXPECT_EQ(copy.frameSize, orv::kAnalysisFrameSize);
    EXPECT_EQ(copy.isFinalized, 1u);
    EXPECT_EQ(copy.dirty, 0);
    EXPECT_NEAR(copy.beatsPerMinute, 120.0f, 0.5f);
    EXPECT_NEAR(copy.durationInMs, 30000, 2.0 * 1000.0 * satest::kFrame / satest::kRate);
    EXPECT_GE(copy.maxLengthInMs, 29990u);
    EXPECT_NEAR(copy.audioStart, 250, 30);
    EXPECT_EQ(copy.isNativelySeekable, 1); // WAV needs no seek table
    EXPECT_EQ(copy.bitRate, 44100 * 2 * 16);
    EXPECT_GT(copy.gainStruct.radioGain, 0u);
    EXPECT_NEAR(received.beatFrames.size(), 60u, 2u);

    // The saved files check out, the seek-table checksum included, and load back.
    EXPECT_TRUE(exists(f.sar));
    EXPECT_TRUE(exists(f.wfv));
    // No seek table for a WAV file: at most the checksum the save seals the file with.
    EXPECT_LE(std::filesystem::file_size(f.sek), 4u);
    EXPECT_EQ(songanalysis_validate(f.sar.c_str(), f.sek.c_str(), f.wfv.c_str(), f.aud.c_str()),
              SONGANALYSIS_ERROR_NOERROR);
    auto loaded = satest::makeRecord();
    ASSERT_EQ(songanalysis_openAndLoadResults(loaded.get(), f.sar.c_str(), f.wfv.c_str()),
              SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(loaded->beatsPerMinute, copy.beatsPerMinute);
    EXPECT_EQ(loaded->durationInMs, copy.durationInMs);
    EXPECT_EQ(songanalysis_getNumberOfBeats(loaded.get()), received.beatFrames.size());
}

TEST_F(Driver, AudioThatCannotBeDecodedLeavesNoResult) {
    const std::string unknownExtension = dir_.file("drums.xyz");
    std::filesystem::copy_file(shortSong(), unknownExtension);
    const std::string notWav = dir_.file("text.wav");
    orvtest::writeFileBytes(notWav, std::vector<unsigned char>(4096, 'x'));
    struct Case {
        const char *name;
        std::string audio;
        songanalysis_error expected; // ERROR: any failure
    };
    const Case cases[] = {
        {"missing file", dir_.file("missing.wav"), SONGANALYSIS_ERROR_FILEERROR},
        {"unknown extension", unknownExtension, SONGANALYSIS_ERROR_NOTSUPPORTED_FILEFORMAT},
        {"not a WAV file", notWav, SONGANALYSIS_ERROR_ERROR},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        received = Received{};
        const SongFiles f = files(c.audio);
        songanalysis_struct copy = untouchedCopy();
        const songanalysis_error e = run(c.audio, f, &copy);
        if (c.expected == SONGANALYSIS_ERROR_ERROR)
            EXPECT_NE(e, SONGANALYSIS_ERROR_NOERROR);
        else
            EXPECT_EQ(e, c.expected);
        EXPECT_EQ(received.calls, 0);
        EXPECT_TRUE(isUntouched(copy));
        EXPECT_FALSE(exists(f.sar));
        EXPECT_FALSE(exists(f.wfv));
    }
}

TEST_F(Driver, AResultFolderThatCannotBeWrittenFailsTheRun) {
    const std::string missingFolder = dir_.file("no-such-folder");
    const SongFiles f(missingFolder, shortSong());
    songanalysis_struct copy = untouchedCopy();
    EXPECT_EQ(run(shortSong(), f, &copy), SONGANALYSIS_ERROR_FILEERROR);
    EXPECT_EQ(received.calls, 0);
    EXPECT_TRUE(isUntouched(copy));
    EXPECT_FALSE(exists(missingFolder));
}

// The decoder's shared file operations for one test: a read that asks the run to quit after
// a number of reads, an open that fails at a given open; the standard ones come back after.
class FileOps {
  public:
    static inline volatile int quit = 0;

    FileOps(int readsBeforeQuit, int failingOpen) {
        standard_ = fileCallback;
        quit = 0;
        readsBeforeQuit_ = readsBeforeQuit;
        opensBeforeFailure_ = failingOpen;
        opens_ = 0;
        file_callback ops = standard_;
        ops.read = read;
        ops.open = open;
        decoder_setFileCallback(&ops);
    }
    ~FileOps() { decoder_setFileCallback(&standard_); }
    FileOps(const FileOps &) = delete;
    FileOps &operator=(const FileOps &) = delete;
    static int opens() { return opens_; }

  private:
    static size_t read(void *buffer, size_t itemSize, size_t count, FILE *handle) {
        if (readsBeforeQuit_ > 0 && --readsBeforeQuit_ == 0) quit = 1;
        return standard_.read(buffer, itemSize, count, handle);
    }
    static FILE *open(const char *name, const char *mode) {
        ++opens_;
        if (opensBeforeFailure_ > 0 && --opensBeforeFailure_ == 0) return nullptr;
        return standard_.open(name, mode);
    }
    static inline file_callback standard_{};
    static inline int readsBeforeQuit_ = 0;
    static inline int opensBeforeFailure_ = 0;
    static inline int opens_ = 0;
};

TEST_F(Driver, QuitDuringTheRunSavesNothing) {
    const SongFiles f = files(longSong());
    songanalysis_struct copy = untouchedCopy();
    FileOps ops(40, 0); // 40 reads: well into the second pass, far from its end
    EXPECT_EQ(run(longSong(), f, &copy, nullptr, &FileOps::quit), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(FileOps::quit, 1);
    EXPECT_EQ(received.calls, 0);
    EXPECT_TRUE(isUntouched(copy));
    EXPECT_FALSE(exists(f.sar));
    EXPECT_FALSE(exists(f.wfv));
}

// The file opens for the seek-table pass and then fails to open for the analysis: the run
// reports it and releases what it made (the leak check of the sanitiser build sees to that).
TEST_F(Driver, AudioThatCannotBeOpenedTheSecondTimeLeavesNoResult) {
    const SongFiles f = files(longSong());
    songanalysis_struct copy = untouchedCopy();
    FileOps ops(0, 2);
    EXPECT_EQ(run(longSong(), f, &copy), SONGANALYSIS_ERROR_FILEERROR);
    EXPECT_EQ(FileOps::opens(), 2);
    EXPECT_EQ(received.calls, 0);
    EXPECT_TRUE(isUntouched(copy));
    EXPECT_FALSE(exists(f.sar));
    EXPECT_FALSE(exists(f.wfv));
}

u32 msOf(const songanalysis_struct &sa, u32 frame) {
    return songanalysis_frameToMs(&sa, frame);
}

TEST_F(Driver, OptionsEditTheFinishedGrid) {
    ASSERT_EQ(run(shortSong(), files(shortSong())), SONGANALYSIS_ERROR_NOERROR);
    const std::vector<u32> detected = received.beatFrames;
    const songanalysis_struct first = received.record;
    ASSERT_GT(detected.size(), 12u);
    ASSERT_GT(first.beatsPerMinute, 0.0f);

    // One beat added between the fifth and sixth, the tenth removed.
    const u32 added = (detected[5] + detected[6]) / 2;
    songanalysis_options_struct o = songanalysis_defaultOptions();
    o.beatsToAdd[0] = static_cast<s32>(msOf(first, added));
    o.beatsToRemove[0] = static_cast<s32>(msOf(first, detected[10]));
    ASSERT_EQ(run(shortSong(), files(shortSong()), nullptr, &o), SONGANALYSIS_ERROR_NOERROR);
    std::vector<u32> expected = detected;
    expected.erase(expected.begin() + 10);
    expected.insert(expected.begin() + 6, added);
    EXPECT_EQ(received.beatFrames, expected);
    EXPECT_EQ(received.fixedBpm, 0.0f);

    // A fixed tempo from the options, kept in the result file.
    o = songanalysis_defaultOptions();
    o.gridMode = 1;
    o.bpm = 125.0f;
    const SongFiles f = files(shortSong());
    ASSERT_EQ(run(shortSong(), f, nullptr, &o), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_FLOAT_EQ(received.fixedBpm, 125.0f);
    auto loaded = satest::makeRecord();
    ASSERT_EQ(songanalysis_openAndLoadResults(loaded.get(), f.sar.c_str(), nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    EXPECT_FLOAT_EQ(songanalysis_getFixedBPM(loaded.get()), 125.0f);
}

TEST_F(Driver, AnMp3FileGetsItsSeekTableFirst) {
    const std::string mp3 = dir_.file("drums.mp3");
    if (orvtest::runTool({"lame", "--quiet", "-b", "128", shortSong(), mp3}) != 0)
        GTEST_SKIP() << "lame is not available";
    const SongFiles f = files(mp3);
    songanalysis_struct copy = untouchedCopy();
    ASSERT_EQ(run(mp3, f, &copy), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(received.calls, 1);
    EXPECT_EQ(copy.isNativelySeekable, 0);
    EXPECT_EQ(copy.bitRate, 128000);
    EXPECT_NEAR(copy.durationInMs, 12000, 100);
    // The seek table itself, not only the checksum a save appends.
    ASSERT_TRUE(exists(f.sek));
    EXPECT_GT(std::filesystem::file_size(f.sek), 64u);
    EXPECT_EQ(songanalysis_validate(f.sar.c_str(), f.sek.c_str(), f.wfv.c_str(), f.aud.c_str()),
              SONGANALYSIS_ERROR_NOERROR);
}

} // namespace
