// One analysis frame of the beat tracker: onset strength, tempo estimate, peak picking,
// taps, beat agents and downbeats, then the leading agent's beats committed to the public
// beat list and the frame's outputs published.
#include "songanalysis/beattracker/beattracker.h"

#include "orvsys/orvfixed.h"
#include "songanalysis/beattracker/beattracker_agents.h"
#include "songanalysis/beattracker/beattracker_config.h"
#include "songanalysis/beattracker/beattracker_downbeat.h"
#include "songanalysis/beattracker/beattracker_frame.h"
#include "songanalysis/beattracker/beattracker_onset.h"
#include "songanalysis/beattracker/beattracker_statics.h"
#include "songanalysis/beattracker/beattracker_taps.h"
#include "songanalysis/beattracker/beattracker_tempo.h"
#include "songanalysis/beattracker/beattracker_trackbeats.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>

namespace {

constexpr s32 kFluxHeadroom = 32; // peak picking may start once the flux ring is this close to full
constexpr u32 kSilenceFrames = btk::kSilenceFrames;
constexpr s32 kCommitStreak = 7; // a leader's beats are final once it has led longer than this
constexpr u32 kHistory = BEATTRACKER_AGENT_HISTORY;

// The ring fills only while nothing examines it: when the tempo estimate has not accepted a
// peak since the audio started (a short sound, then a long near-silence). A full ring would
// refuse every later value for the rest of the song, and the autocorrelation would go on
// adding the same stale products, so the music after it would get no beats. The oldest
// value not yet examined gives way instead, and ring positions stay the song's frames.
void makeRoomForFlux(const beattracker_struct *bt, circbuff_struct *flux) {
    if (bt->audioStarted != 0 && circbuff_getNumberOfUnreadData(flux) >= static_cast<s32>(flux->uiSize) - 1)
        flux->iRead += 1;
}

// The flux of the frame; a value the ring still refuses is remembered as a lost frame, so
// that later peaks keep their song frames.
void measureOnset(beattracker_struct *bt) {
    beattracker_internal *in = bt->private_;
    circbuff_struct *flux = in->circBuffSpectraFlux;
    makeRoomForFlux(bt, flux);
    const s32 written = flux->iWrite;
    bt->specFlux = calculateSpectralFlux(bt->pInFFT, bt->iFFTLen, in->pFFTBuffer, flux, bt->iFrameCount,
                                         &bt->audioStarted, &bt->audioStartOffset);
    if (bt->audioStarted != 0 && flux->iWrite == written)
        fluxGaps_recordDrop(&in->fluxGaps, written, flux->iRead);
}

// Peak picking waits until the flux ring is nearly full or half the song has been heard,
// so that the statistics see enough of the song; without a known length it starts at once.
bool stillWarmingUp(const beattracker_struct *bt) {
    const s32 written = bt->private_->circBuffSpectraFlux->iWrite;
    return written < static_cast<s32>(BEATTRACKER_FLUX_RING) - kFluxHeadroom && bt->numFrames > 0 &&
           written < bt->numFrames / 2;
}

s32 pickPeaks(beattracker_struct *bt) {
    beattracker_internal *in = bt->private_;
    calculateSFStatistics(in->circBuffSpectraFlux, &in->rSFMin, &in->sum, &in->sumForNext, &in->rSFMean,
                          &in->sum2, &in->sum2ForNext, &in->rSFStd);
    const s32 found = detectPeaksMapped(in->circBuffSpectraFlux, bt->threshould, &in->rSFG, in->pPeaks,
                                        &in->iPeakOffset, bt->audioStartOffset, &in->fluxGaps, in->rSFMean,
                                        in->rSFStd, in->rSFMin, in->peakTrain, bt->numFrames);
    bt->peakValue = 0.0f;
    return found;
}

bool longSilence(const beattracker_struct *bt) {
    const beattracker_internal *in = bt->private_;
    const u32 newest = static_cast<u32>(in->iPeakOffset - 1) & (BEATTRACKER_NUM_PEAKS - 1);
    return bt->iFrameCount - in->pPeaks[newest].iLocation > kSilenceFrames;
}

bool haveCandidates(const beattracker_internal *in) {
    return in->rICBeatInterval[0] > 0.0f || in->rICBeatInterval[1] > 0.0f;
}

void runAgents(beattracker_struct *bt) {
    beattracker_internal *in = bt->private_;
    trackBeats(orv::truncSatU32(bt->lowerBI), orv::truncSatU32(bt->upperBI), in->pAgents, in->pPeaks,
               in->rICBeatInterval, in->iPeakOffset, &in->iFirstAgent, &in->iLastAgent, &in->iAgentCount,
               &in->iWinningAgentIndex, &in->rTBConfLevel);
}

// The leader's beats, from the first the list does not hold yet, go after the published
// ones; only the newest 1024 are still in its history.
void mergeLeaderBeats(beattracker_struct *bt, const s_Agent &leader) {
    const u32 count = leader.iNumberOfBeats;
    u32 beat = count > kHistory ? count - kHistory : 0;
    if (bt->beatSizeRaw == 0) {
        bt->beats[0] = leader.piBeatHistory[beat % kHistory];
        bt->beatSizeRaw = 1;
        beat += 1;
    }
    for (; beat < count && bt->beatSizeRaw < BEATTRACKER_MAX_BEATS; ++beat) {
        const u32 frame = leader.piBeatHistory[beat % kHistory];
        if (frame > bt->beats[bt->beatSizeRaw - 1]) bt->beats[bt->beatSizeRaw++] = frame;
    }
}

void findDownbeats(beattracker_struct *bt, bool leaderChanged) {
    beattracker_internal *in = bt->private_;
    const DownbeatState state{&in->numPeaksProcessed, &in->numBeatsProcessed, bt->downbeats,
                              &bt->downbeatSize,      &bt->downbeatSizeRaw,   in->rDB4,
                              &in->rDBScore};
    findDownbeat4(in->pPeaks, in->iPeakOffset, bt->beats, bt->beatSize, state, in->beatPattern,
                  in->tappedDownbeatOffset, in->tapWeight, leaderChanged);
}

void publish(beattracker_struct *bt) {
    beattracker_internal *in = bt->private_;
    const s64 frame = bt->iFrameCount;
    if (frame == in->iCurrentBeatLocation) in->iLastBeatLocation = in->iCurrentBeatLocation;
    if (static_cast<s32>(bt->iFrameCount) > in->iCurrentBeatLocation && in->iPredictedBeatLocation > 0)
        in->iCurrentBeatLocation = in->iPredictedBeatLocation;
    bt->beatInterval = std::trunc(in->rBeatInterval);
    bt->currentBeatLocation = static_cast<u32>(in->iCurrentBeatLocation);
    bt->beatScore = in->rTBConfLevel;
}

// Peak picking, taps, agents and downbeats over the flux values not yet examined.
void trackFrame(beattracker_struct *bt) {
    beattracker_internal *in = bt->private_;
    const s32 found = pickPeaks(bt);
    if (found == 0 && longSilence(bt)) beattracker_forgetAgents(in);
    beattracker_processTaps(bt);
    if (found > 0 && haveCandidates(in)) {
        runAgents(bt);
        beattracker_commitLeader(bt);
    }
    publish(bt);
}

void runFrame(beattracker_struct *bt) {
    beattracker_internal *in = bt->private_;
    measureOnset(bt);
    _CalcXcorrRaw(in->circBuffSpectraFlux, btk::xcorrRaw);
    if (_EstimateBIFromXcorr(in->rICBeatInterval, bt->iFrameCount, btk::xcorrRaw) != 0) return;
    beattracker_gateTempo(bt);
    if (stillWarmingUp(bt)) return;
    trackFrame(bt);
}

} // namespace

void beattracker_endWarmUp(beattracker_struct *bt) {
    const bool examinedNothing = bt->private_->circBuffSpectraFlux->iRead == 0;
    if (bt->iFrameCount == 0 || bt->audioStarted == 0 || !examinedNothing || !stillWarmingUp(bt)) return;
    trackFrame(bt);
}

void beattracker_forgetAgents(beattracker_internal *in) {
    in->iPeakOffset = 0;
    initAgentArray(in->pAgents, static_cast<s32>(BEATTRACKER_NUM_AGENTS), in->piBeatHistory);
    in->iAgentCount = 0;
    in->iFirstAgent = -1;
    in->iLastAgent = -1;
    std::fill(std::begin(in->rICBeatInterval), std::end(in->rICBeatInterval), 0.0f);
    in->rBeatInterval = 0.0f;
    in->rTBConfLevel = 0.0f;
    in->tbWinningScore = 0.0f;
    in->iPreviousWinningAgentIndex = 0;
    in->iWinningAgentIndex = 0;
    in->iWinningBeatsSize = 0;
    in->iPredictedBeatLocation = 0;
    in->iCurrentBeatLocation = 0;
    in->iLastBeatLocation = 0;
}

void beattracker_resetSong(beattracker_struct *bt) {
    beattracker_internal *in = bt->private_;
    beattracker_resetOnset(bt);
    beattracker_resetTempo();
    beattracker_forgetAgents(in);
    std::memset(in->piBeatHistory, 0, sizeof(u32) * BEATTRACKER_NUM_AGENTS * kHistory);
    in->iBeatHistoryOffset = 0;
    beattracker_resetTaps(bt);
    std::fill(std::begin(in->rDB4), std::end(in->rDB4), 0.0f);
    in->rDBScore = 0.0f;
    in->numPeaksProcessed = 0;
    in->numBeatsProcessed = 0;
}

void beattracker_commitLeader(beattracker_struct *bt) {
    beattracker_internal *in = bt->private_;
    const s32 index = in->iWinningAgentIndex;
    if (index < 0 || index >= static_cast<s32>(BEATTRACKER_NUM_AGENTS)) return;
    const s_Agent &leader = in->pAgents[index];
    if (leader.sListEntry.iListed == 0) return;
    in->tbWinningScore = leader.rScore;
    // The taps own the beat list while the user taps; a leader without beats has none to give.
    if (in->tapState == TAPSTATE_STARTED || static_cast<s32>(leader.iNumberOfBeats) <= 0) return;

    in->iPredictedBeatLocation = orv::truncSat32(leader.rPrediction);
    if (in->iCurrentBeatLocation == 0) in->iCurrentBeatLocation = in->iPredictedBeatLocation;
    in->rBeatInterval = leader.rBeatInterval;
    bt->beats_ = leader.piBeatHistory;
    bt->beatSize_ = leader.iNumberOfBeats;

    const bool leaderChanged = in->iPreviousWinningAgentIndex != index;
    if (s64{in->numBeatsProcessed} < s64{leader.iNumberOfBeats}) findDownbeats(bt, leaderChanged);
    if (leaderChanged) {
        in->iWinningAgentWinningStreak = 0;
        bt->beatSizeRaw = bt->beatSize;
    } else if (in->iWinningAgentWinningStreak < std::numeric_limits<s32>::max()) {
        in->iWinningAgentWinningStreak += 1;
    }
    mergeLeaderBeats(bt, leader);
    if (in->iWinningAgentWinningStreak > kCommitStreak) bt->beatSize = bt->beatSizeRaw;
    in->iPreviousWinningAgentIndex = index;
}

s32 beattracker_process(beattracker_struct *bt) {
    if (bt->iFrameCount == 0) beattracker_resetSong(bt);
    runFrame(bt);
    bt->iFrameCount += 1;
    return 0;
}
