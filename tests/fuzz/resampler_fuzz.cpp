// Drives one resampler through an arbitrary sequence of calls: any method and channel count,
// buffer sizes, delays, positions, rates, bounds and read sizes. Every read must stay inside
// the buffer and every output frame it does not produce must be silence.
#include "resampler/resampler.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

class Bytes {
  public:
    Bytes(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    uint32_t u8() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t u16() { return u8() | (u8() << 8); }
    uint32_t u32() { return u16() | (u16() << 16); }

  private:
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};

void checkRead(resampler_struct *r, Bytes &in, std::vector<audio16> &out) {
    const s32 n = static_cast<s32>(in.u16() % 3000);
    out.assign(static_cast<size_t>(n) * r->numChannels + 1, 0x5555);
    const s32 produced = resampler_readInp(r, out.data(), n);
    if (produced < 0 || produced > n) std::abort();
    for (size_t i = static_cast<size_t>(produced) * r->numChannels;
         i < static_cast<size_t>(n) * r->numChannels; ++i)
        if (out[i] != 0) std::abort();
    if (out.back() != 0x5555) std::abort(); // nothing written past the block
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Bytes in(data, size);
    const u32 channels = 1 + in.u8() % 2;
    const auto method = static_cast<resampler_method>(in.u8() % 7);
    resampler_struct *r = resampler_new(channels, method, static_cast<u8>(in.u8() & 1), 4, in.u8() % 20, 0);
    if (!r) return 0;
    std::vector<audio16> buffer;
    std::vector<audio16> out;
    std::vector<audio16> block;
    while (!in.empty()) {
        switch (in.u8() % 12) {
        case 0: {
            const u32 frames = in.u16() % 600;
            const s32 delay = static_cast<s32>(in.u16()) - 0x8000;
            const s32 delayN = static_cast<s32>(in.u16()) - 0x8000;
            if (in.u8() & 1) {
                buffer.assign(static_cast<size_t>(frames) * channels, 0);
                resampler_setBuffer(r, delay, delayN, frames ? buffer.data() : nullptr, frames);
            } else {
                resampler_setBuffer(r, delay, delayN, nullptr, frames);
            }
            break;
        }
        case 1: {
            const u32 frames = in.u16() % 1500;
            block.assign(static_cast<size_t>(frames) * channels, static_cast<audio16>(in.u16()));
            resampler_write(r, block.data(), frames);
            break;
        }
        case 2:
            resampler_setRateInp(r, static_cast<s32>(in.u32()));
            break;
        case 3:
            resampler_setFractionalOffsetInp(r, in.u32());
            break;
        case 4:
            resampler_setOffsetInp(r, in.u32());
            break;
        case 5:
            resampler_setDelayInp(r, static_cast<s32>(in.u32()));
            break;
        case 6:
            resampler_setBoundsInp(r, static_cast<s32>(in.u16()) - 2, static_cast<s32>(in.u16()) - 2);
            break;
        case 7:
            resampler_getNumSamplesForRead(r, static_cast<s32>(in.u32()), static_cast<s32>(in.u32()));
            break;
        case 8:
        case 9:
            checkRead(r, in, out);
            break;
        case 10: {
            const s32 n = static_cast<s32>(in.u16() % 600);
            const s32 overlap = static_cast<s32>(in.u16() % 700);
            out.assign(static_cast<size_t>(n) * channels + 1, 0);
            resampler_readNInp(r, out.data(), n, overlap);
            break;
        }
        case 11:
            resampler_setDelayNInp(r, static_cast<s32>(in.u32()));
            resampler_enableInterpolation(r, static_cast<u8>(in.u8() & 1));
            break;
        }
    }
    resampler_destroy(r);
    return 0;
}
