// Cost of the beat tracker's per-frame onset and tempo stages once warm (frames per second
// are reported): flux over the spectrum, raw autocorrelation, tempo curve, gate, statistics
// and peak picking, at the three FFT sizes of the analysis qualities. Then the whole frame
// process while tracking a steady beat with all 16 agents live, and the offline finish of a
// three-minute song.
#include "songanalysis/beattracker/beattracker.h"
#include "songanalysis/beattracker/beattracker_agents.h"
#include "songanalysis/beattracker/beattracker_onset.h"
#include "songanalysis/beattracker/beattracker_statics.h"
#include "songanalysis/beattracker/beattracker_tempo.h"
#include "songanalysis/beattracker/beattracker_testing.h"

#include "orvsys/orvconfig.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// A spectrum per frame with a strong broadband onset every 20 frames.
std::vector<std::vector<s16>> makeSpectra(u32 fftSize) {
    std::vector<std::vector<s16>> spectra(20, std::vector<s16>(fftSize, 0));
    for (u32 f = 0; f < spectra.size(); ++f) {
        const s16 amp = f == 0 ? 12000 : static_cast<s16>(300 + 17 * f);
        for (u32 i = 2; i < fftSize; ++i) spectra[f][i] = static_cast<s16>(i % 3 == 0 ? -amp : amp);
    }
    return spectra;
}

void runFrame(beattracker_struct *bt, const s16 *spectrum) {
    beattracker_internal *in = bt->private_;
    bt->specFlux = calculateSpectralFlux(spectrum, bt->iFFTLen, in->pFFTBuffer, in->circBuffSpectraFlux,
                                         bt->iFrameCount, &bt->audioStarted, &bt->audioStartOffset);
    _CalcXcorrRaw(in->circBuffSpectraFlux, btk::xcorrRaw);
    if (_EstimateBIFromXcorr(in->rICBeatInterval, bt->iFrameCount, btk::xcorrRaw) == 0)
        beattracker_gateTempo(bt);
    calculateSFStatistics(in->circBuffSpectraFlux, &in->rSFMin, &in->sum, &in->sumForNext, &in->rSFMean,
                          &in->sum2, &in->sum2ForNext, &in->rSFStd);
    detectPeaks(in->circBuffSpectraFlux, bt->threshould, &in->rSFG, in->pPeaks, &in->iPeakOffset,
                bt->audioStartOffset, in->rSFMean, in->rSFStd, in->rSFMin, in->peakTrain, bt->numFrames);
    ++bt->iFrameCount;
}

void BM_OnsetAndTempoFrame(benchmark::State &state) {
    const u32 fftSize = static_cast<u32>(state.range(0));
    beattracker_struct *bt = beattracker_new(fftSize, PROCESSINGMODE_OFFLINE);
    beattracker_open(bt, 0, 0, 0, 0);
    beattracker_resetOnset(bt);
    beattracker_resetTempo();
    const auto spectra = makeSpectra(fftSize);
    for (u32 f = 0; f < 2000; ++f) runFrame(bt, spectra[f % spectra.size()].data()); // warm
    u32 f = 0;
    for (auto _ : state) {
        runFrame(bt, spectra[f++ % spectra.size()].data());
        benchmark::DoNotOptimize(bt->specFlux);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    beattracker_close(bt);
    beattracker_destroy(bt);
}
BENCHMARK(BM_OnsetAndTempoFrame)->Arg(256)->Arg(512)->Arg(1024);

} // namespace

namespace {

// A click track at 120 BPM, every fourth beat louder, after one faint click that starts the
// audio quietly as music does (the onset statistics keep the quietest value they first see):
// the spectrum of any frame.
class ClickTrack {
  public:
    explicit ClickTrack(u32 fftSize)
        : silent_(fftSize, 0), faint_(fftSize, 0), beat_(fftSize, 0), accent_(fftSize, 0) {
        faint_[20] = 300;
        for (u32 k = 1; k < fftSize / 2; ++k) {
            beat_[2 * k] = 2000;
            accent_[2 * k] = 2600;
        }
    }
    const s16 *spectrum(u32 frame) const {
        if (frame == 0) return faint_.data();
        const double k = std::round((frame - kFirstBeat) / kInterval);
        if (k < 0 || std::lround(kFirstBeat + k * kInterval) != static_cast<long>(frame))
            return silent_.data();
        return static_cast<long>(k) % 4 == 0 ? accent_.data() : beat_.data();
    }

  private:
    static constexpr double kInterval = 60.0 * orv::kAnalysisSampleRate / (120.0 * orv::kAnalysisFrameSize);
    static constexpr double kFirstBeat = 20.0;
    std::vector<s16> silent_, faint_, beat_, accent_;
};

s32 liveAgents(const beattracker_struct *bt) {
    s32 live = 0;
    for (u32 i = 0; i < BEATTRACKER_NUM_AGENTS; ++i) live += bt->private_->pAgents[i].sListEntry.iListed;
    return live;
}

// Agents that the merging and the silence reset removed come back with intervals of their
// own, spread over the tempo range, so that every frame runs with a full pool.
void fillPool(beattracker_struct *bt) {
    static u32 history[BEATTRACKER_AGENT_HISTORY];
    beattracker_internal *in = bt->private_;
    const s_Peak &newest = in->pPeaks[static_cast<u32>(in->iPeakOffset - 1) & (BEATTRACKER_NUM_PEAKS - 1)];
    const float span = (bt->upperBI - bt->lowerBI) / static_cast<float>(BEATTRACKER_NUM_AGENTS + 1);
    for (u32 i = 0; i < BEATTRACKER_NUM_AGENTS && in->iFirstAgent >= 0; ++i) {
        if (in->pAgents[i].sListEntry.iListed != 0) continue;
        s_Agent agent{};
        agent.iNumberOfBeats = 1;
        agent.rBeatInterval = bt->lowerBI + span * static_cast<float>(i + 1);
        agent.rLastPeak = static_cast<float>(newest.iLocation);
        agent.rPrediction = agent.rLastPeak + agent.rBeatInterval;
        agent.rScore = 0.5f;
        agent.piBeatHistory = history;
        history[0] = newest.iLocation;
        cloneAndAddAgent(in->pAgents, BEATTRACKER_NUM_AGENTS, &in->iFirstAgent, &in->iLastAgent, &agent);
    }
}

void BM_TrackerFrameWith16Agents(benchmark::State &state) {
    const u32 fftSize = 512;
    const ClickTrack track(fftSize);
    beattracker_resetProcessStatics(); // each run as the first song of a process
    beattracker_struct *bt = beattracker_new(fftSize, PROCESSINGMODE_OFFLINE);
    beattracker_open(bt, 0, 0, 0, 1 << 20); // a long song
    beattracker_setThreshould(bt, 17.0f);
    u32 frame = 0;
    for (; frame < 8000; ++frame) { // past the tempo gate, agents seeded and split
        beattracker_setInputPtr(bt, track.spectrum(frame));
        beattracker_process(bt);
    }
    fillPool(bt);
    if (liveAgents(bt) != static_cast<s32>(BEATTRACKER_NUM_AGENTS))
        state.SkipWithError("the pool is not full");
    // Agents change only in frames with a new peak (about one in 21 on the device, one in 86
    // on the desktop); the pool is refilled after those, outside the timing.
    s64 live = 0;
    for (auto _ : state) {
        live += liveAgents(bt);
        beattracker_setInputPtr(bt, track.spectrum(frame++));
        beattracker_process(bt);
        benchmark::DoNotOptimize(bt->beatSizeRaw);
        if (liveAgents(bt) < static_cast<s32>(BEATTRACKER_NUM_AGENTS)) {
            state.PauseTiming();
            fillPool(bt);
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["agents"] =
        static_cast<double>(live) / static_cast<double>(std::max<int64_t>(state.iterations(), 1));
    beattracker_close(bt);
    beattracker_destroy(bt);
}
BENCHMARK(BM_TrackerFrameWith16Agents);

// The offline finish of a three-minute song tracked at 120 BPM.
void BM_FinishThreeMinutes(benchmark::State &state) {
    const u32 fftSize = 512;
    const ClickTrack track(fftSize);
    const u32 frames = static_cast<u32>(180.0 * orv::kAnalysisSampleRate / orv::kAnalysisFrameSize);
    beattracker_resetProcessStatics();
    beattracker_struct *bt = beattracker_new(fftSize, PROCESSINGMODE_OFFLINE);
    beattracker_open(bt, 0, 0, 0, static_cast<s32>(frames + 1));
    beattracker_setThreshould(bt, 17.0f);
    for (u32 frame = 0; frame < frames; ++frame) {
        beattracker_setInputPtr(bt, track.spectrum(frame));
        beattracker_process(bt);
    }
    const u32 recorded = bt->beatSizeRaw;
    std::vector<u32> beats(bt->beats, bt->beats + recorded);
    for (auto _ : state) {
        std::copy(beats.begin(), beats.end(), bt->beats);
        bt->beatSizeRaw = recorded;
        benchmark::DoNotOptimize(beattracker_finalize(bt, nullptr, 0, false));
    }
    beattracker_close(bt);
    beattracker_destroy(bt);
}
BENCHMARK(BM_FinishThreeMinutes)->Unit(benchmark::kMillisecond);

} // namespace
