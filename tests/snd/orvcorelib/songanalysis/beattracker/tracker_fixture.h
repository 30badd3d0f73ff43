// Shared pieces of the beat-tracker tests: an owned tracker, an owned ring, packed spectra and
// a test base that starts every test from the process-wide values of a fresh program.
#pragma once

#include "orvsys/orvconfig.h"
#include "songanalysis/beattracker/beattracker.h"
#include "songanalysis/beattracker/beattracker_testing.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace bttest {

struct TrackerDeleter {
    void operator()(beattracker_struct *bt) const { beattracker_destroy(bt); }
};
using Tracker = std::unique_ptr<beattracker_struct, TrackerDeleter>;

struct RingDeleter {
    void operator()(circbuff_struct *cb) const { circbuff_destroy(cb); }
};
using Ring = std::unique_ptr<circbuff_struct, RingDeleter>;

inline Tracker makeTracker(u32 fftSize = 512) {
    return Tracker(beattracker_new(fftSize, PROCESSINGMODE_OFFLINE));
}

inline Ring makeFluxRing() {
    return Ring(circbuff_new(BEATTRACKER_FLUX_RING));
}

// Appends values to a ring one at a time, as the tracker does (all or nothing each).
inline void pushValues(circbuff_struct *cb, const std::vector<float> &values) {
    for (float v : values) ASSERT_EQ(circbuff_write(cb, &v, 1, 0), 1);
}

// A packed real spectrum of fftLen values, all zero.
inline std::vector<s16> silentSpectrum(u32 fftLen) {
    return std::vector<s16>(fftLen, 0);
}

// Beat interval in frames of a tempo in this build.
inline double intervalOfBpm(double bpm) {
    return 60.0 * orv::kAnalysisSampleRate / (bpm * orv::kAnalysisFrameSize);
}

// Every test starts from the values a fresh process has.
class FreshProcess : public ::testing::Test {
  protected:
    void SetUp() override { beattracker_resetProcessStatics(); }
    void TearDown() override {
        beattracker_resetProcessStatics();
        beattracker_refuseAllocationsAfter(-1);
    }
};

} // namespace bttest
