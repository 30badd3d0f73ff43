// The waveform point of each frame, its post-processing after the song, and the resampling
// shared by the waveform file and the profile.
#include "songanalysis/songanalysis_waveform.h"

#include "orvsys/debugmsg.h"
#include "orvsys/orvfixed.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace {

// Bins quieter than this do not count toward the centroid.
constexpr s32 kCentroidFloor = 16;
constexpr s64 kMaxCentroid = 128;
constexpr s32 kMaxHue = 192;
// Peaks are normalised so that the loudest sample of the song reaches 232000 / 8 / 256 = 113.
constexpr s32 kNormalisation = 232000;

s8 saturate8(s64 v) {
    return static_cast<s8>(std::clamp<s64>(v, -128, 127));
}

u8 hueOfCentroid(const audio_t *spectrum, u32 fftSize) {
    // 64-bit sums: a loud frame of a large FFT exceeds 32 bits in the weighted sum.
    s64 total = 0;
    s64 weighted = 0;
    for (u32 k = 0; k + 1 < fftSize; k += 2) {
        const s32 m = std::abs(s32{spectrum[k]}) + std::abs(s32{spectrum[k + 1]});
        if (m <= kCentroidFloor) continue;
        total += m;
        weighted += s64{m} * k;
    }
    const s64 divisor = (total * (s64{fftSize} - 2)) >> 8;
    if (divisor != 0) weighted /= divisor;
    const s64 c = std::clamp<s64>(weighted, 0, kMaxCentroid);
    const s32 hue = static_cast<s32>(std::exp(static_cast<float>(c) * 0.0078125f) * 128.0f - 128.0f + 8.0f);
    return static_cast<u8>(std::clamp(hue, 0, kMaxHue));
}

template <typename T>
T medianOf(std::array<T, 7> window) {
    std::nth_element(window.begin(), window.begin() + 3, window.end());
    return window[3];
}

u8 medianOf3(u8 a, u8 b, u8 c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// In place and in order, so each window already holds the filtered values to its left.
void medianOfSeven(std::span<songanalysis_wfv_struct> points, u8 songanalysis_wfv_struct::*field) {
    const size_t n = points.size();
    if (n < 7) return;
    for (size_t i = 3; i + 3 < n; ++i) {
        std::array<u8, 7> window{};
        for (size_t j = 0; j < 7; ++j) window[j] = points[i - 3 + j].*field;
        points[i].*field = medianOf(window);
    }
}

void normalise(std::span<songanalysis_wfv_struct> points, s32 largestSample) {
    const s32 scale = kNormalisation / largestSample;
    for (songanalysis_wfv_struct &pt : points) {
        // A quiet song has a large scale: saturate rather than wrap.
        pt.xp = saturate8((s64{pt.xp} * scale) >> 3);
        pt.xn = saturate8((s64{pt.xn} * scale) >> 3);
        const float s = static_cast<float>(s32{pt.xp} - s32{pt.xn}) * 0.01f;
        pt.v = static_cast<u8>(std::min(std::max(s * s, 0.25f), 0.75f) * 255.0f);
        pt.padding = SONGANALYSIS_WFV_PADDING;
    }
}

// The hue follows the spectrum of frames `delay` later: the FFT frame reaches further into
// the song than the frame's own samples.
void delayHueAndColour(std::span<songanalysis_wfv_struct> points, u32 delay) {
    const s64 n = static_cast<s64>(points.size());
    const s64 d = delay;
    auto hueAt = [&](s64 i) { return points[static_cast<size_t>(std::clamp<s64>(i, 0, n - 1))].h; };
    for (s64 i = 0; i <= n - d - 2; ++i) {
        songanalysis_wfv_struct &pt = points[static_cast<size_t>(i)];
        pt.h = medianOf3(hueAt(i + d - 1), hueAt(i + d), hueAt(i + d + 1));
        ConvHSL2RGB(&pt);
    }
    for (s64 i = std::max<s64>(n - d - 1, 0); i < n; ++i) ConvHSL2RGB(&points[static_cast<size_t>(i)]);
}

songanalysis_wfv_struct interpolated(std::span<const songanalysis_wfv_struct> in, float p) {
    const s32 i = static_cast<s32>(p);
    const float w = p - static_cast<float>(i);
    const songanalysis_wfv_struct &a = in[static_cast<size_t>(i)];
    const songanalysis_wfv_struct &b = in[static_cast<size_t>(i) + 1];
    const songanalysis_wfv_struct &nearest = in[static_cast<size_t>(static_cast<s32>(p + 0.5f))];
    songanalysis_wfv_struct out{};
    out.v = static_cast<u8>(static_cast<s32>(a.v * (1.0f - w) + b.v * w));
    out.h = static_cast<u8>(static_cast<s32>(a.h * (1.0f - w) + b.h * w));
    out.xp = nearest.xp;
    out.xn = nearest.xn;
    return out;
}

songanalysis_wfv_struct averaged(std::span<const songanalysis_wfv_struct> in, float p, s32 count) {
    const size_t first = static_cast<size_t>(p);
    const size_t last = std::min(first + static_cast<size_t>(count), in.size());
    s32 v = 0, h = 0, xp = 0, xn = 0;
    for (size_t j = first; j < last; ++j) {
        v += in[j].v;
        h += in[j].h;
        xp += in[j].xp;
        xn += in[j].xn;
    }
    songanalysis_wfv_struct out{};
    out.v = static_cast<u8>(v / count);
    out.h = static_cast<u8>(h / count);
    out.xp = static_cast<s8>(xp / count);
    out.xn = static_cast<s8>(xn / count);
    return out;
}

} // namespace

void ConvHSL2RGB(songanalysis_wfv_struct *point) {
    const s32 v = point->v;
    const s32 x = s32{point->h} * 6;
    const s32 sector = x >> 8;
    const s32 f = x & 255;
    const u8 t = static_cast<u8>((f * v) >> 8);
    const u8 q = static_cast<u8>(((255 - f) * v) >> 8);
    const u8 full = static_cast<u8>(v);
    struct Rgb {
        u8 r, g, b;
    };
    Rgb c{0, 0, 0};
    switch (sector) {
    case 0:
    case 6:
        c = {full, t, 0};
        break;
    case 1:
        c = {q, full, 0};
        break;
    case 2:
        c = {0, full, t};
        break;
    case 3:
        c = {0, q, full};
        break;
    case 4:
        c = {t, 0, full};
        break;
    case 5:
        c = {full, 0, q};
        break;
    default:
        debugmsg("ConvHSL2RGB: Error\n");
        break;
    }
    point->r = c.r;
    point->g = c.g;
    point->b = c.b;
    point->padding = SONGANALYSIS_WFV_PADDING;
}

songanalysis_wfv_struct songanalysis_framePoint(s32 largest, s32 smallest, const audio_t *spectrum,
                                                u32 fftSize) {
    songanalysis_wfv_struct pt{};
    pt.xp = saturate8(orv::asr32(largest, 8));
    pt.xn = saturate8(orv::asr32(smallest, 8));
    pt.h = hueOfCentroid(spectrum, fftSize);
    pt.v = 255;
    pt.padding = SONGANALYSIS_WFV_PADDING;
    return pt;
}

void songanalysis_postprocessWaveform(std::span<songanalysis_wfv_struct> points, s32 largestSample,
                                      u32 delay) {
    if (largestSample <= 0 || points.size() <= size_t{delay} + 1) return;
    normalise(points, largestSample);
    medianOfSeven(points, &songanalysis_wfv_struct::h);
    medianOfSeven(points, &songanalysis_wfv_struct::v);
    delayHueAndColour(points, delay);
}

u32 songanalysis_resamplePoints(std::span<const songanalysis_wfv_struct> in, float step, u32 scale, float *p,
                                std::span<songanalysis_wfv_struct> out) {
    const s32 n = static_cast<s32>(std::min<size_t>(in.size(), 0x7FFFFFFF));
    u32 produced = 0;
    while (produced < out.size()) {
        songanalysis_wfv_struct pt{};
        if (step < 1.0f) {
            if (!(*p < static_cast<float>(n - 1))) break;
            pt = interpolated(in, *p);
        } else {
            if (!(static_cast<float>(orv::truncSat32(static_cast<float>(n) - step)) > *p)) break;
            pt = averaged(in, *p, orv::truncSat32(step));
        }
        pt.xp = saturate8(s64{pt.xp} * scale / 128);
        pt.xn = saturate8(s64{pt.xn} * scale / 128);
        ConvHSL2RGB(&pt);
        out[produced++] = pt;
        *p += step;
    }
    return produced;
}
