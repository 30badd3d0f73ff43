// Whole songs through the life cycle in process: tempo, grids, audio start and end, gains
// and the in-memory waveform points of a synthesised drum pattern, of silence, and of a
// record opened again for a second song.
#include "snd/orvcorelib/songanalysis/analysis/analysis_support.h"

#include "songanalysis/songanalysis_handle.h"
#include "songanalysis/songanalysis_waveform.h"
#include "support/tempdir.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

using namespace satest;

class Analysis : public FreshAnalysis {};

constexpr double kFrameMs = 1000.0 * kFrame / kRate;

s32 largestMagnitude(const Pcm &pcm) {
    s32 m = 0;
    for (s16 s : pcm.samples) m = std::max(m, std::abs(s32{s}));
    return std::min(m, 32767);
}

struct DrumCase {
    const char *name;
    double firstBeat; // seconds
};

// The record's whole result for the song, in either configuration.
TEST_F(Analysis, ThreeMinutesOfDrumsAt120Bpm) {
    const DrumCase cases[] = {{"first beat after 0.1 s", 0.1}, {"2 s of leading silence", 2.0}};
    for (const DrumCase &c : cases) {
        SCOPED_TRACE(c.name);
        beattracker_resetProcessStatics();
        const Pcm song = makeDrumSong(120.0, 180.0, c.firstBeat);
        auto sa = makeRecord();
        ASSERT_NE(sa, nullptr);
        const u32 frames = analyse(sa.get(), song);

        EXPECT_EQ(sa->isFinalized, 1u);
        EXPECT_EQ(sa->beatsPerMinute, 120.0f);
        EXPECT_GT(sa->beatsScore, 0u);
        // The finish lays the grid over the whole song, into a silent start too: the first
        // beat falls on the pattern's phase.
        const double phaseMs = std::fmod(c.firstBeat * 1000.0, 500.0);
        const u32 gridBeats = static_cast<u32>(std::ceil((180000.0 - phaseMs) / 500.0));
        const u32 beats = songanalysis_getNumberOfBeats(sa.get());
        EXPECT_NEAR(beats, gridBeats, 2);
        EXPECT_EQ(songanalysis_getNumberOfDownbeats(sa.get()), (beats + 3) / 4);
        const double offPhase = std::remainder(sa->musicStart - phaseMs, 500.0);
        EXPECT_LT(sa->musicStart, 500u + 2 * kFrameMs);
        EXPECT_NEAR(offPhase, 0.0, 2 * kFrameMs) << sa->musicStart;
        EXPECT_NEAR(sa->audioStart, c.firstBeat * 1000.0, kFrameMs);
        EXPECT_GT(sa->audioEnd, 179000);
        EXPECT_LE(sa->audioEnd, sa->durationInMs);
        EXPECT_NEAR(sa->durationInMs, std::trunc(frames * kFrameMs), 1.0);

        EXPECT_EQ(sa->gainStruct.refGain, 700u);
        EXPECT_EQ(sa->gainStruct.peakValue, static_cast<u32>(largestMagnitude(song)));
        EXPECT_GT(sa->gainStruct.radioGain, 0u);
        EXPECT_EQ(sa->gainStruct.audiophileGain, sa->gainStruct.radioGain);

        // One point per frame, post-processed and coloured.
        songanalysis_wfv_struct *points = nullptr;
        u32 count = 0, rate = 0;
        ASSERT_EQ(songanalysis_getWaveform(sa.get(), &points, &count, &rate), SONGANALYSIS_ERROR_NOERROR);
        EXPECT_EQ(count, frames);
        EXPECT_EQ(rate, orv::kAnalysisSampleRate / kFrame);
        for (u32 i = 0; i < count; ++i) {
            songanalysis_wfv_struct coloured = points[i];
            ConvHSL2RGB(&coloured);
            ASSERT_EQ(std::memcmp(&coloured, &points[i], sizeof coloured), 0) << "point " << i;
            ASSERT_GE(points[i].v, 63) << i;
            ASSERT_LE(points[i].v, 191) << i;
            ASSERT_LE(points[i].h, 192) << i;
        }
        // The peaks are normalised: the loudest frame comes close to the full 113.
        s32 highest = 0;
        for (u32 i = 0; i < count; ++i) highest = std::max<s32>(highest, points[i].xp);
        EXPECT_GE(highest, 100);

        // The waveform file holds a point every 5 ms, the profile 420 points of music.
        const std::span<const songanalysis_wfv_struct> all(points, count);
        orvtest::TempDir dir;
        const std::string wfv = dir.file("song.wfv");
        ASSERT_EQ(songanalysis_writeWaveformFile(all, wfv.c_str(), 5, 127, 420), SONGANALYSIS_ERROR_NOERROR);
        EXPECT_NEAR((orvtest::readFileBytes(wfv).size() - 12) / 8.0, 36000.0, 10.0);
        std::vector<songanalysis_wfv_struct> profile(420);
        ASSERT_EQ(songanalysis_makeProfile(all, 420, 127, profile), 420u);
        for (u32 i = c.firstBeat > 1.0 ? 5 : 0; i < 418; ++i) ASSERT_GT(profile[i].xp, 0) << i;

        // Every final beat is found at its own position.
        std::vector<u32> ms(beats);
        ASSERT_EQ(songanalysis_getBeats(sa.get(), ms.data(), 0, beats), beats);
        for (u32 i = 0; i + 1 < beats; ++i) {
            ASSERT_LT(ms[i], ms[i + 1]);
            ASSERT_EQ(songanalysis_getBeatIndex(sa.get(), ms[i]), static_cast<s32>(i));
            ASSERT_FLOAT_EQ(songanalysis_fracbeatFromPos(sa.get(), ms[i]), static_cast<float>(i));
        }
    }
}

TEST_F(Analysis, SilenceHasNoAudioStartNoTempoAndRawPoints) {
    const Pcm song = makeSilence(20.0);
    auto sa = makeRecord();
    const u32 frames = analyse(sa.get(), song);
    const s32 never = orv::kDeviceConfig ? -22 : -5;
    EXPECT_EQ(sa->audioStart, never);
    EXPECT_EQ(sa->audioEnd, never);
    EXPECT_EQ(sa->beatsPerMinute, 0.0f);
    EXPECT_EQ(songanalysis_getNumberOfBeats(sa.get()), 0u);
    EXPECT_EQ(sa->gainStruct.peakValue, 0u);
    EXPECT_EQ(sa->gainStruct.radioGain, 0u);
    songanalysis_wfv_struct *points = nullptr;
    u32 count = 0;
    ASSERT_EQ(songanalysis_getWaveform(sa.get(), &points, &count, nullptr), SONGANALYSIS_ERROR_NOERROR);
    ASSERT_EQ(count, frames);
    for (u32 i = 0; i < count; ++i) {
        // Never normalised, filtered or coloured: the raw point of a silent frame.
        ASSERT_EQ(points[i].xp, 0);
        ASSERT_EQ(points[i].xn, 0);
        ASSERT_EQ(points[i].v, 255);
        ASSERT_EQ(points[i].h, 8);
        ASSERT_EQ(points[i].r + points[i].g + points[i].b, 0);
        ASSERT_EQ(points[i].padding, 0xF0);
    }
}

// One frame of constant samples: the mono mix, the peak value, the point's peaks and
// whether the frame is audible.
TEST_F(Analysis, MonoMixPeakAndAudibleFrames) {
    struct Case {
        const char *name;
        u32 channels;
        s16 left, right;
        s8 xp, xn;
        u32 peak;
        bool audible;
    };
    const Case cases[] = {
        {"mono", 1, 1000, 0, 3, 0, 1000, true},
        {"mono just audible", 1, 65, 0, 0, 0, 65, true},
        {"mono at the audible level", 1, 64, 0, 0, 0, 64, false},
        {"mono -1 shifts to -1", 1, -1, 0, 0, -1, 1, false},
        {"stereo halves added", 2, 1000, 1000, 3, 0, 1000, true},
        {"stereo opposite channels cancel", 2, 20000, -20000, 0, 0, 20000, false},
        {"full-scale negative peak saturates", 2, -32768, -32768, 0, -128, 32767, false},
        {"three channels leave the input untouched", 3, 30000, 30000, 0, 0, 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto sa = makeRecord();
        ASSERT_EQ(songanalysis_open(sa.get(), SONGANALYSIS_FEATURE_ALL, orv::kAnalysisSampleRate, 60000,
                                    c.channels, 0.0f, SONGANALYSIS_GENRE_DEFAULT, nullptr),
                  SONGANALYSIS_ERROR_NOERROR);
        std::vector<s16> frame(kFrame * c.channels, c.left);
        if (c.channels == 2)
            for (u32 i = 0; i < kFrame; ++i) frame[2 * i + 1] = c.right;
        songanalysis_process(sa.get(), frame.data(), kFrame);
        const songanalysis_handle *h = songanalysis_getHandle(sa.get());
        ASSERT_EQ(h->wfvCnt, 1);
        EXPECT_EQ(h->wfvSamples[0].xp, c.xp);
        EXPECT_EQ(h->wfvSamples[0].xn, c.xn);
        EXPECT_EQ(static_cast<u32>(h->peakValue), c.peak);
        EXPECT_EQ(sa->audioStart, c.audible ? 0 : -1);
        ASSERT_EQ(songanalysis_finalize(sa.get(), nullptr, 0, false), SONGANALYSIS_ERROR_NOERROR);
        EXPECT_EQ(sa->gainStruct.peakValue, c.peak);
    }
}

// The first audible frame is the start, the last one the end; a frame count that starts
// again at every open.
TEST_F(Analysis, AudioStartAndEndAreTheFirstAndLastAudibleFrames) {
    auto sa = makeRecord();
    const std::vector<s16> quiet(kFrame * 2, 10);
    const std::vector<s16> loud(kFrame * 2, 5000);
    for (int song = 0; song < 2; ++song) {
        ASSERT_EQ(songanalysis_open(sa.get(), SONGANALYSIS_FEATURE_ALL, orv::kAnalysisSampleRate, 60000, 2,
                                    0.0f, SONGANALYSIS_GENRE_DEFAULT, nullptr),
                  SONGANALYSIS_ERROR_NOERROR);
        for (int f = 0; f < 12; ++f) {
            const bool audible = f == 3 || f == 7 || f == 9;
            songanalysis_process(sa.get(), audible ? loud.data() : quiet.data(), kFrame);
        }
        EXPECT_EQ(sa->audioStart, 3);
        EXPECT_EQ(sa->audioEnd, 9);
        ASSERT_EQ(songanalysis_finalize(sa.get(), nullptr, 0, false), SONGANALYSIS_ERROR_NOERROR);
        EXPECT_EQ(sa->audioStart, static_cast<s32>(3 * kFrameMs + 0.5));
        EXPECT_EQ(sa->audioEnd, static_cast<s32>(9 * kFrameMs + 0.5));
        EXPECT_EQ(sa->durationInMs, static_cast<s32>(12 * kFrameMs));
        songanalysis_close(sa.get());
    }
}

// A song shorter than five minutes still gets five minutes of room; an absurd length gets
// the room of four hours, not gigabytes.
TEST_F(Analysis, OpenMakesRoomForTheSongsFrames) {
    struct Case {
        u32 lengthMs;
        double roomMs;
    };
    const Case cases[] = {
        {0, 300000}, {60000, 300000}, {300000, 300000}, {600000, 600000}, {0xFFFFFFFF, 4 * 3600000.0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.lengthMs);
        auto sa = makeRecord();
        ASSERT_EQ(songanalysis_open(sa.get(), SONGANALYSIS_FEATURE_ALL, orv::kAnalysisSampleRate, c.lengthMs,
                                    2, 0.0f, SONGANALYSIS_GENRE_DEFAULT, nullptr),
                  SONGANALYSIS_ERROR_NOERROR);
        const double frames = std::floor(c.roomMs * kRate / 1000.0 / kFrame + 1.0);
        const songanalysis_handle *h = songanalysis_getHandle(sa.get());
        EXPECT_NEAR(h->wfvSize, frames, 1.0);
        EXPECT_NEAR(h->beatTracker->numFrames, frames, 1.0);
        EXPECT_NE(h->beatTracker->private_->peakTrain, nullptr);
        EXPECT_EQ(h->rpg->rmsSize, 5u * static_cast<u32>(h->wfvSize));
        EXPECT_EQ(h->wfvCnt, 0);
        EXPECT_EQ(sa->maxLengthInMs, c.lengthMs);
        EXPECT_EQ(sa->durationInMs, static_cast<s32>(c.lengthMs));
        EXPECT_EQ(sa->audioStart, -1);
        EXPECT_EQ(sa->audioEnd, -1);
        EXPECT_EQ(sa->bitRate, -1);
        EXPECT_EQ(sa->isOpened, 1u);
        EXPECT_EQ(sa->isFinalized, 0u);
    }
}

// Tempo bounds in frames from the genre (integer arithmetic), the initial tempo, threshold
// and bar pattern, all handed to the tracker.
TEST_F(Analysis, OpenSetsTheTrackerFromTheGenre) {
    struct Case {
        const char *name;
        songanalysis_genre genre;
        songanalysis_genre_struct custom;
        float upperDevice, lowerDevice, upperDesktop, lowerDesktop;
    };
    const Case cases[] = {
        {"default", SONGANALYSIS_GENRE_DEFAULT, {}, 43, 10, 172, 43},
        {"dance", SONGANALYSIS_GENRE_DANCE, {}, 25, 12, 103, 51},
        {"custom", SONGANALYSIS_GENRE_CUSTOM, {90, 180, {1, 2, 3, 4}}, 28, 14, 114, 57},
        {"custom without bounds keeps the defaults",
         SONGANALYSIS_GENRE_CUSTOM,
         {0, 0, {1, 2, 3, 4}},
         43,
         14,
         172,
         56},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto sa = makeRecord();
        ASSERT_EQ(songanalysis_open(sa.get(), SONGANALYSIS_FEATURE_BEATS, orv::kAnalysisSampleRate, 200000, 2,
                                    120.0f, c.genre, &c.custom),
                  SONGANALYSIS_ERROR_NOERROR);
        const beattracker_struct *bt = songanalysis_getHandle(sa.get())->beatTracker;
        EXPECT_EQ(bt->upperBI, orv::kDeviceConfig ? c.upperDevice : c.upperDesktop);
        EXPECT_EQ(bt->lowerBI, orv::kDeviceConfig ? c.lowerDevice : c.lowerDesktop);
        EXPECT_NEAR(bt->initialBI, orv::kDeviceConfig ? 21.533 : 86.133, 1e-3);
        EXPECT_EQ(bt->threshould, 17.0f);
        const songanalysis_genre_struct &preset =
            c.genre == SONGANALYSIS_GENRE_CUSTOM ? c.custom : GENRE_DATA[c.genre];
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(bt->private_->beatPattern[i], static_cast<float>(preset.beatPattern[i]));
        EXPECT_EQ(sa->genre, c.genre);
    }
}

TEST_F(Analysis, OpenRefusesWhatItCannotAnalyse) {
    struct Case {
        const char *name;
        u32 rate;
        songanalysis_genre genre;
        bool custom;
        songanalysis_error expected;
    };
    const Case cases[] = {
        {"no rate", 0, SONGANALYSIS_GENRE_DEFAULT, false, SONGANALYSIS_ERROR_NOTSUPPORTED_SAMPLERATE},
        {"unknown genre", orv::kAnalysisSampleRate, static_cast<songanalysis_genre>(7), false,
         SONGANALYSIS_ERROR_NOTSUPPORTED},
        {"negative genre", orv::kAnalysisSampleRate, static_cast<songanalysis_genre>(-1), false,
         SONGANALYSIS_ERROR_NOTSUPPORTED},
        {"custom genre without bounds", orv::kAnalysisSampleRate, SONGANALYSIS_GENRE_CUSTOM, false,
         SONGANALYSIS_ERROR_NOTSUPPORTED},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto sa = makeRecord();
        EXPECT_EQ(
            songanalysis_open(sa.get(), SONGANALYSIS_FEATURE_ALL, c.rate, 60000, 2, 0.0f, c.genre, nullptr),
            c.expected);
        EXPECT_EQ(sa->isOpened, 0u);
    }
    auto sa = makeRecord();
    ASSERT_EQ(songanalysis_open(sa.get(), SONGANALYSIS_FEATURE_ALL, orv::kAnalysisSampleRate, 60000, 2, 0.0f,
                                SONGANALYSIS_GENRE_DEFAULT, nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(songanalysis_open(sa.get(), SONGANALYSIS_FEATURE_ALL, orv::kAnalysisSampleRate, 60000, 2, 0.0f,
                                SONGANALYSIS_GENRE_DEFAULT, nullptr),
              SONGANALYSIS_ERROR_ALREADYOPENED);
}

// The tracker sees its first spectrum once the FFT frame has been filled: from frame
// (fftSize / 2) / frameSize - 1, which is -1 (that is, at once) when the hop is half the
// FFT or more.
TEST_F(Analysis, TrackerStartsOnceTheFftFrameIsFilled) {
    struct Case {
        const char *name;
        songanalysis_quality quality;
        u32 frameSize, fftSize;
        u32 firstDevice, firstDesktop;
    };
    const Case cases[] = {
        {"low", SONGANALYSIS_QUALITY_LOW, 0, 0, 0, 0},
        {"mid", SONGANALYSIS_QUALITY_MID, 0, 0, 0, 1},
        {"high", SONGANALYSIS_QUALITY_HIGH, 0, 0, 1, 3},
        {"custom hop beyond half the FFT", SONGANALYSIS_QUALITY_CUSTOM, 200, 256, 0, 0},
    };
    const std::vector<s16> frame(2 * 256, 100);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto sa = Record(songanalysis_new(c.quality, SONGANALYSIS_MODE_OFFLINE, SONGANALYSIS_FEATURE_ALL,
                                          c.frameSize, c.fftSize));
        ASSERT_NE(sa, nullptr);
        ASSERT_EQ(songanalysis_open(sa.get(), SONGANALYSIS_FEATURE_ALL, orv::kAnalysisSampleRate, 60000, 2,
                                    0.0f, SONGANALYSIS_GENRE_DEFAULT, nullptr),
                  SONGANALYSIS_ERROR_NOERROR);
        for (int f = 0; f < 10; ++f) songanalysis_process(sa.get(), frame.data(), sa->frameSize);
        const u32 first = orv::kDeviceConfig ? c.firstDevice : c.firstDesktop;
        EXPECT_EQ(songanalysis_getHandle(sa.get())->beatTracker->iFrameCount, 10u - first);
    }
}

// The change flags name what changed in the tracker's results since the frame before.
TEST_F(Analysis, ProcessReportsTheChangesOfEachFrame) {
    const Pcm song = makeDrumSong(120.0, 120.0);
    auto sa = makeRecord();
    ASSERT_EQ(songanalysis_open(sa.get(), SONGANALYSIS_FEATURE_ALL, orv::kAnalysisSampleRate, song.lengthMs(),
                                2, 0.0f, SONGANALYSIS_GENRE_DEFAULT, nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    const beattracker_struct *bt = songanalysis_getHandle(sa.get())->beatTracker;
    float interval = 0.0f;
    u32 beats = 0, downbeats = 0;
    u32 seen[3] = {0, 0, 0};
    for (u32 f = 0; f < song.frames() / kFrame; ++f) {
        const u32 flags =
            songanalysis_process(sa.get(), song.samples.data() + size_t{f} * kFrame * 2, kFrame);
        ASSERT_EQ((flags & 1) != 0, bt->beatInterval != interval) << f;
        ASSERT_EQ((flags & 2) != 0, bt->beatSize != beats) << f;
        ASSERT_EQ((flags & 4) != 0, bt->downbeatSize != downbeats) << f;
        ASSERT_EQ(flags & ~7u, 0u);
        for (int b = 0; b < 3; ++b) seen[b] += (flags >> b) & 1;
        interval = bt->beatInterval;
        beats = bt->beatSize;
        downbeats = bt->downbeatSize;
        // The tempo comes with the finish; until then the record shows none.
        ASSERT_EQ(sa->beatsPerMinute, 0.0f);
        if (bt->beatSizeRaw > 0) {
            ASSERT_EQ(sa->musicStart, songanalysis_frameToMs(sa.get(), bt->beats[0]));
        }
    }
    EXPECT_GT(seen[0], 0u);
    EXPECT_GT(seen[1], 5u);
    EXPECT_GT(seen[2], 2u);
}

// A record opened again for the next song shows no tempo until that song has one, although
// the previous finish left its interval in the tracker.
TEST_F(Analysis, NextSongStartsWithoutThePreviousTempo) {
    const Pcm song = makeDrumSong(120.0, 120.0);
    auto sa = makeRecord();
    analyse(sa.get(), song);
    ASSERT_EQ(sa->beatsPerMinute, 120.0f);
    songanalysis_close(sa.get());

    ASSERT_EQ(songanalysis_open(sa.get(), SONGANALYSIS_FEATURE_ALL, orv::kAnalysisSampleRate, 60000, 2, 0.0f,
                                SONGANALYSIS_GENRE_DEFAULT, nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    const beattracker_struct *bt = songanalysis_getHandle(sa.get())->beatTracker;
    EXPECT_EQ(sa->beatsPerMinute, 0.0f);
    EXPECT_EQ(bt->rBeatInterval, 0.0f);
    EXPECT_EQ(bt->beatInterval, 0.0f);
    const Pcm silence = makeSilence(2.0);
    feed(sa.get(), silence);
    EXPECT_EQ(sa->beatsPerMinute, 0.0f);
    EXPECT_EQ(songanalysis_getNumberOfBeats(sa.get()), 0u);
}

// Without its loudness room (the allocation refused) the song ends with gain 0.
TEST_F(Analysis, MissingLoudnessRoomGivesGainZero) {
    const Pcm song = makeDrumSong(120.0, 10.0);
    auto sa = makeRecord();
    ASSERT_EQ(songanalysis_open(sa.get(), SONGANALYSIS_FEATURE_ALL, orv::kAnalysisSampleRate, song.lengthMs(),
                                2, 0.0f, SONGANALYSIS_GENRE_DEFAULT, nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    replaygain_struct *rpg = songanalysis_getHandle(sa.get())->rpg;
    std::free(rpg->rms);
    rpg->rms = nullptr;
    rpg->rmsSize = 0;
    feed(sa.get(), song);
    ASSERT_EQ(songanalysis_finalize(sa.get(), nullptr, 0, false), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(sa->gainStruct.radioGain, 0u);
    EXPECT_EQ(sa->gainStruct.audiophileGain, 0u);
    EXPECT_EQ(sa->gainStruct.peakValue, static_cast<u32>(largestMagnitude(song)));
}

// A second finish changes nothing: it would convert the audio start again and find the
// loudness values already spent.
TEST_F(Analysis, SecondFinishKeepsTheResults) {
    const Pcm song = makeDrumSong(120.0, 10.0, 1.0);
    auto sa = makeRecord();
    analyse(sa.get(), song);
    const songanalysis_struct first = *sa;
    ASSERT_GT(first.gainStruct.radioGain, 0u);
    EXPECT_EQ(songanalysis_finalize(sa.get(), nullptr, 0, false), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(std::memcmp(&first, sa.get(), sizeof first), 0);
}

// Only the features opened for are measured.
TEST_F(Analysis, FeaturesChooseWhatIsMeasured) {
    const Pcm song = makeDrumSong(120.0, 10.0);
    struct Case {
        u32 features;
        bool points, gain, tracker;
    };
    const Case cases[] = {{SONGANALYSIS_FEATURE_WAVEFORM, true, false, false},
                          {SONGANALYSIS_FEATURE_GAIN, false, true, false},
                          {SONGANALYSIS_FEATURE_BEATS, false, false, true},
                          {0, false, false, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.features);
        auto sa = makeRecord();
        analyse(sa.get(), song, c.features);
        const songanalysis_handle *h = songanalysis_getHandle(sa.get());
        EXPECT_EQ(h->wfvCnt > 0, c.points);
        EXPECT_EQ(sa->gainStruct.radioGain > 0, c.gain);
        EXPECT_EQ(h->beatTracker != nullptr && h->beatTracker->iFrameCount > 0, c.tracker);
        EXPECT_NEAR(sa->audioStart, 100, kFrameMs);
    }
}

} // namespace
