// Cost of the beat tracker's per-frame onset and tempo stages once warm (frames per second
// are reported): flux over the spectrum, raw autocorrelation, tempo curve, gate, statistics
// and peak picking, at the three FFT sizes of the analysis qualities.
#include "songanalysis/beattracker/beattracker.h"
#include "songanalysis/beattracker/beattracker_onset.h"
#include "songanalysis/beattracker/beattracker_statics.h"
#include "songanalysis/beattracker/beattracker_tempo.h"

#include <benchmark/benchmark.h>

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
