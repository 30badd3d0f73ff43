// The beat tracker: turns one spectrum per analysis frame into a beat interval (the
// tempo), beat positions and downbeat positions, all in analysis frames.
//
// Single-threaded. Some working values of the per-frame process are process-wide statics,
// so a process runs one analysis at a time; loaded results may be queried from any thread.
#pragma once

#include "orvsys/orvint.h"
#include "songanalysis/circbuff/circbuff.h"

// Every tracker value is a single-precision float.
using btdata_t = float;

enum processingmode : s32 {
    PROCESSINGMODE_ONLINE = 0,
    PROCESSINGMODE_OFFLINE = 1,
};

// Same values as songanalysis_userinputmode.
enum beattracker_userinputmode_t : s32 {
    USERINPUTMODE_IGNORE = 0,
    USERINPUTMODE_GUIDE = 1,
    USERINPUTMODE_OVERWRITE = 2,
};

enum tapstate_enum : s32 {
    TAPSTATE_RESET = -1,
    TAPSTATE_NONE = 0,
    TAPSTATE_STARTED = 1,
    TAPSTATE_STOPPED = 2,
};

inline constexpr u32 BEATTRACKER_MAX_BEATS = 16384;
inline constexpr u32 BEATTRACKER_MAX_DOWNBEATS = 4096;
inline constexpr u32 BEATTRACKER_NUM_AGENTS = 16;
inline constexpr u32 BEATTRACKER_AGENT_HISTORY = 1024; // beats kept per agent (a ring)
inline constexpr u32 BEATTRACKER_NUM_PEAKS = 2048;     // onset peaks kept (a ring)
inline constexpr u32 BEATTRACKER_NUM_CLUSTERS = 64;
inline constexpr u32 BEATTRACKER_FLUX_RING = 4096;
inline constexpr u32 BEATTRACKER_TAP_RING = 512;
inline constexpr u32 BEATTRACKER_XCORR_SIZE = 1024;

// A slot of a list kept inside a fixed array; -1 ends the list.
struct s_ListEntry {
    s32 iListed; // 1 while the slot is in use
    s32 iPrevious;
    s32 iNext;
};

struct s_Peak {
    u32 iLocation; // frame
    float rValue;  // strength
};

// Song frames whose flux values a full flux ring had to refuse. Ring positions then lag
// behind song frames; each gap records the first position stored after it and the frames
// lost up to it, so that a position still maps to its frame. A ring position can only be
// refused once 4095 values wait unexamined, so at most two gaps lie among the unexamined ones.
struct s_FluxGaps {
    u32 framesLostBefore; // frames lost before every gap still listed
    s32 count;
    s32 position[2];   // first ring position stored after the gap, ascending
    u32 framesLost[2]; // frames lost before that position, in all
};

struct s_IOICluster {
    s_ListEntry sListEntry;
    u32 iNumberOfIOIs;
    float rClusterCenter;
    float rScore;
};

struct s_Agent {
    s_ListEntry sListEntry;
    u32 iNumberOfBeats;
    float rLastPeak;
    float rBeatInterval;
    float rPrediction; // frame of the next beat
    float rScore;
    u32 *piBeatHistory; // ring of BEATTRACKER_AGENT_HISTORY beat frames, indexed by beat number
    u32 isTapped;
};

// The private record of a tracker.
struct beattracker_internal {
    float *pFFTBuffer; // this frame's and the previous frame's bin magnitudes
    circbuff_struct *circBuffSpectraFlux;
    float rSFG;
    float rSFMean, rSFStd, rSFMin;
    float sum, sumForNext, sum2, sum2ForNext;
    s_Peak *pPeaks;
    s32 iPeakOffset;
    s32 *peakTrain; // numFrames values; belongs to the open-close cycle
    s_IOICluster *pClusters;
    s32 iClusterCount, iFirstCluster, iLastCluster;
    s_Agent *pAgents;
    s32 iAgentCount, iFirstAgent, iLastAgent;
    float rICBeatInterval[4];
    float rBeatInterval;
    float rTBConfLevel;
    float tbWinningScore;
    s32 iWinningBeatsSize;
    s32 iWinningAgentIndex, iPreviousWinningAgentIndex;
    s32 iWinningAgentWinningStreak;
    s32 iLastBeatLocation, iCurrentBeatLocation, iPredictedBeatLocation;
    u32 *piBeatHistory; // the 16 agents' histories, agent i at slots 1024*i ...
    s32 iBeatHistoryOffset;
    float rDB4[4];
    float rDBScore;
    s32 numPeaksProcessed, numBeatsProcessed;
    float beatPattern[4];
    circbuff_struct *tap;
    u32 tappedBI;
    tapstate_enum tapState;
    s_Agent tappedAgent;
    u32 tapDelay;
    s32 tappedDownbeatOffset;
    s32 tapWeight;
    s_FluxGaps fluxGaps; // frames lost to a full flux ring; cleared with the song
};

// The public record of a tracker.
struct beattracker_struct {
    u32 iFrameCount; // 0: the next process call starts a new song
    s32 numFrames;
    const s16 *pInFFT; // the current frame's packed spectrum, not owned
    u32 iFFTLen;
    float specFlux;
    float peakValue;
    float beatInterval;
    float rBeatInterval; // turned into the tempo whenever positive
    float rBeatIntervalXcorr;
    u32 currentBeatLocation;
    float beatScore;
    u32 *beats; // BEATTRACKER_MAX_BEATS ascending frames, owned
    u32 beatSize;
    u32 beatSizeRaw;
    u32 *beats_; // the leading agent's history, not owned
    u32 beatSize_;
    u32 *downbeats; // BEATTRACKER_MAX_DOWNBEATS ascending frames, owned
    u32 downbeatSize;
    u32 downbeatSizeRaw;
    float threshould;
    float initialBI;
    float lowerBI;
    float upperBI;
    s32 audioStarted;
    u32 audioStartOffset;
    beattracker_userinputmode_t userInputMode;
    beattracker_internal *private_;
};

// The smallest FFT size that leaves a positive onset band: the flux is averaged over
// fftSize / 2 - 48 bins, the top 48 bins of the spectrum being left out.
inline constexpr u32 BEATTRACKER_MIN_FFT_SIZE = 2 * (48 + 1);

// Builds a tracker for spectra of fftSize values, with the default settings and no peak
// train. Null when fftSize is below BEATTRACKER_MIN_FFT_SIZE or any allocation fails
// (nothing leaks). mode has no effect.
beattracker_struct *beattracker_new(u32 fftSize, processingmode mode);
// Releases the tracker and everything it owns; null allowed. Returns null.
beattracker_struct *beattracker_destroy(beattracker_struct *bt);
// Needs a tracker from beattracker_new. Prepares a new song: bounds in frames (0 or less
// keeps the default), the user's interval (0 for none) and the expected frame count, which
// sizes the onset-peak train (none when it is 0 or less, or cannot be allocated). Returns 0.
s32 beattracker_open(beattracker_struct *bt, float upper, float lower, float initial, s32 numFrames);
// Releases the onset-peak train and restores the default settings. Returns 0.
s32 beattracker_close(beattracker_struct *bt);
// The step shared by open and close: default threshold, no user interval, default bounds,
// no expected length, no frames, beats or downbeats. User-input mode, beat pattern and taps
// are left alone.
void beattracker_reset(beattracker_struct *bt);

// Setters. Each needs a tracker from beattracker_new and returns the value given here.
void beattracker_setInputPtr(beattracker_struct *bt, const s16 *pInFFT);
s32 beattracker_setThreshould(beattracker_struct *bt, float threshould); // 1
s32 beattracker_setInitialBI(beattracker_struct *bt, float initialBI);   // 1
// A bound of 0 or less (or NaN) keeps its current value. 1.
s32 beattracker_setBIBound(beattracker_struct *bt, float lower, float upper);
// The four weights of a bar's beats, first beat first; size is not read. 1.
s32 beattracker_setBeatPattern(beattracker_struct *bt, const s32 *beatPattern, u32 size);
// Stores the mode and the weight of tapped beats: 0 to ignore, 20 to overwrite, else 4. 0.
s32 beattracker_setUserInputMode(beattracker_struct *bt, beattracker_userinputmode_t mode);

// Taps. A tap is dropped when 511 taps wait unread; tapping starts either way. 0.
s32 beattracker_tapBeat(beattracker_struct *bt, u32 offsetInFrames);
// Asks the next frame to forget the taps. 0.
s32 beattracker_tapReset(beattracker_struct *bt);
// Accepted and ignored. 0.
s32 beattracker_tapDownbeat(beattracker_struct *bt, u32 offsetInMs);
s32 beattracker_setBeats(beattracker_struct *bt, const u32 *beats, u32 size);
s32 beattracker_setDownbeats(beattracker_struct *bt, const u32 *downbeats, u32 size);
// One analysis frame. Needs the frame's spectrum set with beattracker_setInputPtr; a frame
// count of 0 starts a new song and resets the working state. Every frame updates the onset
// strength and the tempo estimate; once enough of the song has been heard it also picks
// peaks, takes taps, runs the agents, commits the leading agent's beats and downbeats and
// publishes the current beat. Allocates nothing. Always 0.
s32 beattracker_process(beattracker_struct *bt);
// After the song's last frame: the refined interval in rBeatInterval and beatInterval, the
// final beats laid over the whole song and every fourth of them as downbeats. anchors
// (frames, may be null) each start a grid up to the next one; anchors outside the song, or
// not before the next one, are dropped. fixedGrid asks for one strict grid. Returns 0, also
// when the recorded beats are left as they are (too few beats, or an interval outside the
// range of the build), or -1 when memory for the temporaries is refused.
s32 beattracker_finalize(beattracker_struct *bt, s32 *anchors, s32 nAnchors, bool fixedGrid);
