// Drives a sample-rate converter with sizes taken from the input: creation arguments, then
// blocks of (input frames, output capacity), some negative or oversized. Buffers are exactly
// as large as the sizes claim, so any read or write beyond them shows; the converter must
// refuse what does not fit and otherwise give exactly the outputs it predicted.
#include "srconv/srconv.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

constexpr u32 kRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 64000, 88200, 96000};
constexpr size_t kNumRates = sizeof(kRates) / sizeof(kRates[0]);

class Reader {
  public:
    Reader(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    u8 byte() { return at_ < size_ ? data_[at_++] : 0; }
    u16 word() { return static_cast<u16>(byte() | (byte() << 8)); }

  private:
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};

void check(bool ok) {
    if (!ok) std::abort();
}

// Frames the ring can still take: it holds those from the next output's first frame on.
s64 ringFree(const srconv_handle &h) {
    const s64 firstNeeded = s64{h.readOffset >> 12} - ((h.polyphaseFir->numTaps - 1) >> 1);
    const s64 held = s64{h.writOffset} - firstNeeded;
    return s64{h.bufferSize} - (held > 0 ? held : 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Reader r(data, size);
    const u32 inRate = kRates[r.byte() % kNumRates];
    const u32 outRate = kRates[r.byte() % kNumRates];
    const auto quality = static_cast<srconv_quality>(r.byte() % 4);
    const u32 channels = r.byte() % 10;
    const u32 maxBlock = r.word();
    srconv_struct *s = srconv_new(inRate, outRate, channels, maxBlock, quality);
    if (s == nullptr) return 0;

    u16 sample = 1;
    for (int ops = 0; ops < 256 && !r.empty(); ++ops) {
        const s32 inSize = static_cast<s16>(r.word());
        const u32 capacity = r.word() % 4096;
        const bool useTemp = (capacity & 1) != 0;
        const u32 predicted = srconv_getOutSize(s, inSize);

        std::vector<audio16> in(inSize > 0 ? size_t(inSize) * channels : 0);
        for (auto &v : in) v = static_cast<audio16>(sample = static_cast<u16>(sample * 75 + 74));
        const bool fitsTemp = inSize > 0 && u32(inSize) <= s->maxInputBlockSize;
        if (useTemp && fitsTemp)
            for (size_t i = 0; i < in.size(); ++i) s->tempBuffer[i] = in[i];
        const audio16 *pIn = useTemp && fitsTemp ? s->tempBuffer : (in.empty() ? nullptr : in.data());

        std::vector<audio16> out(size_t{capacity} * channels);
        u32 outSize = capacity;
        const srconv_handle before = *s->srconvHandle;
        const srconv_error e = srconv_process(s, pIn, inSize, out.empty() ? nullptr : out.data(), &outSize);
        if (e != SRCONV_ERROR_NOERROR) {
            check(e == SRCONV_ERROR_OVERRUN && outSize == 0);
            check(inSize < 0 || u32(inSize) > s->maxInputBlockSize || s64{inSize} > ringFree(before));
            check(s->srconvHandle->writOffset == before.writOffset);
            check(s->srconvHandle->readOffset == before.readOffset);
            continue;
        }
        check(inSize >= 0 && u32(inSize) <= s->maxInputBlockSize);
        check(outSize == (predicted < capacity ? predicted : capacity));
        check(s->lastError == SRCONV_ERROR_NOERROR);
    }
    srconv_destroy(s);
    return 0;
}
