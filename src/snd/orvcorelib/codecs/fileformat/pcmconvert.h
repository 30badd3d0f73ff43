// Converters from stored PCM sample formats to 16-bit samples. Each converts count samples
// from in to out and returns the input bytes it consumed. 24-bit samples keep their two high
// bytes (truncated, never rounded or dithered).
#pragma once

#include "orvsys/orvint.h"

using pcm_converter = u32 (*)(const u8 *in, audio16 *out, u32 count);

u32 pcm_16to16(const u8 *in, audio16 *out, u32 count);           // 16-bit little-endian
u32 pcm_16to16_bigendian(const u8 *in, audio16 *out, u32 count); // 16-bit big-endian
u32 pcm_24to16(const u8 *in, audio16 *out, u32 count);           // 24-bit little-endian
u32 pcm_24to16_bigendian(const u8 *in, audio16 *out, u32 count); // 24-bit big-endian
u32 pcm_8to16(const u8 *in, audio16 *out, u32 count);            // 8-bit signed, times 256
u32 pcm_8to16_unsigned(const u8 *in, audio16 *out, u32 count);   // 8-bit with 128 as silence (WAV)
