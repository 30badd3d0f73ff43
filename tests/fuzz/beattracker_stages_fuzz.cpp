// Arbitrary spectra through the beat tracker's onset and tempo stages, with the onset peaks
// offered to a pool of agents: no undefined behaviour, no read outside a buffer, no hang.
//
// Input: byte 0 picks the FFT size, byte 1 the peak threshold and byte 2 the agents' score
// factor; the rest is the spectra, frame after frame, repeated until 700 frames have run.
#include "songanalysis/beattracker/beattracker.h"
#include "songanalysis/beattracker/beattracker_agents.h"
#include "songanalysis/beattracker/beattracker_onset.h"
#include "songanalysis/beattracker/beattracker_statics.h"
#include "songanalysis/beattracker/beattracker_tempo.h"
#include "songanalysis/beattracker/beattracker_testing.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

constexpr u32 kFrames = 700;
constexpr u32 kFftSizes[4] = {BEATTRACKER_MIN_FFT_SIZE, 256, 512, 1024};

struct TrackerDeleter {
    void operator()(beattracker_struct *bt) const { beattracker_destroy(bt); }
};

void offerPeak(beattracker_internal *in, const s_Peak &peak, float interval, float factor) {
    if (in->iFirstAgent < 0 && interval > 0.0f) {
        s_Agent seed{};
        seed.iNumberOfBeats = 1;
        seed.rBeatInterval = interval;
        seed.rLastPeak = static_cast<float>(peak.iLocation);
        seed.rPrediction = seed.rLastPeak + interval;
        seed.piBeatHistory = in->tappedAgent.piBeatHistory;
        cloneAndReplaceLowestScoringAgent(in->pAgents, BEATTRACKER_NUM_AGENTS, &in->iFirstAgent,
                                          &in->iLastAgent, &seed, 1);
        return;
    }
    u32 steps = 0;
    for (s32 a = in->iFirstAgent; a >= 0 && steps < BEATTRACKER_NUM_AGENTS; ++steps) {
        const s32 next = in->pAgents[a].sListEntry.iNext;
        updateAgentWithPeak(in->pAgents, &in->iFirstAgent, &in->iLastAgent, a,
                            static_cast<s32>(peak.iLocation), peak.rValue, factor);
        a = next;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) return 0;
    const u32 fftSize = kFftSizes[data[0] & 3];
    const float threshold = static_cast<float>(data[1]) * 0.1f;
    const float factor = static_cast<float>(data[2] - 128) / 32.0f; // also 0 and below
    data += 3;
    size -= 3;

    beattracker_resetProcessStatics();
    std::unique_ptr<beattracker_struct, TrackerDeleter> bt(beattracker_new(fftSize, PROCESSINGMODE_OFFLINE));
    if (!bt) return 0;
    beattracker_open(bt.get(), 0, 0, 0, static_cast<s32>(kFrames / 2));
    beattracker_internal *in = bt->private_;
    beattracker_resetOnset(bt.get());
    beattracker_resetTempo();
    initAgentArray(in->pAgents, BEATTRACKER_NUM_AGENTS, in->piBeatHistory);
    in->iFirstAgent = in->iLastAgent = -1;

    std::vector<s16> spectrum(fftSize);
    size_t at = 0;
    for (u32 frame = 0; frame < kFrames; ++frame) {
        for (s16 &v : spectrum) {
            const u8 lo = data[at % size];
            const u8 hi = data[(at + 1) % size];
            at += 2;
            v = static_cast<s16>(static_cast<u16>(lo | (hi << 8)));
        }
        bt->iFrameCount = frame;
        bt->specFlux =
            calculateSpectralFlux(spectrum.data(), fftSize, in->pFFTBuffer, in->circBuffSpectraFlux, frame,
                                  &bt->audioStarted, &bt->audioStartOffset);
        _CalcXcorrRaw(in->circBuffSpectraFlux, btk::xcorrRaw);
        if (_EstimateBIFromXcorr(in->rICBeatInterval, frame, btk::xcorrRaw) == 0)
            beattracker_gateTempo(bt.get());
        if (in->circBuffSpectraFlux->iWrite < 64) continue;
        calculateSFStatistics(in->circBuffSpectraFlux, &in->rSFMin, &in->sum, &in->sumForNext, &in->rSFMean,
                              &in->sum2, &in->sum2ForNext, &in->rSFStd);
        const s32 before = in->iPeakOffset;
        const s32 found = detectPeaks(in->circBuffSpectraFlux, threshold, &in->rSFG, in->pPeaks,
                                      &in->iPeakOffset, bt->audioStartOffset, in->rSFMean, in->rSFStd,
                                      in->rSFMin, in->peakTrain, bt->numFrames);
        for (s32 i = 0; i < found; ++i) {
            const u32 slot = static_cast<u32>(before + i) & (BEATTRACKER_NUM_PEAKS - 1);
            offerPeak(in, in->pPeaks[slot], bt->rBeatIntervalXcorr, factor);
        }
    }
    beattracker_close(bt.get());
    return 0;
}
