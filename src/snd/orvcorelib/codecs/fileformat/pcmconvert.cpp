#include "codecs/fileformat/pcmconvert.h"

namespace {

// The high byte carries the sign; the low byte is taken as it stands.
constexpr audio16 fromBytes(u8 high, u8 low) {
    return static_cast<audio16>(static_cast<u16>((high << 8) | low));
}

} // namespace

u32 pcm_16to16(const u8 *in, audio16 *out, u32 count) {
    for (u32 i = 0; i < count; ++i) out[i] = fromBytes(in[2 * i + 1], in[2 * i]);
    return 2 * count;
}

u32 pcm_16to16_bigendian(const u8 *in, audio16 *out, u32 count) {
    for (u32 i = 0; i < count; ++i) out[i] = fromBytes(in[2 * i], in[2 * i + 1]);
    return 2 * count;
}

u32 pcm_24to16(const u8 *in, audio16 *out, u32 count) {
    for (u32 i = 0; i < count; ++i) out[i] = fromBytes(in[3 * i + 2], in[3 * i + 1]);
    return 3 * count;
}

u32 pcm_24to16_bigendian(const u8 *in, audio16 *out, u32 count) {
    for (u32 i = 0; i < count; ++i) out[i] = fromBytes(in[3 * i], in[3 * i + 1]);
    return 3 * count;
}

u32 pcm_8to16(const u8 *in, audio16 *out, u32 count) {
    for (u32 i = 0; i < count; ++i) out[i] = fromBytes(in[i], 0);
    return count;
}

u32 pcm_8to16_unsigned(const u8 *in, audio16 *out, u32 count) {
    for (u32 i = 0; i < count; ++i) out[i] = fromBytes(static_cast<u8>(in[i] ^ 0x80), 0);
    return count;
}
