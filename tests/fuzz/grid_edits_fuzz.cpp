// Beat-grid queries and edits on whatever grid a result file may hold (unsorted, repeated,
// far beyond the song): every query and edit with positions, indices and tempi taken from
// the input. No undefined behaviour, counts within the grid's capacity, alignments that move
// both grids as one or not at all.
//
// Input: a 4-byte header (song length in seconds, beat count, downbeat count, stored tempo),
// the frames of both grids (3 bytes each), then operations of 5 bytes (an opcode and a
// 32-bit argument).
#include "orvsys/lebytes.h"
#include "orvsys/orvconfig.h"
#include "songanalysis/songanalysis_handle.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

u32 frame3(const uint8_t *p) {
    return static_cast<u32>(p[0]) | (static_cast<u32>(p[1]) << 8) | (static_cast<u32>(p[2]) << 16);
}

float floatOf(u32 bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void fillGrid(songanalysis_grid g, const uint8_t *&p, const uint8_t *end, u32 count) {
    u32 n = 0;
    for (; n < count && n < g.capacity && p + 3 <= end; ++n, p += 3) g.frames[n] = frame3(p);
    *g.count = n;
}

void run(songanalysis_struct *sa, u8 op, u32 arg) {
    u32 previous = 0, next = 0, pos = 0;
    u32 slice[8];
    switch (op % 16) {
    case 0:
        songanalysis_fracbeatFromPos(sa, arg);
        break;
    case 1:
        songanalysis_fracDownbeatFromPos(sa, arg);
        break;
    case 2:
        songanalysis_posFromFracbeat(sa, floatOf(arg));
        break;
    case 3:
        songanalysis_posFromFracDownbeat2(sa, floatOf(arg), &pos);
        break;
    case 4:
        songanalysis_getBeatIndex(sa, arg);
        break;
    case 5:
        songanalysis_getSurroundingBeats(sa, arg, &previous, &next);
        break;
    case 6:
        songanalysis_getSurroundingDownbeats(sa, arg, &previous, &next);
        break;
    case 7:
        check(songanalysis_getBeats(sa, slice, arg, 8) <= 8);
        break;
    case 8:
        songanalysis_addBeat(sa, arg);
        break;
    case 9:
        songanalysis_removeBeat(sa, arg);
        break;
    case 10:
        songanalysis_setFixedBPM(sa, floatOf(arg));
        break;
    case 11:
        songanalysis_setFixedBPM(sa, static_cast<float>(arg % 1000));
        break;
    case 12:
        songanalysis_posFromFracbeat2(sa, static_cast<float>(arg % 4096) / 16.0f, &pos);
        break;
    case 13:
        songanalysis_tapBeat(sa, arg);
        break;
    default: {
        // An alignment either fails and changes nothing, or moves every entry of both grids by
        // the same number of frames, none of them across 0.
        songanalysis_handle *h = songanalysis_getHandle(sa);
        const songanalysis_grid grids[2] = {songanalysis_beatGrid(h), songanalysis_downbeatGrid(h)};
        std::vector<u32> before[2];
        for (int g = 0; g < 2; ++g) before[g].assign(grids[g].frames, grids[g].frames + grids[g].size());
        const bool moved = songanalysis_alignBeats(sa, arg) == SONGANALYSIS_ERROR_NOERROR;
        const s64 shift = moved && !before[0].empty() ? s64{grids[0].frames[0]} - before[0][0] : 0;
        check(shift > -(s64{1} << 31) && shift < (s64{1} << 31)); // a wrapped entry would show here
        for (int g = 0; g < 2; ++g)
            for (size_t i = 0; i < before[g].size(); ++i)
                check(s64{grids[g].frames[i]} - before[g][i] == shift);
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) return 0;
    songanalysis_struct *sa =
        songanalysis_new(SONGANALYSIS_QUALITY_MID, SONGANALYSIS_MODE_OFFLINE, SONGANALYSIS_FEATURE_ALL, 0, 0);
    check(sa != nullptr);
    check(songanalysis_openForResults(sa, SONGANALYSIS_FEATURE_BEATS, orv::kAnalysisSampleRate,
                                      data[0] * 10000u, 2, 0.0f, SONGANALYSIS_GENRE_DEFAULT, nullptr) == 0);
    sa->beatsPerMinute = static_cast<float>(data[3]);
    songanalysis_handle *h = songanalysis_getHandle(sa);
    const uint8_t *p = data + 4;
    const uint8_t *end = data + size;
    fillGrid(songanalysis_beatGrid(h), p, end, data[1] * 4u);
    fillGrid(songanalysis_downbeatGrid(h), p, end, data[2]);
    for (; p + 5 <= end; p += 5) run(sa, p[0], orv::getLE32(p + 1));
    check(songanalysis_getNumberOfBeats(sa) <= SONGANALYSIS_MAX_BEATS);
    check(songanalysis_getNumberOfDownbeats(sa) <= SONGANALYSIS_MAX_DOWNBEATS);
    songanalysis_close(sa);
    songanalysis_destroy(sa);
    return 0;
}
