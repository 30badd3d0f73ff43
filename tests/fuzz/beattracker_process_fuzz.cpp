// A whole song through the beat tracker: the frame process with taps and tap resets between
// frames, then the offline finish with anchors and a fixed grid taken from the input (as the
// command line would give them): no undefined behaviour, no read outside a buffer, no hang.
//
// Input: a 12-byte header (FFT size, user-input mode and fixed grid; expected length; peak
// threshold; user interval; tempo bounds; frames to run; how often to tap; anchor count),
// up to 8 anchors of 4 bytes, then one loudness byte per frame, repeated over the song.
#include "songanalysis/beattracker/beattracker.h"
#include "songanalysis/beattracker/beattracker_testing.h"

#include "orvsys/lebytes.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

constexpr u32 kFftSizes[4] = {BEATTRACKER_MIN_FFT_SIZE, 256, 512, 1024};
constexpr size_t kHeader = 12;

struct TrackerDeleter {
    void operator()(beattracker_struct *bt) const {
        beattracker_close(bt);
        beattracker_destroy(bt);
    }
};

// A broadband spectrum whose level follows the loudness byte; 0 is silence.
void fillSpectrum(std::vector<s16> &spectrum, u8 loudness, u32 frame) {
    spectrum[0] = static_cast<s16>((static_cast<s32>(loudness) - 128) * 64);
    spectrum[1] = 0;
    for (size_t k = 1; 2 * k + 1 < spectrum.size(); ++k) {
        spectrum[2 * k] = static_cast<s16>(loudness * 100);
        spectrum[2 * k + 1] = static_cast<s16>(static_cast<s32>((loudness * k + frame) % 200) - 100);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < kHeader + 1) return 0;
    const u32 fftSize = kFftSizes[data[0] & 3];
    const auto mode = static_cast<beattracker_userinputmode_t>((data[0] >> 2) & 3); // also 3
    const bool fixedGrid = (data[0] & 0x10) != 0;
    const s32 numFrames = data[1] == 255 ? -1 : static_cast<s32>(data[1]) * 12;
    const float threshold = static_cast<float>(data[2]) * 0.1f;
    const float initial = static_cast<float>(data[3]) * 0.5f;
    const float lower = static_cast<float>(data[4]) * 0.5f - 10.0f; // 0 or less keeps the default
    const float upper = static_cast<float>(data[5]) * 1.5f - 10.0f;
    const u32 frames = 100 + static_cast<u32>(orv::getLE16(data + 6)) % 2400;
    const u8 tapEvery = data[8];
    const u8 tapReset = data[9];
    const s32 nAnchors = data[10] % 9;
    const bool negativeAnchorCount = data[11] == 0xFF;
    size_t at = kHeader;
    std::vector<s32> anchors;
    for (s32 i = 0; i < nAnchors && at + 4 <= size; ++i, at += 4)
        anchors.push_back(static_cast<s32>(orv::getLE32(data + at)));
    if (at >= size) return 0;
    const uint8_t *loudness = data + at;
    const size_t loudnessCount = size - at;

    beattracker_resetProcessStatics();
    std::unique_ptr<beattracker_struct, TrackerDeleter> bt(beattracker_new(fftSize, PROCESSINGMODE_OFFLINE));
    if (!bt) return 0;
    beattracker_open(bt.get(), upper, lower, initial, numFrames);
    beattracker_setThreshould(bt.get(), threshold);
    const s32 pattern[4] = {10, 5, 7, 5};
    beattracker_setBeatPattern(bt.get(), pattern, 4);
    beattracker_setUserInputMode(bt.get(), mode);

    std::vector<s16> spectrum(fftSize);
    for (u32 frame = 0; frame < frames; ++frame) {
        const u8 level = loudness[frame % loudnessCount];
        fillSpectrum(spectrum, level, frame);
        beattracker_setInputPtr(bt.get(), spectrum.data());
        beattracker_process(bt.get());
        if (tapEvery != 0 && frame % tapEvery == 0) beattracker_tapBeat(bt.get(), frame + level % 7);
        if (tapReset != 0 && frame % (tapReset * 8u) == 0) beattracker_tapReset(bt.get());
    }
    beattracker_finalize(bt.get(), anchors.empty() ? nullptr : anchors.data(),
                         negativeAnchorCount ? -nAnchors : static_cast<s32>(anchors.size()), fixedGrid);
    return 0;
}
