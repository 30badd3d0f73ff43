// beattracker_finalize: the order of the offline finish, the grids and the choice of the
// final beats and downbeats. The measuring and placing steps are in beattracker_refine.cpp.
#include "songanalysis/beattracker/beattracker_finalize.h"

#include "orvsys/orvfixed.h"
#include "songanalysis/beattracker/beattracker.h"
#include "songanalysis/beattracker/beattracker_alloc.h"
#include "songanalysis/beattracker/beattracker_config.h"
#include "songanalysis/beattracker/beattracker_frame.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

constexpr float kTempoNumerator = btk::kTempoNumerator; // K
constexpr float kFrameSize = btk::kFrameLength;         // F
// The finish accepts the intervals of the build's default tempo range, whatever the song's.
constexpr float kShortestInterval = btk::kDefaultLowerBI;
constexpr float kLongestInterval = btk::kDefaultUpperBI;
constexpr u32 kFewBeats = 7;     // this many recorded beats or fewer say too little
constexpr u32 kSpanBeats = 4;    // intervals are measured over four beats
constexpr u32 kTrustRegion = 12; // frames around the median span

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
template <typename T>
using Temporary = std::unique_ptr<T[], FreeDeleter>;

template <typename T>
Temporary<T> allocateTemporary(u32 count) {
    return Temporary<T>(static_cast<T *>(beattracker_allocZeroed(count, sizeof(T))));
}

// Beats the online tracking placed beyond the frames processed are dropped.
void trimRecordedBeats(beattracker_struct *bt) {
    bt->beatSizeRaw = std::min(bt->beatSizeRaw, BEATTRACKER_MAX_BEATS);
    while (bt->beatSizeRaw > 0 && s64{bt->beats[bt->beatSizeRaw - 1]} > s64{bt->iFrameCount} - 1)
        bt->beatSizeRaw -= 1;
}

bool userIntervalRules(const beattracker_struct *bt) {
    return bt->initialBI > bt->lowerBI && bt->initialBI < bt->upperBI &&
           bt->userInputMode == USERINPUTMODE_OVERWRITE;
}

// The interval measured on the recorded beats' four-beat spans, snapped to a round tempo.
float intervalOfSpans(const beattracker_struct *bt, u32 *spans, u32 count) {
    for (u32 i = 0; i < count; ++i) spans[i] = bt->beats[i + kSpanBeats] - bt->beats[i];
    const float bpm = _MagnetizeBeatInterval(_RefineBeatInterval(spans, count, kTrustRegion));
    return kTempoNumerator / (kFrameSize * bpm);
}

bool acceptedInterval(float interval) {
    return interval >= kShortestInterval && interval <= kLongestInterval; // false for NaN
}

// Without a peak train the recorded beats, all but the last two, are the candidates.
void markRecordedBeats(const beattracker_struct *bt, s16 *beatTrain, u32 size) {
    for (u32 i = 0; i + 2 < bt->beatSizeRaw; ++i)
        if (bt->beats[i] < size) beatTrain[bt->beats[i]] = BEATTRAIN_RECORDED;
}

} // namespace

namespace {

// The whole part of a position plus the interval; always at least one frame on, where a
// float could no longer tell the two apart.
s32 nextGridFrame(s32 p, float interval) {
    return std::max(orv::truncSat32(static_cast<float>(p) + interval), p + 1);
}

} // namespace

bool beattrain_layFixedGrid(s16 *beatTrain, s32 size, float interval) {
    if (!(interval >= 1.0f)) return false;
    const s16 *marked = std::find_if(beatTrain, beatTrain + size, [](s16 v) { return v != 0; });
    if (marked == beatTrain + size) return false;
    s32 p = static_cast<s32>(marked - beatTrain) + 1;
    while (static_cast<float>(p) >= interval)
        p = std::min(orv::truncSat32(static_cast<float>(p) - interval), p - 1);
    std::fill(beatTrain, beatTrain + size, s16{0});
    for (; p < size; p = nextGridFrame(p, interval)) beatTrain[p] = BEATTRAIN_GRID;
    return true;
}

namespace {

// The user's anchors come from the command line: only those inside the song, each earlier
// than the next one kept, count. visit(anchor, end) runs from the last kept anchor to the
// first, end being the next kept anchor (the song's last frame for the last one). Returns the
// number kept.
template <typename Visit>
s32 forEachAnchor(const s32 *anchors, s32 nAnchors, s32 size, Visit visit) {
    if (anchors == nullptr) return 0;
    s32 end = size - 1;
    s32 kept = 0;
    for (s32 k = nAnchors - 1; k >= 0; --k) {
        const s32 a = anchors[k];
        if (a < 0 || a >= size || (kept > 0 && a >= end)) continue;
        visit(a, end);
        end = a;
        ++kept;
    }
    return kept;
}

} // namespace

bool beattrain_layAnchoredGrids(s16 *beatTrain, s32 size, float interval, const s32 *anchors, s32 nAnchors) {
    if (!(interval >= 1.0f)) return false;
    s32 first = -1;
    if (forEachAnchor(anchors, nAnchors, size, [&](s32 a, s32) { first = a; }) == 0) return false;
    std::fill(beatTrain + first, beatTrain + size, s16{0});
    forEachAnchor(anchors, nAnchors, size, [&](s32 a, s32 end) {
        for (s32 p = a; p < end; p = nextGridFrame(p, interval)) beatTrain[p] = BEATTRAIN_GRID;
    });
    return true;
}

u32 beattrain_selectBeats(const s16 *beatTrain, s32 size, s64 spacing, u32 *beats, u32 capacity) {
    std::fill(beats, beats + capacity, 0u);
    u32 count = 0;
    for (s32 idx = 0; idx < size && count < capacity; ++idx) {
        if (beatTrain[idx] <= 1) continue;
        if (count > 0 && s64{idx} - beats[count - 1] <= spacing) continue;
        beats[count++] = static_cast<u32>(idx);
    }
    return count;
}

s32 beattracker_finalize(beattracker_struct *bt, s32 *anchors, s32 nAnchors, bool fixedGrid) {
    beattracker_endWarmUp(bt);
    const beattracker_internal *in = bt->private_;
    // The train has one value per frame; frame numbers beyond the s32 range are not kept.
    const s32 trainSize = static_cast<s32>(std::min<u32>(bt->iFrameCount, 0x7FFFFFFFu));

    float interval = 0.0f;
    bool measured = false;
    Temporary<u32> spans;
    if (bt->beatSizeRaw > kFewBeats) {
        trimRecordedBeats(bt);
        measured = bt->beatSizeRaw > kSpanBeats; // at least one four-beat span
    }
    if (measured) {
        const u32 count = bt->beatSizeRaw - kSpanBeats;
        spans = allocateTemporary<u32>(count);
        if (!spans) return -1;
        interval = userIntervalRules(bt) ? bt->initialBI : intervalOfSpans(bt, spans.get(), count);
    } else {
        if (in->peakTrain == nullptr) return 0;
        interval = bt->rBeatIntervalXcorr;
    }
    bt->rBeatInterval = interval;
    bt->beatInterval = interval;
    if (!acceptedInterval(interval) || trainSize == 0) return 0;

    Temporary<s16> beatTrain = allocateTemporary<s16>(static_cast<u32>(trainSize));
    if (!beatTrain) return -1;
    s16 *train = beatTrain.get();
    if (in->peakTrain != nullptr) {
        _RefineBeatsCoarse(in->peakTrain, std::min(trainSize, bt->numFrames), train, interval);
    } else {
        markRecordedBeats(bt, train, static_cast<u32>(trainSize));
    }
    _RefineBeats(train, trainSize, interval);

    if (fixedGrid && !beattrain_layFixedGrid(train, trainSize, bt->beatInterval)) return 0;
    const bool anchored =
        nAnchors > 0 && beattrain_layAnchoredGrids(train, trainSize, bt->beatInterval, anchors, nAnchors);
    const s64 spacing = anchored ? 0 : orv::truncSat32(interval * 0.5f);
    bt->beatSize = beattrain_selectBeats(train, trainSize, spacing, bt->beats, BEATTRACKER_MAX_BEATS);
    bt->downbeatSize = _RefineDownbeats(bt->beats, bt->beatSize, bt->downbeats, bt->downbeatSizeRaw);
    return 0;
}
