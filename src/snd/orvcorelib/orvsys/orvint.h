// Fixed-width integers and sample formats shared by every part of the system.
#pragma once

#include <cstdint>

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;
using s8 = std::int8_t;
using s16 = std::int16_t;
using s32 = std::int32_t;
using s64 = std::int64_t;

// 8-bit PCM sample.
using audio8 = s8;
// 16-bit PCM sample, full scale +-32768.
using audio16 = s16;
// A 24-bit sample in the low bits of a 32-bit word (a 16-bit sample enters as value * 256):
// the processing format of gain, equalizers, biquads and effects. It wraps; nothing guards it.
using audio24 = s32;
// The sample type of the FFT and the song analysis.
using audio_t = audio16;
// Q12.20 fixed point: 1.0 = 0x100000, range +-2048 (turntable model, speeds).
using fractional_t = s32;
using frac_t = s32;

inline constexpr frac_t FRAC_ONE = 0x100000;
