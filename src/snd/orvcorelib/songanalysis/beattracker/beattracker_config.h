// Constants of the beat tracker that follow from the analysis frame rate of the build.
// Intervals and lags are counted in analysis frames; both builds cover about 60 to 185 BPM.
#pragma once

#include "orvsys/orvconfig.h"
#include "orvsys/orvint.h"

#include <array>
#include <cstddef>

namespace btk {

// Default tempo search bounds (shortest and longest beat interval).
inline constexpr float kDefaultLowerBI = orv::kDeviceConfig ? 14.0f : 56.0f;
inline constexpr float kDefaultUpperBI = orv::kDeviceConfig ? 43.0f : 172.0f;
inline constexpr float kDefaultThreshould = 0.45f;

// Tempo in BPM = kTempoNumerator / (kFrameLength * interval), the interval in frames.
inline constexpr float kTempoNumerator = 60.0f * static_cast<float>(orv::kAnalysisSampleRate);
inline constexpr float kFrameLength = static_cast<float>(orv::kAnalysisFrameSize);

// Frames without an onset peak after which the agents start over. Counted in frames, not in
// beats, so it spans about 2.3 s on the desktop and 9.3 s on the device.
inline constexpr u32 kSilenceFrames = 400;
// An agent ignores a peak more than this many of its intervals after its last beat.
inline constexpr float kLostBeats = 10.0f;

// Lags of the autocorrelation: the first accumulated, reinforced and weighted lag, and the
// last reinforced and weighted one. Peaks are searched strictly between them.
inline constexpr s32 kLagMin = orv::kDeviceConfig ? 13 : 55;
inline constexpr s32 kLagMax = orv::kDeviceConfig ? 43 : 172;

// Tempo preference by lag, for lags kLagMin..kLagMax: it favours intervals near 120 BPM.
inline constexpr std::array<float, 31> kRayleighDevice = {
    0.47175f, 0.47602f, 0.47962f, 0.48262f, 0.48504f, 0.48693f, 0.48831f, 0.48921f,
    0.48966f, 0.48968f, 0.48928f, 0.48848f, 0.48731f, 0.48578f, 0.48389f, 0.48168f,
    0.47914f, 0.47630f, 0.47317f, 0.46976f, 0.46608f, 0.46214f, 0.45797f, 0.45356f,
    0.44892f, 0.44408f, 0.43904f, 0.43382f, 0.42842f, 0.42285f, 0.41713f};

inline constexpr std::array<float, 118> kRayleighDesktop = {
    0.36000f, 0.36075f, 0.36148f, 0.36218f, 0.36285f, 0.36349f, 0.36410f, 0.36468f, 0.36523f, 0.36576f,
    0.36625f, 0.36673f, 0.36717f, 0.36759f, 0.36799f, 0.36836f, 0.36870f, 0.36902f, 0.36932f, 0.36959f,
    0.36984f, 0.37007f, 0.37027f, 0.37046f, 0.37062f, 0.37075f, 0.37087f, 0.37097f, 0.37104f, 0.37109f,
    0.37113f, 0.37114f, 0.37113f, 0.37110f, 0.37106f, 0.37099f, 0.37091f, 0.37080f, 0.37068f, 0.37054f,
    0.37038f, 0.37020f, 0.37000f, 0.36979f, 0.36956f, 0.36931f, 0.36905f, 0.36876f, 0.36846f, 0.36815f,
    0.36782f, 0.36747f, 0.36710f, 0.36672f, 0.36633f, 0.36591f, 0.36549f, 0.36504f, 0.36459f, 0.36411f,
    0.36363f, 0.36312f, 0.36261f, 0.36208f, 0.36153f, 0.36097f, 0.36040f, 0.35981f, 0.35921f, 0.35860f,
    0.35797f, 0.35733f, 0.35668f, 0.35601f, 0.35533f, 0.35464f, 0.35394f, 0.35322f, 0.35249f, 0.35176f,
    0.35100f, 0.35024f, 0.34947f, 0.34868f, 0.34788f, 0.34707f, 0.34625f, 0.34542f, 0.34458f, 0.34373f,
    0.34287f, 0.34200f, 0.34111f, 0.34022f, 0.33932f, 0.33841f, 0.33748f, 0.33655f, 0.33561f, 0.33466f,
    0.33370f, 0.33273f, 0.33176f, 0.33077f, 0.32978f, 0.32877f, 0.32776f, 0.32674f, 0.32571f, 0.32468f,
    0.32364f, 0.32258f, 0.32153f, 0.32046f, 0.31939f, 0.31831f, 0.31722f, 0.31612f};

static_assert(kRayleighDevice.size() == 43 - 13 + 1);
static_assert(kRayleighDesktop.size() == 172 - 55 + 1);

// The weight table of this build, indexed by lag; lags outside kLagMin..kLagMax weigh 0 and
// are never read.
inline constexpr std::array<float, 512> rayleigh = [] {
    std::array<float, 512> table{};
    if constexpr (orv::kDeviceConfig) {
        for (std::size_t i = 0; i < kRayleighDevice.size(); ++i) table[kLagMin + i] = kRayleighDevice[i];
    } else {
        for (std::size_t i = 0; i < kRayleighDesktop.size(); ++i) table[kLagMin + i] = kRayleighDesktop[i];
    }
    return table;
}();

} // namespace btk
