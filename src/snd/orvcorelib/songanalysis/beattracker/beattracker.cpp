// Tracker life cycle and the settings, tap and user-input interface.
#include "songanalysis/beattracker/beattracker.h"

#include "songanalysis/beattracker/beattracker_alloc.h"
#include "songanalysis/beattracker/beattracker_config.h"

#include "songanalysis/beattracker/beattracker_testing.h"

#include <cstdlib>

namespace {

// Allocations still granted before every further one is refused; negative: no limit. Only
// tests set it, to prove that a failure half-way through building leaks nothing.
s32 g_allocationsBeforeFailure = -1;

bool allocationRefused() {
    if (g_allocationsBeforeFailure < 0) return false;
    if (g_allocationsBeforeFailure == 0) return true;
    --g_allocationsBeforeFailure;
    return false;
}

template <typename T>
T *allocZeroed(size_t count) {
    return static_cast<T *>(beattracker_allocZeroed(count, sizeof(T)));
}

circbuff_struct *newRing(u32 size) {
    return allocationRefused() ? nullptr : circbuff_new(size);
}

void releasePeakTrain(beattracker_internal *in) {
    std::free(in->peakTrain);
    in->peakTrain = nullptr;
}

// Frees whatever the private record holds; tolerates a record that was only partly built.
void releaseInternal(beattracker_internal *in) {
    if (in == nullptr) return;
    circbuff_destroy(in->circBuffSpectraFlux);
    std::free(in->piBeatHistory);
    std::free(in->pAgents);
    std::free(in->pPeaks);
    std::free(in->pClusters);
    std::free(in->pFFTBuffer);
    circbuff_destroy(in->tap);
    std::free(in->tappedAgent.piBeatHistory);
    releasePeakTrain(in);
    std::free(in);
}

// Builds the private record; null (with nothing left allocated) when any part is missing.
beattracker_internal *newInternal(u32 fftSize) {
    auto *in = allocZeroed<beattracker_internal>(1);
    if (in == nullptr) return nullptr;
    in->pFFTBuffer = allocZeroed<float>(fftSize);
    in->circBuffSpectraFlux = newRing(BEATTRACKER_FLUX_RING);
    in->pPeaks = allocZeroed<s_Peak>(BEATTRACKER_NUM_PEAKS);
    in->peakTrain = nullptr;
    in->pClusters = allocZeroed<s_IOICluster>(BEATTRACKER_NUM_CLUSTERS);
    in->pAgents = allocZeroed<s_Agent>(BEATTRACKER_NUM_AGENTS);
    in->piBeatHistory = allocZeroed<u32>(BEATTRACKER_NUM_AGENTS * BEATTRACKER_AGENT_HISTORY);
    in->tap = newRing(BEATTRACKER_TAP_RING);
    in->tappedAgent.piBeatHistory = allocZeroed<u32>(BEATTRACKER_AGENT_HISTORY);
    const bool complete = in->pFFTBuffer && in->circBuffSpectraFlux && in->pPeaks && in->pClusters &&
                          in->pAgents && in->piBeatHistory && in->tap && in->tappedAgent.piBeatHistory;
    if (!complete) {
        releaseInternal(in);
        return nullptr;
    }
    return in;
}

} // namespace

void *beattracker_allocZeroed(std::size_t count, std::size_t size) {
    if (allocationRefused()) return nullptr;
    return std::calloc(count, size);
}

void beattracker_refuseAllocationsAfter(s32 granted) {
    g_allocationsBeforeFailure = granted;
}

void beattracker_reset(beattracker_struct *bt) {
    bt->threshould = btk::kDefaultThreshould;
    bt->initialBI = 0.0f;
    bt->lowerBI = btk::kDefaultLowerBI;
    bt->upperBI = btk::kDefaultUpperBI;
    bt->numFrames = 0;
    bt->iFrameCount = 0;
    bt->beatSize = 0;
    bt->beatSizeRaw = 0;
    bt->downbeatSize = 0;
    bt->downbeatSizeRaw = 0;
}

beattracker_struct *beattracker_new(u32 fftSize, processingmode mode) {
    if (fftSize < BEATTRACKER_MIN_FFT_SIZE) return nullptr;
    auto *bt = allocZeroed<beattracker_struct>(1);
    if (bt == nullptr) return nullptr;
    bt->iFrameCount = 0;
    bt->iFFTLen = fftSize;
    bt->beats = allocZeroed<u32>(BEATTRACKER_MAX_BEATS);
    bt->downbeats = allocZeroed<u32>(BEATTRACKER_MAX_DOWNBEATS);
    beattracker_reset(bt);
    if (bt->beats != nullptr && bt->downbeats != nullptr) bt->private_ = newInternal(fftSize);
    if (bt->private_ == nullptr) return beattracker_destroy(bt);
    return bt;
}

beattracker_struct *beattracker_destroy(beattracker_struct *bt) {
    if (bt == nullptr) return nullptr;
    // The peak train normally goes with close; a tracker destroyed while open must not leak it.
    releaseInternal(bt->private_);
    std::free(bt->beats);
    std::free(bt->downbeats);
    std::free(bt);
    return nullptr;
}

s32 beattracker_open(beattracker_struct *bt, float upper, float lower, float initial, s32 numFrames) {
    beattracker_reset(bt);
    beattracker_setBIBound(bt, lower, upper);
    bt->initialBI = initial;
    bt->numFrames = numFrames;
    beattracker_internal *in = bt->private_;
    releasePeakTrain(in);
    // Without a train the offline finish works from the beat list alone.
    if (numFrames > 0) in->peakTrain = allocZeroed<s32>(static_cast<size_t>(numFrames));
    return 0;
}

s32 beattracker_close(beattracker_struct *bt) {
    releasePeakTrain(bt->private_);
    beattracker_reset(bt);
    return 0;
}

void beattracker_setInputPtr(beattracker_struct *bt, const s16 *pInFFT) {
    bt->pInFFT = pInFFT;
}

s32 beattracker_setThreshould(beattracker_struct *bt, float threshould) {
    bt->threshould = threshould;
    return 1;
}

s32 beattracker_setInitialBI(beattracker_struct *bt, float initialBI) {
    bt->initialBI = initialBI;
    return 1;
}

s32 beattracker_setBIBound(beattracker_struct *bt, float lower, float upper) {
    if (upper > 0.0f) bt->upperBI = upper;
    if (lower > 0.0f) bt->lowerBI = lower;
    return 1;
}

s32 beattracker_setBeatPattern(beattracker_struct *bt, const s32 *beatPattern, u32 size) {
    for (int i = 0; i < 4; ++i) bt->private_->beatPattern[i] = static_cast<float>(beatPattern[i]);
    return 1;
}

s32 beattracker_setUserInputMode(beattracker_struct *bt, beattracker_userinputmode_t mode) {
    bt->userInputMode = mode;
    s32 weight = 4;
    if (mode == USERINPUTMODE_IGNORE) weight = 0;
    if (mode == USERINPUTMODE_OVERWRITE) weight = 20;
    bt->private_->tapWeight = weight;
    return 0;
}

s32 beattracker_tapBeat(beattracker_struct *bt, u32 offsetInFrames) {
    beattracker_internal *in = bt->private_;
    const circbuffdata_t position = static_cast<circbuffdata_t>(offsetInFrames);
    circbuff_write(in->tap, &position, 1, 0);
    in->tappedDownbeatOffset = -1;
    in->tapState = TAPSTATE_STARTED;
    in->tapDelay = 0;
    return 0;
}

s32 beattracker_tapReset(beattracker_struct *bt) {
    bt->private_->tapState = TAPSTATE_RESET;
    return 0;
}

s32 beattracker_tapDownbeat(beattracker_struct *bt, u32 offsetInMs) {
    return 0;
}

s32 beattracker_setBeats(beattracker_struct *bt, const u32 *beats, u32 size) {
    return 0;
}

s32 beattracker_setDownbeats(beattracker_struct *bt, const u32 *downbeats, u32 size) {
    return 0;
}
