// Grid queries: counts, positions in ms, fractional beat indices and their positions, the
// index of a position and the surrounding entries, for beats and downbeats alike. While a
// fixed tempo is set, positions follow it from the grid's first entry (a downbeat every four
// beats); the stored grid itself is unchanged.
#include "songanalysis/songanalysis_handle.h"

#include "orvsys/orvfixed.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr u32 kNoPosition = static_cast<u32>(-99);
constexpr s32 kNoIndex = -99;
constexpr u32 kNoEntry = 0xFFFFFFFF;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// One grid with what the queries need of the record.
struct Timeline {
    const songanalysis_struct *sa = nullptr;
    songanalysis_grid grid{nullptr, nullptr, 0};
    float fixbeat = 0.0f; // beats per second, 0 for none
    float fixbeatinv = 0.0f;
    float beatsPerMs = 0.001f; // of the fixed tempo: 0.001 per beat, 0.00025 per downbeat
    float msPerBeat = 1000.0f; // 1000 per beat, 4000 per downbeat

    bool fixed() const { return fixbeat > 0.0f; }
    u32 count() const { return grid.size(); }
    u32 msAt(u32 i) const { return songanalysis_frameToMs(sa, grid.frames[i]); }
    // Signed ms from the first entry: positions before it come out negative.
    s32 sinceFirst(u32 position) const { return static_cast<s32>(position - msAt(0)); }
};

Timeline timelineOf(const songanalysis_struct *sa, bool downbeats) {
    Timeline t;
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr) return t;
    t.sa = sa;
    t.grid = downbeats ? songanalysis_downbeatGrid(h) : songanalysis_beatGrid(h);
    t.fixbeat = h->fixbeat;
    t.fixbeatinv = h->fixbeatinv;
    if (downbeats) {
        t.beatsPerMs = 0.00025f;
        t.msPerBeat = 4000.0f;
    }
    return t;
}

// The entry equal to the frame, else the one before it (-1 before the first), by a binary
// search for the first entry not below the frame. Written out rather than std::lower_bound:
// a grid loaded from a file need not be sorted, and the search must still stay inside it.
s64 indexAtOrBefore(const Timeline &t, u32 frame) {
    s64 low = 0;
    s64 high = t.count();
    while (low < high) {
        const s64 mid = low + (high - low) / 2;
        if (t.grid.frames[mid] < frame) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    if (low < t.count() && t.grid.frames[low] == frame) return low;
    return low - 1;
}

s32 indexOf(const Timeline &t, u32 position) {
    if (t.count() == 0) return kNoIndex;
    const s64 i = indexAtOrBefore(t, songanalysis_msToFrame(t.sa, position));
    return i < 0 || i >= t.count() ? kNoIndex : static_cast<s32>(i);
}

float fracFromPos(const Timeline &t, u32 position) {
    if (t.count() == 0) return kNaN;
    if (t.fixed()) {
        const s32 d = t.sinceFirst(position);
        return d < 0 ? kNaN : t.fixbeat * static_cast<float>(d) * t.beatsPerMs;
    }
    const u32 frame = songanalysis_msToFrame(t.sa, position);
    const s64 i = indexAtOrBefore(t, frame);
    if (i < 0 || i + 1 >= t.count()) return kNaN;
    const s64 width = s64{t.grid.frames[i + 1]} - t.grid.frames[i];
    // Two beats on one frame (an added duplicate) span nothing: the position sits on the first.
    const float fraction =
        width == 0 ? 0.0f : static_cast<float>(s64{frame} - t.grid.frames[i]) / static_cast<float>(width);
    return static_cast<float>(i) + fraction;
}

struct PosResult {
    songanalysis_error error;
    u32 ms;
};

// The position of a fractional index, with the value each failure leaves in *posInMs.
PosResult posFromFrac(const Timeline &t, float fracbeat) {
    if (std::isnan(fracbeat) || fracbeat < 0.0f || t.count() == 0) return {SONGANALYSIS_ERROR_OUTOFRANGE, 0};
    if (t.fixed()) {
        const u32 offset = orv::truncSatU32(fracbeat * t.msPerBeat * t.fixbeatinv);
        return {SONGANALYSIS_ERROR_NOERROR, offset + t.msAt(0)};
    }
    const s32 i = orv::truncSat32(fracbeat);
    if (s64{i} + 1 >= t.count()) return {SONGANALYSIS_ERROR_OUTOFRANGE, t.msAt(t.count() - 1)};
    const s64 width = s64{t.grid.frames[i + 1]} - t.grid.frames[i];
    const s32 frames = orv::truncSat32((fracbeat - static_cast<float>(i)) * static_cast<float>(width));
    const float ms = songanalysis_frameToMsExact(t.sa, static_cast<float>(t.grid.frames[i])) +
                     songanalysis_frameToMsExact(t.sa, static_cast<float>(frames));
    return {SONGANALYSIS_ERROR_NOERROR, orv::truncSatU32(ms + 0.5f)};
}

u32 posOrNone(const Timeline &t, float fracbeat) {
    const PosResult r = posFromFrac(t, fracbeat);
    return r.error == SONGANALYSIS_ERROR_NOERROR ? r.ms : kNoPosition;
}

songanalysis_error posOrError(const Timeline &t, float fracbeat, u32 *posInMs) {
    const PosResult r = posFromFrac(t, fracbeat);
    if (posInMs != nullptr) *posInMs = r.ms;
    return r.error;
}

// ms of fixed-tempo entry k counted from the first entry.
u32 fixedEntryMs(const Timeline &t, float k) {
    const s32 offset = orv::truncSat32(0.5f + t.msPerBeat * t.fixbeatinv * k);
    return t.msAt(0) + static_cast<u32>(offset);
}

songanalysis_error surrounding(const Timeline &t, u32 position, u32 *previous, u32 *next) {
    u32 before = kNoEntry;
    u32 after = kNoEntry;
    if (t.count() > 0 && t.fixed()) {
        const float k = std::floor(t.fixbeat * static_cast<float>(t.sinceFirst(position)) * t.beatsPerMs);
        if (k >= 0.0f) before = fixedEntryMs(t, k);
        if (k + 1.0f >= 0.0f) after = fixedEntryMs(t, k + 1.0f);
    } else if (t.count() > 0) {
        const s64 i = indexOf(t, position);
        if (i >= 0 && i <= s64{t.count()} - 1) before = t.msAt(static_cast<u32>(i));
        if (i + 1 >= 0 && i + 1 <= s64{t.count()} - 1) after = t.msAt(static_cast<u32>(i + 1));
        // Before the first entry there is no previous one, but the first entry is the next.
        if (i < 0) after = t.msAt(0);
    }
    if (previous != nullptr) *previous = before;
    if (next != nullptr) *next = after;
    return SONGANALYSIS_ERROR_NOERROR;
}

u32 copyPositions(const Timeline &t, u32 *out, u32 offset, u32 size) {
    if (out == nullptr || offset >= t.count()) return 0;
    const u32 n = std::min(t.count() - offset, size);
    for (u32 i = 0; i < n; ++i) out[i] = t.msAt(offset + i);
    return n;
}

} // namespace

u32 songanalysis_getNumberOfBeats(const songanalysis_struct *sa) {
    return timelineOf(sa, false).count();
}

u32 songanalysis_getNumberOfDownbeats(const songanalysis_struct *sa) {
    return timelineOf(sa, true).count();
}

u32 songanalysis_getBeats(const songanalysis_struct *sa, u32 *pBeats, u32 beatOffset, u32 beatSize) {
    return copyPositions(timelineOf(sa, false), pBeats, beatOffset, beatSize);
}

u32 songanalysis_getDownbeats(const songanalysis_struct *sa, u32 *pDownbeats, u32 downbeatOffset,
                              u32 downbeatSize) {
    return copyPositions(timelineOf(sa, true), pDownbeats, downbeatOffset, downbeatSize);
}

float songanalysis_fracbeatFromPos(const songanalysis_struct *sa, u32 beatInMs) {
    return fracFromPos(timelineOf(sa, false), beatInMs);
}

float songanalysis_fracDownbeatFromPos(const songanalysis_struct *sa, u32 beatInMs) {
    return fracFromPos(timelineOf(sa, true), beatInMs);
}

u32 songanalysis_posFromFracbeat(const songanalysis_struct *sa, float fracbeat) {
    return posOrNone(timelineOf(sa, false), fracbeat);
}

u32 songanalysis_posFromFracDownbeat(const songanalysis_struct *sa, float fracbeat) {
    return posOrNone(timelineOf(sa, true), fracbeat);
}

songanalysis_error songanalysis_posFromFracbeat2(const songanalysis_struct *sa, float fracbeat,
                                                 u32 *posInMs) {
    return posOrError(timelineOf(sa, false), fracbeat, posInMs);
}

songanalysis_error songanalysis_posFromFracDownbeat2(const songanalysis_struct *sa, float fracbeat,
                                                     u32 *posInMs) {
    return posOrError(timelineOf(sa, true), fracbeat, posInMs);
}

s32 songanalysis_getBeatIndex(const songanalysis_struct *sa, u32 beatInMs) {
    return indexOf(timelineOf(sa, false), beatInMs);
}

s32 songanalysis_getDownbeatIndex(const songanalysis_struct *sa, u32 beatInMs) {
    return indexOf(timelineOf(sa, true), beatInMs);
}

songanalysis_error songanalysis_getSurroundingBeats(const songanalysis_struct *sa, u32 offsetInMs,
                                                    u32 *previousBeat, u32 *nextBeat) {
    return surrounding(timelineOf(sa, false), offsetInMs, previousBeat, nextBeat);
}

songanalysis_error songanalysis_getSurroundingDownbeats(const songanalysis_struct *sa, u32 offsetInMs,
                                                        u32 *previousBeat, u32 *nextBeat) {
    return surrounding(timelineOf(sa, true), offsetInMs, previousBeat, nextBeat);
}
