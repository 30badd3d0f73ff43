// Creating and destroying records: the sizes of each quality, refused sizes, the values of
// a new record, the private state that only the live record reaches, and what a record that
// is not opened for an analysis does with frames and queries.
#include "snd/orvcorelib/songanalysis/analysis/analysis_support.h"

#include "songanalysis/songanalysis_handle.h"

#include <cmath>
#include <cstring>

namespace {

using namespace satest;

TEST(AnalysisRecordLife, QualityChoosesFrameAndFftSize) {
    struct Case {
        songanalysis_quality quality;
        u32 frameArg, fftArg;
        u32 frameSize, fftSize;
    };
    const Case cases[] = {
        {SONGANALYSIS_QUALITY_LOW, 7, 9, kFrame, 256},
        {SONGANALYSIS_QUALITY_MID, 0, 0, kFrame, 512},
        {SONGANALYSIS_QUALITY_HIGH, 0, 0, kFrame, 1024},
        {SONGANALYSIS_QUALITY_CUSTOM, 100, 4096, 100, 4096},
        {SONGANALYSIS_QUALITY_CUSTOM, 128, 128, 128, 128},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.quality);
        Record sa(songanalysis_new(c.quality, SONGANALYSIS_MODE_ONLINE, 5, c.frameArg, c.fftArg));
        ASSERT_NE(sa, nullptr);
        EXPECT_EQ(sa->frameSize, c.frameSize);
        EXPECT_EQ(sa->fftSize, c.fftSize);
        EXPECT_EQ(sa->quality, c.quality);
        EXPECT_EQ(sa->mode, SONGANALYSIS_MODE_ONLINE);
        EXPECT_EQ(sa->globalFeatures, 5u);
        EXPECT_EQ(sa->inputSampleRate, orv::kAnalysisSampleRate);
        EXPECT_EQ(sa->gainStruct.refGain, 700u);
        EXPECT_EQ(sa->bitRate, -1);
        EXPECT_EQ(sa->durationInMs, -1);
        // Everything else starts at 0.
        EXPECT_EQ(sa->lastError, SONGANALYSIS_ERROR_NOERROR);
        EXPECT_EQ(sa->isOpened, 0u);
        EXPECT_EQ(sa->isFinalized, 0u);
        EXPECT_EQ(sa->songFeatures, 0u);
        EXPECT_EQ(sa->audioStart, 0);
        EXPECT_EQ(sa->audioEnd, 0);
        EXPECT_EQ(sa->beatsPerMinute, 0.0f);
        EXPECT_EQ(sa->sampleRate, 0u);
        EXPECT_EQ(sa->dirty, 0);
        EXPECT_NE(sa->private_, 0u);
    }
}

TEST(AnalysisRecordLife, RefusesSizesItCannotAnalyseWith) {
    struct Case {
        const char *name;
        songanalysis_quality quality;
        u32 frameSize, fftSize;
    };
    const Case cases[] = {
        {"FFT size not a power of two", SONGANALYSIS_QUALITY_CUSTOM, 128, 1000},
        {"FFT without an onset band", SONGANALYSIS_QUALITY_CUSTOM, 32, 64},
        {"FFT beyond the largest", SONGANALYSIS_QUALITY_CUSTOM, 128, 8192},
        {"no frame", SONGANALYSIS_QUALITY_CUSTOM, 0, 512},
        {"frame beyond the FFT", SONGANALYSIS_QUALITY_CUSTOM, 513, 512},
        {"unknown quality", static_cast<songanalysis_quality>(9), 128, 512},
    };
    for (const Case &c : cases)
        EXPECT_EQ(songanalysis_new(c.quality, SONGANALYSIS_MODE_OFFLINE, 255, c.frameSize, c.fftSize),
                  nullptr)
            << c.name;
    songanalysis_destroy(nullptr);
}

// The token in the slot ties the private state to the record's own address: a byte copy
// elsewhere in memory, as a queue message or a result file would hold, reaches nothing.
TEST(AnalysisRecordLife, OnlyTheLiveRecordReachesItsState) {
    auto sa = makeRecord();
    songanalysis_handle *h = songanalysis_getHandle(sa.get());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->owner, sa.get());

    songanalysis_struct copy;
    std::memcpy(&copy, sa.get(), sizeof copy);
    EXPECT_EQ(songanalysis_getHandle(&copy), nullptr);
    // Queries and edits on the copy see no grid and change nothing.
    EXPECT_EQ(songanalysis_getNumberOfBeats(&copy), 0u);
    EXPECT_EQ(songanalysis_addBeat(&copy, 100), SONGANALYSIS_ERROR_NOTOPENED);
    EXPECT_EQ(songanalysis_open(&copy, 255, orv::kAnalysisSampleRate, 1000, 2, 0.0f,
                                SONGANALYSIS_GENRE_DEFAULT, nullptr),
              SONGANALYSIS_ERROR_ERROR);
    songanalysis_destroy(&copy); // not a live record: nothing happens

    copy.private_ = 0;
    EXPECT_EQ(songanalysis_getHandle(&copy), nullptr);
    EXPECT_EQ(songanalysis_getHandle(nullptr), nullptr);
    EXPECT_EQ(songanalysis_getHandle(sa.get()), h);
}

TEST(AnalysisRecordLife, RecordNotOpenedForAnAnalysisIgnoresFrames) {
    auto sa = makeRecord();
    const std::vector<s16> frame(2 * kFrame, 3000);
    EXPECT_EQ(songanalysis_process(sa.get(), frame.data(), kFrame), 0u);
    EXPECT_EQ(songanalysis_finalize(sa.get(), nullptr, 0, false), SONGANALYSIS_ERROR_NOTOPENED);
    EXPECT_EQ(sa->isFinalized, 0u);
    EXPECT_EQ(songanalysis_process(nullptr, frame.data(), kFrame), 0u);
    EXPECT_EQ(songanalysis_finalize(nullptr, nullptr, 0, false), SONGANALYSIS_ERROR_NOTOPENED);

    ASSERT_EQ(songanalysis_openForResults(sa.get(), SONGANALYSIS_FEATURE_BEATS, orv::kAnalysisSampleRate,
                                          1000, 2, 0.0f, SONGANALYSIS_GENRE_DEFAULT, nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(songanalysis_process(sa.get(), frame.data(), kFrame), 0u);
    EXPECT_EQ(songanalysis_finalize(sa.get(), nullptr, 0, false), SONGANALYSIS_ERROR_NOTOPENED);
    EXPECT_EQ(sa->audioStart, -1);
    EXPECT_EQ(songanalysis_getHandle(sa.get())->frameCount, 0);
    // Taps need a tracker; a record of loaded results takes them and has nothing to do.
    EXPECT_EQ(songanalysis_tapBeat(sa.get(), 500), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(songanalysis_tapBeatReset(sa.get()), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(songanalysis_tapDownbeat(sa.get(), 500), SONGANALYSIS_ERROR_NOTSUPPORTED);
    EXPECT_EQ(songanalysis_getHandle(sa.get())->beatTracker, nullptr);
}

TEST(AnalysisRecordLife, UserInputModeReachesATrackerMadeLater) {
    struct Case {
        songanalysis_userinputmode mode;
        s32 tapWeight;
    };
    const Case cases[] = {{SONGANALYSIS_USERINPUTMODE_IGNORE, 0},
                          {SONGANALYSIS_USERINPUTMODE_GUIDE, 4},
                          {SONGANALYSIS_USERINPUTMODE_OVERWRITE, 20}};
    for (const Case &c : cases) {
        auto sa = makeRecord();
        EXPECT_EQ(songanalysis_setUserInputMode(sa.get(), c.mode), SONGANALYSIS_ERROR_NOERROR);
        ASSERT_EQ(songanalysis_open(sa.get(), SONGANALYSIS_FEATURE_BEATS, orv::kAnalysisSampleRate, 1000, 2,
                                    0.0f, SONGANALYSIS_GENRE_DEFAULT, nullptr),
                  SONGANALYSIS_ERROR_NOERROR);
        const beattracker_struct *bt = songanalysis_getHandle(sa.get())->beatTracker;
        EXPECT_EQ(static_cast<s32>(bt->userInputMode), static_cast<s32>(c.mode));
        EXPECT_EQ(bt->private_->tapWeight, c.tapWeight);
    }
}

TEST(AnalysisRecordLife, TapsReachTheTrackerInFrames) {
    auto sa = makeRecord();
    ASSERT_EQ(songanalysis_open(sa.get(), SONGANALYSIS_FEATURE_BEATS, orv::kAnalysisSampleRate, 1000, 2, 0.0f,
                                SONGANALYSIS_GENRE_DEFAULT, nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    const beattracker_struct *bt = songanalysis_getHandle(sa.get())->beatTracker;
    EXPECT_EQ(songanalysis_tapBeat(sa.get(), 1000), SONGANALYSIS_ERROR_NOERROR);
    float tap = 0.0f;
    circbuff_readLatest(bt->private_->tap, &tap, 1);
    EXPECT_EQ(tap, static_cast<float>(static_cast<u32>(kRate / kFrame + 0.5)));
    EXPECT_EQ(bt->private_->tapState, TAPSTATE_STARTED);
    EXPECT_EQ(songanalysis_tapBeatReset(sa.get()), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(bt->private_->tapState, TAPSTATE_RESET);
    EXPECT_EQ(songanalysis_tapDownbeat(sa.get(), 1000), SONGANALYSIS_ERROR_NOTSUPPORTED);
}

TEST(AnalysisRecordLife, AlbumCallsReachTheLoudnessAnalyser) {
    auto sa = makeRecord();
    EXPECT_EQ(songanalysis_newAlbum(sa.get(), 3), SONGANALYSIS_ERROR_NOERROR);
    const replaygain_struct *rpg = songanalysis_getHandle(sa.get())->rpg;
    EXPECT_EQ(rpg->albumSize, 3u);
    EXPECT_EQ(songanalysis_albumEnd(sa.get()), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(rpg->albumGain, nullptr);
    EXPECT_EQ(songanalysis_newAlbum(nullptr, 3), SONGANALYSIS_ERROR_NOTOPENED);
}

// Close gives back what the song held; the record opens again for another song, and a
// record destroyed while opened leaks nothing (the sanitizer checks at exit).
TEST(AnalysisRecordLife, CloseReleasesTheSongAndAllowsAnotherOpen) {
    auto sa = makeRecord();
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(songanalysis_open(sa.get(), SONGANALYSIS_FEATURE_ALL, orv::kAnalysisSampleRate, 1000, 2,
                                    0.0f, SONGANALYSIS_GENRE_DEFAULT, nullptr),
                  SONGANALYSIS_ERROR_NOERROR);
        const std::vector<s16> frame(2 * kFrame, 3000);
        songanalysis_process(sa.get(), frame.data(), kFrame);
        songanalysis_close(sa.get());
        const songanalysis_handle *h = songanalysis_getHandle(sa.get());
        EXPECT_EQ(sa->isOpened, 0u);
        EXPECT_EQ(h->wfvSamples, nullptr);
        EXPECT_EQ(h->wfvCnt, 0);
        EXPECT_EQ(h->wfvSize, 0);
        EXPECT_EQ(h->rpg->rms, nullptr);
        EXPECT_EQ(h->beatTracker->private_->peakTrain, nullptr);
        EXPECT_EQ(songanalysis_getWaveform(sa.get(), nullptr, nullptr, nullptr), SONGANALYSIS_ERROR_MODE);
    }
    songanalysis_struct *open =
        songanalysis_new(SONGANALYSIS_QUALITY_HIGH, SONGANALYSIS_MODE_OFFLINE, 255, 0, 0);
    ASSERT_EQ(songanalysis_open(open, SONGANALYSIS_FEATURE_ALL, orv::kAnalysisSampleRate, 1000, 2, 0.0f,
                                SONGANALYSIS_GENRE_DEFAULT, nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    songanalysis_destroy(open);
}

} // namespace
