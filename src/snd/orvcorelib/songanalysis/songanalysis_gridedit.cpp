// Grid edits: replacing a grid, adding and removing single beats, the fixed tempo, moving
// both grids onto a beat, and taps for the tracker.
#include "songanalysis/songanalysis_handle.h"

#include "orvsys/orvfixed.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kMaxFixedBPM = 900.0f;

songanalysis_error replaceGrid(const songanalysis_struct *sa, songanalysis_grid grid, const u32 *positions,
                               u32 size) {
    if (grid.count == nullptr) return SONGANALYSIS_ERROR_NOTSUPPORTED;
    const u32 n = positions != nullptr ? std::min(size, grid.capacity) : 0;
    for (u32 i = 0; i < n; ++i) grid.frames[i] = songanalysis_msToFrame(sa, positions[i]);
    *grid.count = n;
    // The tracker never took grids from outside; the grid is stored all the same.
    return SONGANALYSIS_ERROR_NOTSUPPORTED;
}

bool hasDetectedTempo(const songanalysis_struct *sa) {
    return sa->isOpened != 0 && sa->beatsPerMinute > 0.0f;
}

// Frames by which the nearest beat must move to fall on the position; the refusal when the
// grids would leave the song at its start.
struct Shift {
    songanalysis_error error;
    s64 frames;
};

// The shift in whole frames, rounded to the nearest frame in both directions (adding 0.5 and
// truncating toward zero would move a backward shift of 19.98 frames by only 19).
s64 framesBetween(const songanalysis_struct *sa, u32 position, u32 beatMs) {
    const float ms = static_cast<float>(static_cast<s32>(position - beatMs));
    const float frames = ms / 1000.0f * static_cast<float>(sa->inputSampleRate) / static_cast<float>(sa->frameSize);
    return frames >= 0.0f ? orv::truncSat32(frames + 0.5f) : -s64{orv::truncSat32(-frames + 0.5f)};
}

// The analysis frame of the song's end.
float lastFrameOfSong(const songanalysis_struct *sa) {
    return static_cast<float>(sa->inputSampleRate) * (static_cast<float>(sa->maxLengthInMs) / 1000.0f) /
               static_cast<float>(sa->frameSize) +
           0.5f;
}

// Chooses the beat to move onto the position: the nearest one, the one before it when the
// shift would push the grid before the song's start, the one after it (once) when the shift
// would push the grid past the song's end.
Shift findShift(const songanalysis_struct *sa, const songanalysis_grid &beats, u32 position) {
    const float a = songanalysis_fracbeatFromPos(sa, position);
    if (std::isnan(a)) return {SONGANALYSIS_ERROR_OUTOFRANGE, 0};
    float b = std::floor(a + 0.5f);
    s32 tries = 1;
    for (;;) {
        u32 p = 0;
        const songanalysis_error e = songanalysis_posFromFracbeat2(sa, std::max(b, 0.0f), &p);
        if (e != SONGANALYSIS_ERROR_NOERROR) return {e, 0};
        if (p == position) return {SONGANALYSIS_ERROR_NOERROR, 0};
        const s64 diff = framesBetween(sa, position, p);
        bool tookPrevious = false;
        if (diff < 0 && s64{beats.frames[0]} < -diff) {
            b -= 1.0f;
            tookPrevious = true;
        }
        const s64 last = beats.frames[beats.size() - 1];
        if (tries < 2 && diff > 0 && static_cast<float>(last + diff) > lastFrameOfSong(sa)) {
            tries = 2;
            b += 1.0f;
            continue;
        }
        if (tookPrevious && tries <= 2) {
            ++tries;
            continue;
        }
        return {SONGANALYSIS_ERROR_NOERROR, diff};
    }
}

// Every entry, not only the first: a grid loaded from a file need not be ascending.
bool staysInSong(const songanalysis_grid &grid, s64 diff) {
    for (u32 i = 0; i < grid.size(); ++i) {
        const s64 moved = s64{grid.frames[i]} + diff;
        if (moved < 0 || moved > s64{0xFFFFFFFF}) return false;
    }
    return true;
}

void shiftGrid(const songanalysis_grid &grid, s64 diff) {
    for (u32 i = 0; i < grid.size(); ++i) grid.frames[i] = static_cast<u32>(s64{grid.frames[i]} + diff);
}

} // namespace

songanalysis_error songanalysis_setBeats(songanalysis_struct *sa, const u32 *beats, u32 size) {
    return replaceGrid(sa, songanalysis_beatGrid(songanalysis_getHandle(sa)), beats, size);
}

songanalysis_error songanalysis_setDownbeats(songanalysis_struct *sa, const u32 *downbeats, u32 size) {
    return replaceGrid(sa, songanalysis_downbeatGrid(songanalysis_getHandle(sa)), downbeats, size);
}

songanalysis_error songanalysis_addBeat(songanalysis_struct *sa, u32 beat) {
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr) return SONGANALYSIS_ERROR_NOTOPENED;
    const songanalysis_grid grid = songanalysis_beatGrid(h);
    if (grid.size() >= grid.capacity) return SONGANALYSIS_ERROR_OUTOFMEMORY;
    const u32 frame = songanalysis_msToFrame(sa, beat);
    // After any equal beat, so the grid stays ascending.
    u32 j = grid.size();
    for (; j > 0 && grid.frames[j - 1] > frame; --j) grid.frames[j] = grid.frames[j - 1];
    grid.frames[j] = frame;
    *grid.count += 1;
    return SONGANALYSIS_ERROR_NOERROR;
}

songanalysis_error songanalysis_removeBeat(songanalysis_struct *sa, u32 beat) {
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr) return SONGANALYSIS_ERROR_NOTOPENED;
    const songanalysis_grid grid = songanalysis_beatGrid(h);
    const u32 frame = songanalysis_msToFrame(sa, beat);
    u32 *end = grid.frames + grid.size();
    u32 *found = std::find(grid.frames, end, frame);
    if (found == end) return SONGANALYSIS_ERROR_NOERROR;
    std::copy(found + 1, end, found);
    *grid.count -= 1;
    return SONGANALYSIS_ERROR_NOERROR;
}

songanalysis_error songanalysis_setFixedBPM(songanalysis_struct *sa, float newBPM) {
    if (sa == nullptr) return SONGANALYSIS_ERROR_ERROR;
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr || !hasDetectedTempo(sa)) return SONGANALYSIS_ERROR_NOTOPENED;
    sa->dirty = 1;
    if (newBPM > 0.0f && newBPM <= kMaxFixedBPM) {
        h->fixbeat = newBPM / 60.0f;
        h->fixbeatinv = 1.0f / h->fixbeat;
    } else {
        h->fixbeat = 0.0f;
        h->fixbeatinv = 0.0f;
    }
    return SONGANALYSIS_ERROR_NOERROR;
}

float songanalysis_getFixedBPM(const songanalysis_struct *sa) {
    const songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr || !hasDetectedTempo(sa)) return -1.0f;
    return 60.0f * h->fixbeat;
}

songanalysis_error songanalysis_alignBeats(songanalysis_struct *sa, u32 newBeatInMs) {
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr) return SONGANALYSIS_ERROR_NOTOPENED;
    const s8 wasDirty = sa->dirty;
    sa->dirty = 1;
    const songanalysis_grid beats = songanalysis_beatGrid(h);
    const songanalysis_grid downbeats = songanalysis_downbeatGrid(h);
    if (beats.size() == 0) return SONGANALYSIS_ERROR_OUTOFRANGE;
    const Shift shift = findShift(sa, beats, newBeatInMs);
    if (shift.error != SONGANALYSIS_ERROR_NOERROR) return shift.error;
    // Frames are unsigned: an entry moved before the song's start would wrap to its far end.
    if (!staysInSong(beats, shift.frames) || !staysInSong(downbeats, shift.frames)) {
        sa->dirty = wasDirty;
        return SONGANALYSIS_ERROR_OUTOFRANGE;
    }
    shiftGrid(beats, shift.frames);
    shiftGrid(downbeats, shift.frames);
    return SONGANALYSIS_ERROR_NOERROR;
}

songanalysis_error songanalysis_tapBeat(songanalysis_struct *sa, u32 offsetInMs) {
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr) return SONGANALYSIS_ERROR_NOTOPENED;
    // Taps steer an analysis; a record of loaded results has no tracker to take them.
    if (h->beatTracker != nullptr)
        beattracker_tapBeat(h->beatTracker, songanalysis_msToFrame(sa, offsetInMs));
    return SONGANALYSIS_ERROR_NOERROR;
}

songanalysis_error songanalysis_tapBeatReset(songanalysis_struct *sa) {
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr) return SONGANALYSIS_ERROR_NOTOPENED;
    if (h->beatTracker != nullptr) beattracker_tapReset(h->beatTracker);
    return SONGANALYSIS_ERROR_NOERROR;
}

songanalysis_error songanalysis_tapDownbeat(songanalysis_struct *sa, u32 offsetInMs) {
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h != nullptr && h->beatTracker != nullptr) beattracker_tapDownbeat(h->beatTracker, offsetInMs);
    return SONGANALYSIS_ERROR_NOTSUPPORTED;
}

u32 songanalysis_hash(const char *str, char *ou) {
    u32 h = 0;
    if (str != nullptr)
        for (const unsigned char *c = reinterpret_cast<const unsigned char *>(str); *c != 0; ++c)
            h = h * 37u + *c;
    if (ou != nullptr)
        for (int i = 0; i < 8; ++i) ou[i] = static_cast<char>('h' - i + ((h >> (4 * i)) & 15u));
    return h;
}
