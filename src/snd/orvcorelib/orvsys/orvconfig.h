// The core library's two configurations. Exactly one of ORV_CONFIG_DEVICE and
// ORV_CONFIG_DESKTOP is defined by the build; everything that differs between the
// unit and desktop computers reads these constants and nothing else.
#pragma once

#include "orvsys/orvint.h"

#if defined(ORV_CONFIG_DEVICE) == defined(ORV_CONFIG_DESKTOP)
#error "build the core library with exactly one of ORV_CONFIG_DEVICE and ORV_CONFIG_DESKTOP"
#endif

namespace orv {

enum class Config { device, desktop };

#if defined(ORV_CONFIG_DEVICE)
inline constexpr Config kConfig = Config::device;
#else
inline constexpr Config kConfig = Config::desktop;
#endif

inline constexpr bool kDeviceConfig = kConfig == Config::device;
inline constexpr bool kDesktopConfig = kConfig == Config::desktop;

// The analysis runs on mono frames at this rate and size; tempo in BPM is
// 60 * rate / (interval * frame size) with the interval in frames.
inline constexpr u32 kAnalysisSampleRate = kDeviceConfig ? 11025 : 22050;
inline constexpr u32 kAnalysisFrameSize = kDeviceConfig ? 256 : 128;

// Both configurations produce results of the same analysis version.
inline constexpr u32 kAnalysisVersion = 0x03010500;

inline constexpr const char *kConfigName = kDeviceConfig ? "device" : "desktop";

} // namespace orv
