// Shared pieces of the analysis tests: an owned record, songs synthesised at the analysis
// rate of this build (a drum pattern, silence), and a run of a song through the life cycle.
#pragma once

#include "orvsys/orvconfig.h"
#include "songanalysis/beattracker/beattracker_testing.h"
#include "songanalysis/songanalysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace satest {

struct RecordDeleter {
    void operator()(songanalysis_struct *sa) const {
        songanalysis_close(sa);
        songanalysis_destroy(sa);
    }
};
using Record = std::unique_ptr<songanalysis_struct, RecordDeleter>;

inline Record makeRecord(songanalysis_quality q = SONGANALYSIS_QUALITY_MID,
                         u32 features = SONGANALYSIS_FEATURE_ALL) {
    return Record(songanalysis_new(q, SONGANALYSIS_MODE_OFFLINE, features, 0, 0));
}

constexpr double kRate = orv::kAnalysisSampleRate;
constexpr u32 kFrame = orv::kAnalysisFrameSize;

// Interleaved 16-bit PCM, at the analysis rate unless told.
struct Pcm {
    u32 channels = 2;
    std::vector<s16> samples;
    double rate = kRate;
    u32 frames() const { return static_cast<u32>(samples.size() / channels); }
    u32 lengthMs() const { return static_cast<u32>(1000.0 * frames() / rate); }
};

// A reproducible noise source.
class Noise {
  public:
    double next() {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<double>(state_ >> 8) / 8388608.0 - 1.0;
    }

  private:
    u32 state_ = 12345;
};

// A rock drum bar over and over: a kick on every beat, a snare on beats 2 and 4 and a closed
// hi-hat on every eighth, from the first beat on (digital silence before it). With weakDb the
// bar's other three beats are that much quieter than its first, as in an accented loop.
inline Pcm makeDrumSong(double bpm, double seconds, double firstBeat = 0.1, u32 channels = 2,
                        double rate = kRate, double weakDb = 0.0) {
    const size_t frames = static_cast<size_t>(seconds * rate);
    std::vector<double> mix(frames, 0.0);
    Noise noise;
    const double beat = 60.0 / bpm;
    auto addHit = [&](double at, double length, auto &&shape) {
        const size_t first = static_cast<size_t>(at * rate);
        const size_t count = static_cast<size_t>(length * rate);
        for (size_t i = 0; i < count && first + i < frames; ++i) mix[first + i] += shape(i / rate);
    };
    double phase = 0.0;
    // The beater's click gives the kick the broadband attack that a real kick drum has.
    auto kick = [&](double t) {
        if (t == 0.0) phase = 0.0;
        phase += 2.0 * M_PI * (50.0 + 90.0 * std::exp(-t / 0.03)) / rate;
        return 16000.0 * std::exp(-t / 0.09) * std::sin(phase) + 9000.0 * std::exp(-t / 0.004) * noise.next();
    };
    auto snare = [&](double t) {
        return std::exp(-t / 0.05) * (3500.0 * noise.next() + 3000.0 * std::sin(2.0 * M_PI * 190.0 * t));
    };
    double previous = 0.0;
    auto hat = [&](double t) {
        const double n = noise.next();
        const double high = n - previous; // a first difference leaves mostly the top octaves
        previous = n;
        return 2500.0 * std::exp(-t / 0.02) * high;
    };
    const double weak = std::pow(10.0, -weakDb / 20.0);
    for (u32 k = 0;; ++k) {
        const double at = firstBeat + k * beat;
        if (at >= seconds) break;
        const double gain = k % 4 == 0 ? 1.0 : weak;
        auto accented = [&](auto &&shape) { return [&, gain](double t) { return gain * shape(t); }; };
        addHit(at, 0.3, accented(kick));
        if (k % 4 == 1 || k % 4 == 3) addHit(at, 0.25, accented(snare));
        addHit(at, 0.08, accented(hat));
        addHit(at + beat / 2, 0.08, accented(hat));
    }
    Pcm pcm;
    pcm.channels = channels;
    pcm.rate = rate;
    pcm.samples.reserve(frames * channels);
    for (double v : mix) {
        const s16 s = static_cast<s16>(std::clamp(std::lround(v), -32768L, 32767L));
        for (u32 c = 0; c < channels; ++c) pcm.samples.push_back(s);
    }
    return pcm;
}

inline Pcm makeSilence(double seconds, u32 channels = 2) {
    Pcm pcm;
    pcm.channels = channels;
    pcm.samples.assign(static_cast<size_t>(seconds * kRate) * channels, 0);
    return pcm;
}

inline Pcm concat(const Pcm &a, const Pcm &b) {
    Pcm out = a;
    out.samples.insert(out.samples.end(), b.samples.begin(), b.samples.end());
    return out;
}

// Feeds every whole frame of the song; returns the number of frames processed.
inline u32 feed(songanalysis_struct *sa, const Pcm &pcm) {
    const u32 frames = pcm.frames() / kFrame;
    for (u32 f = 0; f < frames; ++f)
        songanalysis_process(sa, pcm.samples.data() + size_t{f} * kFrame * pcm.channels, kFrame);
    return frames;
}

// The whole life cycle up to the finish, as the whole-file driver runs it.
inline u32 analyse(songanalysis_struct *sa, const Pcm &pcm, u32 features = SONGANALYSIS_FEATURE_ALL) {
    EXPECT_EQ(songanalysis_open(sa, features, orv::kAnalysisSampleRate, pcm.lengthMs(), pcm.channels, 0.0f,
                                SONGANALYSIS_GENRE_DEFAULT, nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    songanalysis_setUserInputMode(sa, SONGANALYSIS_USERINPUTMODE_IGNORE);
    const u32 frames = feed(sa, pcm);
    EXPECT_EQ(songanalysis_finalize(sa, nullptr, 0, false), SONGANALYSIS_ERROR_NOERROR);
    return frames;
}

// Every test starts from the tracker's process-wide values of a fresh program.
class FreshAnalysis : public ::testing::Test {
  protected:
    void SetUp() override { beattracker_resetProcessStatics(); }
    void TearDown() override { beattracker_resetProcessStatics(); }
};

} // namespace satest
