// Beat-grid queries and edits on a record of loaded results whose grids hold known frames:
// fractional indices and their positions, indices, surrounding entries, the fixed tempo,
// adding, removing, replacing and aligning beats, and the string hash.
#include "snd/orvcorelib/songanalysis/analysis/analysis_support.h"

#include "songanalysis/songanalysis_handle.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

using namespace satest;

constexpr u32 kNone = 0xFFFFFFFF;
constexpr u32 kNoPos = static_cast<u32>(-99);
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// A record of loaded results (tempo 120 BPM unless told) with the given grids in frames.
Record gridRecord(const std::vector<u32> &beats, const std::vector<u32> &downbeats = {}, float bpm = 120.0f,
                  u32 lengthMs = 300000) {
    auto sa = makeRecord();
    EXPECT_EQ(songanalysis_openForResults(sa.get(), SONGANALYSIS_FEATURE_BEATS | SONGANALYSIS_FEATURE_GAIN,
                                          orv::kAnalysisSampleRate, lengthMs, 2, bpm,
                                          SONGANALYSIS_GENRE_DEFAULT, nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    songanalysis_handle *h = songanalysis_getHandle(sa.get());
    const songanalysis_grid b = songanalysis_beatGrid(h);
    const songanalysis_grid d = songanalysis_downbeatGrid(h);
    std::copy(beats.begin(), beats.end(), b.frames);
    *b.count = static_cast<u32>(beats.size());
    std::copy(downbeats.begin(), downbeats.end(), d.frames);
    *d.count = static_cast<u32>(downbeats.size());
    sa->beatsPerMinute = bpm;
    return sa;
}

std::vector<u32> framesOf(songanalysis_grid g) {
    return std::vector<u32>(g.frames, g.frames + g.size());
}

std::vector<u32> beatFrames(const songanalysis_struct *sa) {
    return framesOf(songanalysis_beatGrid(songanalysis_getHandle(sa)));
}

std::vector<u32> downbeatFrames(const songanalysis_struct *sa) {
    return framesOf(songanalysis_downbeatGrid(songanalysis_getHandle(sa)));
}

u32 ms(const songanalysis_struct *sa, u32 frame) {
    return songanalysis_frameToMs(sa, frame);
}

TEST(GridQueries, ConversionsBetweenMsAndFrames) {
    auto sa = gridRecord({});
    for (u32 frame : {0u, 1u, 100u, 150u, 200u, 12345u, 400000u}) {
        const u32 m = ms(sa.get(), frame);
        EXPECT_NEAR(m, frame * 1000.0 * kFrame / kRate, 0.5 + 1e-3 * m) << frame;
        EXPECT_EQ(songanalysis_msToFrame(sa.get(), m), frame) << frame;
    }
    // Single precision: the largest position converts within float rounding, without overflow.
    const double largest = 0xFFFFFFFFu / 1000.0 * kRate / kFrame;
    EXPECT_NEAR(songanalysis_msToFrame(sa.get(), 0xFFFFFFFF), largest, largest * 1e-6);
}

// Beats at frames 0, 100 and 200.
TEST(GridQueries, PositionsOnAThreeBeatGrid) {
    auto sa = gridRecord({0, 100, 200}, {0, 100, 200});
    struct Case {
        u32 frame;
        float frac;
        s32 index;
        u32 previous, next; // frames; kNone for none
    };
    const Case cases[] = {
        {0, 0.0f, 0, 0, 100},     {50, 0.5f, 0, 0, 100},      {100, 1.0f, 1, 100, 200},
        {150, 1.5f, 1, 100, 200}, {200, kNaN, 2, 200, kNone}, {300, kNaN, 2, 200, kNone},
    };
    const songanalysis_struct *r = sa.get();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.frame);
        const u32 position = ms(r, c.frame);
        for (bool down : {false, true}) {
            const float frac = down ? songanalysis_fracDownbeatFromPos(r, position)
                                    : songanalysis_fracbeatFromPos(r, position);
            if (std::isnan(c.frac)) {
                EXPECT_TRUE(std::isnan(frac)) << frac;
            } else {
                EXPECT_FLOAT_EQ(frac, c.frac);
            }
            EXPECT_EQ(down ? songanalysis_getDownbeatIndex(r, position)
                           : songanalysis_getBeatIndex(r, position),
                      c.index);
            u32 previous = 1, next = 1;
            EXPECT_EQ(down ? songanalysis_getSurroundingDownbeats(r, position, &previous, &next)
                           : songanalysis_getSurroundingBeats(r, position, &previous, &next),
                      SONGANALYSIS_ERROR_NOERROR);
            EXPECT_EQ(previous, c.previous == kNone ? kNone : ms(r, c.previous));
            EXPECT_EQ(next, c.next == kNone ? kNone : ms(r, c.next));
        }
    }
}

TEST(GridQueries, PositionsOfFractionalBeats) {
    auto sa = gridRecord({0, 100, 200}, {0, 100, 200});
    const songanalysis_struct *r = sa.get();
    struct Case {
        float frac;
        songanalysis_error error;
        u32 frame; // expected position as a frame; kNone: the failure value
    };
    const Case cases[] = {
        {0.0f, SONGANALYSIS_ERROR_NOERROR, 0},         {1.0f, SONGANALYSIS_ERROR_NOERROR, 100},
        {1.5f, SONGANALYSIS_ERROR_NOERROR, 150},       {0.25f, SONGANALYSIS_ERROR_NOERROR, 25},
        {2.0f, SONGANALYSIS_ERROR_OUTOFRANGE, kNone},  {7.0f, SONGANALYSIS_ERROR_OUTOFRANGE, kNone},
        {1e10f, SONGANALYSIS_ERROR_OUTOFRANGE, kNone}, {-0.5f, SONGANALYSIS_ERROR_OUTOFRANGE, kNone},
        {-1.0f, SONGANALYSIS_ERROR_OUTOFRANGE, kNone}, {kNaN, SONGANALYSIS_ERROR_OUTOFRANGE, kNone},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.frac);
        for (bool down : {false, true}) {
            const u32 pos =
                down ? songanalysis_posFromFracDownbeat(r, c.frac) : songanalysis_posFromFracbeat(r, c.frac);
            u32 pos2 = 12345;
            const songanalysis_error e = down ? songanalysis_posFromFracDownbeat2(r, c.frac, &pos2)
                                              : songanalysis_posFromFracbeat2(r, c.frac, &pos2);
            EXPECT_EQ(e, c.error);
            if (c.frame == kNone) {
                EXPECT_EQ(pos, kNoPos);
                // Past the end the last entry, before the start (or NaN) 0.
                EXPECT_EQ(pos2, c.frac >= 2.0f ? ms(r, 200) : 0u);
            } else {
                EXPECT_NEAR(pos, ms(r, c.frame), 1.0);
                EXPECT_EQ(pos2, pos);
            }
        }
    }
}

// Before the first beat there is no index and no previous beat; the first beat is the next.
TEST(GridQueries, PositionBeforeTheFirstBeatHasNoIndex) {
    auto sa = gridRecord({10, 100, 200});
    const u32 position = ms(sa.get(), 5);
    EXPECT_EQ(songanalysis_getBeatIndex(sa.get(), position), -99);
    EXPECT_TRUE(std::isnan(songanalysis_fracbeatFromPos(sa.get(), position)));
    u32 previous = 1, next = 1;
    songanalysis_getSurroundingBeats(sa.get(), position, &previous, &next);
    EXPECT_EQ(previous, kNone);
    EXPECT_EQ(next, ms(sa.get(), 10));
}

// Two beats on one frame span nothing: the fraction is 0, never a division by zero.
TEST(GridQueries, ZeroWidthIntervalGivesFractionZero) {
    auto sa = gridRecord({100, 100, 200});
    EXPECT_EQ(songanalysis_fracbeatFromPos(sa.get(), ms(sa.get(), 100)), 0.0f);
    EXPECT_FLOAT_EQ(songanalysis_fracbeatFromPos(sa.get(), ms(sa.get(), 150)), 1.5f);
    EXPECT_EQ(songanalysis_posFromFracbeat(sa.get(), 0.5f), ms(sa.get(), 100));
}

TEST(GridQueries, GetBeatsCopiesASliceInMs) {
    auto sa = gridRecord({0, 100, 200}, {0, 400});
    const songanalysis_struct *r = sa.get();
    struct Case {
        u32 offset, size, count;
    };
    const Case cases[] = {{0, 10, 3}, {0, 3, 3}, {1, 1, 1},          {1, 5, 2}, {2, 5, 1},
                          {3, 5, 0},  {7, 5, 0}, {0xFFFFFFFF, 5, 0}, {0, 0, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.offset);
        std::vector<u32> out(8, 7);
        EXPECT_EQ(songanalysis_getBeats(r, out.data(), c.offset, c.size), c.count);
        for (u32 i = 0; i < c.count; ++i) EXPECT_EQ(out[i], ms(r, 100 * (c.offset + i)));
        EXPECT_EQ(out[c.count], 7u);
    }
    std::vector<u32> out(4, 7);
    EXPECT_EQ(songanalysis_getDownbeats(r, out.data(), 1, 4), 1u);
    EXPECT_EQ(out[0], ms(r, 400));
    EXPECT_EQ(songanalysis_getBeats(r, nullptr, 0, 3), 0u);
    EXPECT_EQ(songanalysis_getNumberOfBeats(r), 3u);
    EXPECT_EQ(songanalysis_getNumberOfDownbeats(r), 2u);
}

// 120 BPM fixed, the first beat at M ms: beats every 500 ms and downbeats every 2000 ms from
// there, whatever the stored grid says.
TEST(GridQueries, FixedTempoLaysItsOwnGridFromTheFirstEntry) {
    auto probe = gridRecord({});
    const u32 first = songanalysis_msToFrame(probe.get(), 350);
    auto sa = gridRecord({first, first + 7, first + 50}, {first, first + 50});
    const songanalysis_struct *r = sa.get();
    const u32 m = ms(r, first);
    ASSERT_EQ(songanalysis_setFixedBPM(sa.get(), 120.0f), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(songanalysis_getFixedBPM(r), 120.0f);

    u32 previous = 0, next = 0;
    songanalysis_getSurroundingBeats(r, m + 1050, &previous, &next);
    EXPECT_EQ(previous, m + 1000);
    EXPECT_EQ(next, m + 1500);
    EXPECT_NEAR(songanalysis_fracbeatFromPos(r, m + 1050), 2.1f, 1e-5);
    EXPECT_EQ(songanalysis_posFromFracbeat(r, 2.1f), m + 1050);
    u32 pos = 0;
    EXPECT_EQ(songanalysis_posFromFracbeat2(r, 2.1f, &pos), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(pos, m + 1050);
    // Downbeats every four beats.
    songanalysis_getSurroundingDownbeats(r, m + 4100, &previous, &next);
    EXPECT_EQ(previous, m + 4000);
    EXPECT_EQ(next, m + 6000);
    EXPECT_NEAR(songanalysis_fracDownbeatFromPos(r, m + 5000), 2.5f, 1e-5);
    EXPECT_EQ(songanalysis_posFromFracDownbeat(r, 1.5f), m + 3000);
    // Before the first entry: no index, the first entry is the next one.
    EXPECT_TRUE(std::isnan(songanalysis_fracbeatFromPos(r, m - 10)));
    songanalysis_getSurroundingBeats(r, m - 10, &previous, &next);
    EXPECT_EQ(previous, kNone);
    EXPECT_EQ(next, m);
    // A negative index has no position.
    EXPECT_EQ(songanalysis_posFromFracbeat(r, -0.5f), kNoPos);
    EXPECT_EQ(songanalysis_posFromFracbeat2(r, -0.5f, &pos), SONGANALYSIS_ERROR_OUTOFRANGE);
    EXPECT_EQ(pos, 0u);
    EXPECT_EQ(songanalysis_posFromFracbeat(r, kNaN), kNoPos);
    // The stored grid stays what the analysis found.
    std::vector<u32> out(3);
    ASSERT_EQ(songanalysis_getBeats(r, out.data(), 0, 3), 3u);
    EXPECT_EQ(out, (std::vector<u32>{m, ms(r, first + 7), ms(r, first + 50)}));
}

// A fixed tempo on an empty grid has no first entry to count from.
TEST(GridQueries, FixedTempoOnAnEmptyGridGivesTheFailureValues) {
    auto sa = gridRecord({});
    ASSERT_EQ(songanalysis_setFixedBPM(sa.get(), 128.0f), SONGANALYSIS_ERROR_NOERROR);
    const songanalysis_struct *r = sa.get();
    EXPECT_TRUE(std::isnan(songanalysis_fracbeatFromPos(r, 1000)));
    EXPECT_TRUE(std::isnan(songanalysis_fracDownbeatFromPos(r, 1000)));
    EXPECT_EQ(songanalysis_posFromFracbeat(r, 1.0f), kNoPos);
    u32 pos = 5;
    EXPECT_EQ(songanalysis_posFromFracbeat2(r, 1.0f, &pos), SONGANALYSIS_ERROR_OUTOFRANGE);
    EXPECT_EQ(pos, 0u);
    u32 previous = 0, next = 0;
    songanalysis_getSurroundingBeats(r, 1000, &previous, &next);
    EXPECT_EQ(previous, kNone);
    EXPECT_EQ(next, kNone);
    EXPECT_EQ(songanalysis_getBeatIndex(r, 1000), -99);
}

TEST(GridEdits, SetFixedBpmSetsOrClears) {
    struct Case {
        float bpm;
        float expected;
    };
    const Case cases[] = {{120.0f, 120.0f}, {900.0f, 900.0f}, {0.5f, 0.5f}, {0.0f, 0.0f},
                          {901.0f, 0.0f},   {-5.0f, 0.0f},    {kNaN, 0.0f}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bpm);
        auto sa = gridRecord({0, 100});
        ASSERT_EQ(songanalysis_setFixedBPM(sa.get(), 140.0f), SONGANALYSIS_ERROR_NOERROR);
        sa->dirty = 0;
        EXPECT_EQ(songanalysis_setFixedBPM(sa.get(), c.bpm), SONGANALYSIS_ERROR_NOERROR);
        EXPECT_EQ(sa->dirty, 1);
        EXPECT_NEAR(songanalysis_getFixedBPM(sa.get()), c.expected, 1e-3);
        const songanalysis_handle *h = songanalysis_getHandle(sa.get());
        if (c.expected > 0.0f) {
            EXPECT_NEAR(h->fixbeatinv * h->fixbeat, 1.0f, 1e-6);
        } else {
            EXPECT_EQ(h->fixbeatinv, 0.0f);
        }
    }
}

TEST(GridEdits, FixedBpmNeedsAnOpenedRecordWithATempo) {
    EXPECT_EQ(songanalysis_setFixedBPM(nullptr, 120.0f), SONGANALYSIS_ERROR_ERROR);
    EXPECT_EQ(songanalysis_getFixedBPM(nullptr), -1.0f);
    auto closed = makeRecord();
    closed->beatsPerMinute = 120.0f;
    EXPECT_EQ(songanalysis_setFixedBPM(closed.get(), 120.0f), SONGANALYSIS_ERROR_NOTOPENED);
    EXPECT_EQ(songanalysis_getFixedBPM(closed.get()), -1.0f);
    EXPECT_EQ(closed->dirty, 0);
    auto noTempo = gridRecord({0, 100}, {}, 0.0f);
    EXPECT_EQ(songanalysis_setFixedBPM(noTempo.get(), 120.0f), SONGANALYSIS_ERROR_NOTOPENED);
    EXPECT_EQ(songanalysis_getFixedBPM(noTempo.get()), -1.0f);
    songanalysis_struct copy = *gridRecord({0, 100});
    EXPECT_EQ(songanalysis_setFixedBPM(&copy, 120.0f), SONGANALYSIS_ERROR_NOTOPENED);
}

TEST(GridEdits, AddBeatKeepsTheGridAscending) {
    struct Case {
        const char *name;
        std::vector<u32> grid;
        u32 frame;
        std::vector<u32> expected;
    };
    const Case cases[] = {
        {"between", {0, 100, 200}, 150, {0, 100, 150, 200}},
        {"on a beat goes after it", {0, 100, 200}, 100, {0, 100, 100, 200}},
        {"before all", {10, 100}, 5, {5, 10, 100}},
        {"after all", {10, 100}, 300, {10, 100, 300}},
        {"into an empty grid", {}, 42, {42}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto sa = gridRecord(c.grid);
        EXPECT_EQ(songanalysis_addBeat(sa.get(), ms(sa.get(), c.frame)), SONGANALYSIS_ERROR_NOERROR);
        EXPECT_EQ(beatFrames(sa.get()), c.expected);
    }
}

TEST(GridEdits, AddBeatToAFullGridChangesNothing) {
    std::vector<u32> full(SONGANALYSIS_MAX_BEATS);
    for (u32 i = 0; i < full.size(); ++i) full[i] = 10 * i;
    auto sa = gridRecord(full);
    EXPECT_EQ(songanalysis_addBeat(sa.get(), ms(sa.get(), 15)), SONGANALYSIS_ERROR_OUTOFMEMORY);
    EXPECT_EQ(beatFrames(sa.get()), full);
    songanalysis_removeBeat(sa.get(), ms(sa.get(), 10));
    EXPECT_EQ(songanalysis_addBeat(sa.get(), ms(sa.get(), 15)), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(songanalysis_getNumberOfBeats(sa.get()), SONGANALYSIS_MAX_BEATS);
}

TEST(GridEdits, RemoveBeatTakesTheFirstOnItsFrame) {
    struct Case {
        const char *name;
        std::vector<u32> grid;
        u32 frame;
        std::vector<u32> expected;
    };
    const Case cases[] = {
        {"present", {0, 100, 200}, 100, {0, 200}},
        {"absent", {0, 100, 200}, 150, {0, 100, 200}},
        {"one of two on a frame", {0, 100, 100, 200}, 100, {0, 100, 200}},
        {"the last", {0, 100}, 100, {0}},
        {"from an empty grid", {}, 100, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto sa = gridRecord(c.grid);
        EXPECT_EQ(songanalysis_removeBeat(sa.get(), ms(sa.get(), c.frame)), SONGANALYSIS_ERROR_NOERROR);
        EXPECT_EQ(beatFrames(sa.get()), c.expected);
    }
}

TEST(GridEdits, SetBeatsStoresFramesAndStillSaysNotSupported) {
    auto sa = gridRecord({1, 2, 3}, {1});
    const u32 given[] = {ms(sa.get(), 10), ms(sa.get(), 20), ms(sa.get(), 35)};
    EXPECT_EQ(songanalysis_setBeats(sa.get(), given, 3), SONGANALYSIS_ERROR_NOTSUPPORTED);
    EXPECT_EQ(beatFrames(sa.get()), (std::vector<u32>{10, 20, 35}));
    EXPECT_EQ(songanalysis_setDownbeats(sa.get(), given, 2), SONGANALYSIS_ERROR_NOTSUPPORTED);
    EXPECT_EQ(downbeatFrames(sa.get()), (std::vector<u32>{10, 20}));
    EXPECT_EQ(songanalysis_setBeats(sa.get(), given, 0), SONGANALYSIS_ERROR_NOTSUPPORTED);
    EXPECT_EQ(songanalysis_getNumberOfBeats(sa.get()), 0u);

    // More than a grid holds: the first ones, up to its capacity.
    std::vector<u32> many(SONGANALYSIS_MAX_BEATS + 100);
    for (u32 i = 0; i < many.size(); ++i) many[i] = i;
    songanalysis_setBeats(sa.get(), many.data(), static_cast<u32>(many.size()));
    EXPECT_EQ(songanalysis_getNumberOfBeats(sa.get()), SONGANALYSIS_MAX_BEATS);
    songanalysis_setDownbeats(sa.get(), many.data(), static_cast<u32>(many.size()));
    EXPECT_EQ(songanalysis_getNumberOfDownbeats(sa.get()), SONGANALYSIS_MAX_DOWNBEATS);
}

// Beats every 100 frames from 100 to 1000, downbeats every 400 from 100.
TEST(GridEdits, AlignMovesBothGridsOntoThePosition) {
    struct Case {
        const char *name;
        u32 frame;
        songanalysis_error error;
        s32 shift;
    };
    const Case cases[] = {
        {"forward to the nearest beat", 130, SONGANALYSIS_ERROR_NOERROR, 30},
        // The ms difference rounded to the nearest frame in both directions: -19.98 gives -20.
        {"back to the nearest beat", 180, SONGANALYSIS_ERROR_NOERROR, -20},
        {"already on a beat", 300, SONGANALYSIS_ERROR_NOERROR, 0},
        {"the last beat has no successor", 960, SONGANALYSIS_ERROR_OUTOFRANGE, 0},
        {"before the first beat", 50, SONGANALYSIS_ERROR_OUTOFRANGE, 0},
    };
    std::vector<u32> beats, downbeats;
    for (u32 f = 100; f <= 1000; f += 100) beats.push_back(f);
    for (u32 f = 100; f <= 1000; f += 400) downbeats.push_back(f);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto sa = gridRecord(beats, downbeats);
        EXPECT_EQ(songanalysis_alignBeats(sa.get(), ms(sa.get(), c.frame)), c.error);
        EXPECT_EQ(sa->dirty, 1);
        std::vector<u32> b = beats, d = downbeats;
        for (u32 &f : b) f += c.shift;
        for (u32 &f : d) f += c.shift;
        EXPECT_EQ(beatFrames(sa.get()), b);
        EXPECT_EQ(downbeatFrames(sa.get()), d);
    }
}

// Moving forward past the song's end takes the next beat instead, which moves the grid back.
TEST(GridEdits, AlignNearTheSongsEndTakesTheNextBeat) {
    std::vector<u32> beats;
    for (u32 f = 100; f <= 1000; f += 100) beats.push_back(f);
    const u32 lengthMs = static_cast<u32>(1010 * 1000.0 * kFrame / kRate);
    auto sa = gridRecord(beats, {100, 500}, 120.0f, lengthMs);
    EXPECT_EQ(songanalysis_alignBeats(sa.get(), ms(sa.get(), 130)), SONGANALYSIS_ERROR_NOERROR);
    std::vector<u32> expected = beats;
    for (u32 &f : expected) f -= 70; // -69.98 frames, rounded to the nearest frame
    EXPECT_EQ(beatFrames(sa.get()), expected);
    EXPECT_EQ(downbeatFrames(sa.get()), (std::vector<u32>{30, 430}));
}

// Frames are unsigned: a shift that would take an entry before the song's start is refused
// and changes nothing.
TEST(GridEdits, AlignThatWouldLeaveTheSongsStartIsRefused) {
    auto sa = gridRecord({100, 200, 300, 400}, {10, 410});
    EXPECT_EQ(songanalysis_alignBeats(sa.get(), ms(sa.get(), 180)), SONGANALYSIS_ERROR_OUTOFRANGE);
    EXPECT_EQ(beatFrames(sa.get()), (std::vector<u32>{100, 200, 300, 400}));
    EXPECT_EQ(downbeatFrames(sa.get()), (std::vector<u32>{10, 410}));
    EXPECT_EQ(sa->dirty, 0);
}

TEST(GridEdits, HashAndItsLetters) {
    struct Case {
        const char *text;
        u32 hash;
        const char *letters;
    };
    const Case cases[] = {
        {"", 0, "hgfedcba"},
        {"a", 97, "imfedcba"},
        {"abc", 136518, "nkkffcba"},
        {"The quick brown fox jumps over the lazy dog", 2086193325u, "uqnqlhnh"},
        {"\xff\xfe", 9689, "qtkgdcba"}, // bytes count as unsigned
    };
    for (const Case &c : cases) {
        char out[9];
        std::memset(out, '#', sizeof out);
        EXPECT_EQ(songanalysis_hash(c.text, out), c.hash) << c.text;
        EXPECT_EQ(std::string(out, 8), c.letters) << c.text;
        EXPECT_EQ(out[8], '#'); // no terminating NUL
    }
}

} // namespace
