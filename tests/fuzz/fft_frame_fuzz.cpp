// Drives an overlap-add frame with arbitrary sizes, window types, hops, samples and spectra:
// the transforms must stay free of overflow and out-of-bounds access for any 16-bit data,
// and the history ring must keep its write position inside the mirrored range.
//
// Input: byte 0 picks the size (2^(b % 13)), byte 1 the window type; then operations, each a
// control byte followed by its data: 0 sets the hops (2 bytes, little-endian), 1 analyses a
// hop of samples, 2 synthesises a spectrum of fftSize values, 3 runs the inverse and forward
// transforms over fftSize values.
#include "fft/fftr1dola.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

class Reader {
  public:
    Reader(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    bool has(size_t count) const { return size_ - pos_ >= count; }
    uint8_t byte() { return data_[pos_++]; }
    // count 16-bit little-endian values; false when the input runs out.
    bool values(std::vector<audio_t> &out, size_t count) {
        if (!has(2 * count)) return false;
        out.resize(count);
        for (size_t i = 0; i < count; ++i) {
            out[i] = static_cast<audio_t>(data_[pos_] | (data_[pos_ + 1] << 8));
            pos_ += 2;
        }
        return true;
    }

  private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

// The device configuration announces every transform on standard output.
void silenceStdout() {
    static const bool done = [] {
        const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (devNull >= 0) dup2(devNull, STDOUT_FILENO);
        return true;
    }();
    (void)done;
}

void check(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    silenceStdout();
    Reader in(data, size);
    if (!in.has(2)) return 0;
    const u32 n = 1u << (in.byte() % 13);
    const auto type = static_cast<fftr1dola_windowtype>(in.byte());
    fftr1dola_struct *frame = fftr1dola_new(n, type);
    check(frame != nullptr);
    std::vector<audio_t> values;
    std::vector<audio_t> out(n);
    for (int op = 0; op < 64 && in.has(1); ++op) {
        const uint8_t control = in.byte();
        if (control % 4 == 0) {
            if (!in.has(2)) break;
            const u32 low = in.byte();
            const u32 hop = low | (u32{in.byte()} << 8);
            const bool fits = hop >= 1 && hop <= n;
            check((fftr1dola_setAnalysisHopSize(frame, hop) == 0) == fits);
            check((fftr1dola_setSynthsisHopSize(frame, hop) == 0) == fits);
        } else if (control % 4 == 1) {
            if (!in.values(values, frame->analysisHopSize)) break;
            check(fftr1dola_analysis(frame, values.data(), out.data()) == 1);
            const s32 offset = frame->olaHandle->aOffset;
            check(offset >= static_cast<s32>(n) && offset < static_cast<s32>(2 * n));
        } else if (control % 4 == 2) {
            if (!in.values(values, n)) break;
            check(fftr1dola_synthsis(frame, values.data(), out.data()) == 1);
        } else {
            if (!in.values(values, n)) break;
            fftr1d_process(frame->ffti, values.data());
            fftr1d_process(frame->fftf, values.data());
        }
    }
    fftr1dola_free(frame);
    return 0;
}
