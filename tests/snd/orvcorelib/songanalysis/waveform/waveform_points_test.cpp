// The waveform point of a frame, its colour, the post-processing after the song and the
// resampling shared by the waveform file and the profile.
#include "songanalysis/songanalysis_waveform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

namespace {

using Point = songanalysis_wfv_struct;

Point point(s8 xp, s8 xn, u8 h, u8 v) {
    return Point{xp, xn, h, v, 0, 0, 0, 0};
}

TEST(WaveformColour, HueAndValueToRgbBySector) {
    struct Case {
        u8 h, v;
        u8 r, g, b;
    };
    const Case cases[] = {
        {0, 255, 255, 0, 0},    // sector 0
        {43, 255, 252, 255, 0}, // sector 1, f = 2
        {85, 255, 0, 255, 0},   // sector 1, f = 254
        {100, 128, 0, 128, 44}, // sector 2
        {150, 200, 0, 96, 200}, // sector 3
        {200, 100, 68, 0, 100}, // sector 4
        {255, 255, 255, 0, 4},  // sector 5, the largest hue
        {30, 0, 0, 0, 0},       // no value, no colour
    };
    for (const Case &c : cases) {
        Point p = point(5, -5, c.h, c.v);
        p.padding = 0;
        ConvHSL2RGB(&p);
        EXPECT_EQ(p.r, c.r) << int{c.h};
        EXPECT_EQ(p.g, c.g) << int{c.h};
        EXPECT_EQ(p.b, c.b) << int{c.h};
        EXPECT_EQ(p.padding, 0xF0);
        EXPECT_EQ(p.xp, 5); // nothing else changes
        EXPECT_EQ(p.h, c.h);
    }
}

// Hue from the spectral centroid: pairs (re, im) at value index k with |re| + |im| above 16
// weigh in with k.
TEST(WaveformFramePoint, HueFollowsTheSpectralCentroid) {
    struct Case {
        const char *name;
        u32 fftSize;
        std::vector<std::pair<u32, s16>> pairs; // value index k, re = im = this value
        bool imaginaryToo;
        u8 hue;
    };
    std::vector<std::pair<u32, s16>> faintHigh{{2, 1000}}, audibleHigh{{2, 1000}}, loudLowHalf;
    for (u32 k = 400; k < 512; k += 2) {
        faintHigh.push_back({k, 16});
        audibleHigh.push_back({k, 17});
    }
    for (u32 k = 0; k < 2048; k += 2) loudLowHalf.push_back({k, 32767});
    const Case cases[] = {
        {"silence", 512, {}, false, 8},
        {"one bin", 512, {{100, 1000}}, false, 69},
        {"bins of magnitude 16 do not count", 512, faintHigh, false, 9},
        {"bins of magnitude 17 count", 512, audibleHigh, false, 184},
        // Sums beyond 32 bits: the true centroid, 63.97 of 128.
        {"loud lower half of a 4096-point spectrum", 4096, loudLowHalf, true, 89},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<audio_t> spectrum(c.fftSize, 0);
        for (const auto &[k, value] : c.pairs) {
            spectrum[k] = value;
            if (c.imaginaryToo) spectrum[k + 1] = value;
        }
        const Point p = songanalysis_framePoint(0, 0, spectrum.data(), c.fftSize);
        EXPECT_EQ(p.h, c.hue);
        EXPECT_EQ(p.v, 255);
        EXPECT_EQ(p.padding, 0xF0);
        EXPECT_EQ(p.r + p.g + p.b, 0);
    }
    // Every value at full scale: the centroid lies above the clamp, the hue stops at 192.
    std::vector<audio_t> full(1024, 32767);
    EXPECT_EQ(songanalysis_framePoint(0, 0, full.data(), 1024).h, 192);
}

TEST(WaveformFramePoint, PeaksAreTheExtremesShiftedBy8) {
    const std::vector<audio_t> spectrum(512, 0);
    struct Case {
        s32 largest, smallest;
        s8 xp, xn;
    };
    const Case cases[] = {
        {32767, -32768, 127, -128}, {255, -1, 0, -1}, {256, -256, 1, -1}, {1000, -257, 3, -2}};
    for (const Case &c : cases) {
        const Point p = songanalysis_framePoint(c.largest, c.smallest, spectrum.data(), 512);
        EXPECT_EQ(p.xp, c.xp) << c.largest;
        EXPECT_EQ(p.xn, c.xn) << c.smallest;
    }
}

// Ten equal points: the peaks scaled by 232000 / largest sample / 8 (saturated), the value
// from the span, every point coloured.
TEST(WaveformPostprocess, NormalisesPeaksAndSetsTheValue) {
    struct Case {
        const char *name;
        s32 largest;
        s8 xp, xn;
        s8 xpOut, xnOut;
        u8 v;
    };
    const Case cases[] = {
        {"scale 8 keeps the peaks, wide span", 29000, 50, -50, 50, -50, 191},
        {"narrow span has the least value", 29000, 10, -10, 10, -10, 63},
        {"middle span", 29000, 30, -30, 30, -30, 91},
        {"quiet song", 1000, 3, 0, 87, 0, 191},
        {"a song of one step saturates instead of wrapping", 1, 0, -1, 0, -128, 191},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Point> points(10, point(c.xp, c.xn, 60, 255));
        songanalysis_postprocessWaveform(points, c.largest, 1);
        for (const Point &p : points) {
            EXPECT_EQ(p.xp, c.xpOut);
            EXPECT_EQ(p.xn, c.xnOut);
            EXPECT_EQ(p.v, c.v);
            EXPECT_EQ(p.h, 60);
            Point coloured = p;
            ConvHSL2RGB(&coloured);
            EXPECT_EQ(std::memcmp(&coloured, &p, sizeof p), 0);
        }
    }
}

TEST(WaveformPostprocess, MedianOfSevenRemovesSpikes) {
    std::vector<Point> points(12, point(40, -40, 50, 0));
    points[4].h = 200; // a lone hue spike
    points[7].xp = 90; // a lone wide frame: its value spike
    points[7].xn = -90;
    songanalysis_postprocessWaveform(points, 29000, 1);
    for (size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(points[i].h, 50) << i;
        EXPECT_EQ(points[i].v, 163) << i; // span 80: 0.8 squared, of 255; the spike's 191 is gone
    }
}

// A rising hue ramp survives the medians; the delay then takes each hue from d points
// later, and the last d + 1 points keep theirs.
TEST(WaveformPostprocess, HueIsDelayedByTheFftReach) {
    for (u32 delay : {0u, 1u, 2u, 4u}) {
        SCOPED_TRACE(delay);
        const size_t n = 20;
        std::vector<Point> points(n);
        for (size_t i = 0; i < n; ++i) points[i] = point(40, -40, static_cast<u8>(10 * i), 255);
        songanalysis_postprocessWaveform(points, 29000, delay);
        for (size_t i = 0; i < n; ++i) {
            const size_t from = i + 2 + delay <= n ? i + delay : i;
            EXPECT_EQ(points[i].h, 10 * from) << i;
            EXPECT_EQ(points[i].padding, 0xF0);
        }
    }
}

TEST(WaveformPostprocess, TooFewPointsOrNoSoundLeaveThePointsAlone) {
    const std::vector<Point> raw(3, point(1, -1, 70, 255));
    std::vector<Point> points = raw;
    songanalysis_postprocessWaveform(points, 1000, 2); // needs more than 3
    EXPECT_EQ(std::memcmp(points.data(), raw.data(), sizeof(Point) * raw.size()), 0);
    songanalysis_postprocessWaveform(points, 0, 0); // no sample above 0
    EXPECT_EQ(std::memcmp(points.data(), raw.data(), sizeof(Point) * raw.size()), 0);
    songanalysis_postprocessWaveform(std::span<Point>(), 1000, 0);
}

TEST(WaveformResample, InterpolatesBelowOnePointAStep) {
    const std::vector<Point> in = {point(1, -1, 10, 0), point(2, -2, 20, 100), point(3, -3, 30, 200)};
    std::vector<Point> out(10);
    float p = 0.0f;
    ASSERT_EQ(songanalysis_resamplePoints(in, 0.5f, 128, &p, out), 4u);
    const u8 v[] = {0, 50, 100, 150};
    const u8 h[] = {10, 15, 20, 25};
    const s8 xp[] = {1, 2, 2, 3}; // from the nearest point
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(out[i].v, v[i]) << i;
        EXPECT_EQ(out[i].h, h[i]) << i;
        EXPECT_EQ(out[i].xp, xp[i]) << i;
        EXPECT_EQ(out[i].xn, -xp[i]) << i;
        EXPECT_EQ(out[i].padding, 0xF0);
    }
    EXPECT_EQ(p, 2.0f);
}

TEST(WaveformResample, AveragesWholePointsAtLargerSteps) {
    const std::vector<Point> in = {point(-3, -3, 10, 10), point(-2, -2, 21, 21), point(10, -9, 30, 30),
                                   point(20, -20, 40, 41), point(0, 0, 0, 0)};
    std::vector<Point> out(10);
    float p = 0.0f;
    ASSERT_EQ(songanalysis_resamplePoints(in, 2.0f, 128, &p, out), 2u);
    EXPECT_EQ(out[0].xp, -2); // -5 / 2 toward zero
    EXPECT_EQ(out[0].h, 15);
    EXPECT_EQ(out[1].xp, 15);
    EXPECT_EQ(out[1].xn, -14);
    EXPECT_EQ(out[1].v, 35);
}

TEST(WaveformResample, ScalesPeaksWithSaturation) {
    struct Case {
        s8 xp;
        u32 scale;
        s8 out;
    };
    const Case cases[] = {{100, 127, 99},    {-100, 127, -99}, {100, 300, 127},
                          {-100, 300, -128}, {100, 0, 0},      {-1, 127, 0}};
    for (const Case &c : cases) {
        const std::vector<Point> in(3, point(c.xp, c.xp, 0, 0));
        Point out[1];
        float p = 0.0f;
        ASSERT_EQ(songanalysis_resamplePoints(in, 2.0f, c.scale, &p, out), 1u);
        EXPECT_EQ(out[0].xp, c.out) << int{c.xp} << " x " << c.scale;
        EXPECT_EQ(out[0].xn, c.out);
    }
}

// The position carries over: two calls with little room give what one call gives.
TEST(WaveformResample, PositionCarriesAcrossCalls) {
    std::vector<Point> in(50);
    for (size_t i = 0; i < in.size(); ++i) in[i] = point(static_cast<s8>(i), 0, static_cast<u8>(3 * i), 200);
    for (float step : {0.3f, 1.7f}) {
        std::vector<Point> whole(400), parts(400);
        float p = 0.0f;
        const u32 n = songanalysis_resamplePoints(in, step, 128, &p, whole);
        float q = 0.0f;
        u32 m = 0;
        for (u32 got = 1; got > 0; m += got)
            got = songanalysis_resamplePoints(in, step, 128, &q, std::span<Point>(parts).subspan(m, 7));
        EXPECT_EQ(m, n) << step;
        EXPECT_EQ(std::memcmp(whole.data(), parts.data(), sizeof(Point) * n), 0) << step;
    }
    Point none[4];
    float p = 0.0f;
    EXPECT_EQ(songanalysis_resamplePoints(std::span<const Point>(), 0.5f, 128, &p, none), 0u);
    EXPECT_EQ(songanalysis_resamplePoints(std::span<const Point>(), 2.0f, 128, &p, none), 0u);
}

} // namespace
