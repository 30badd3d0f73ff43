// The files a loaded song reads its waveform from: the input as a waveform file, opened
// through a record of loaded results and read in slices at positions taken from the input,
// and as a result file whose profile is read into a buffer smaller than it may claim. No
// read outside a buffer, no more points than asked, nothing written past the room given.
#include "codec_fuzz_support.h"

#include "orvsys/lebytes.h"
#include "orvsys/orvconfig.h"
#include "songanalysis/songanalysis_handle.h"
#include "songanalysis/songanalysis_waveform.h"

#include <cstring>
#include <vector>

namespace {

const songanalysis_wfv_struct kSentinel{7, 7, 7, 7, 7, 7, 7, 7};

bool intact(const std::vector<songanalysis_wfv_struct> &v, size_t from) {
    for (size_t i = from; i < v.size(); ++i)
        if (std::memcmp(&v[i], &kSentinel, sizeof kSentinel) != 0) return false;
    return true;
}

void readSlices(const std::string &path, const uint8_t *data, size_t size) {
    songanalysis_struct *sa =
        songanalysis_new(SONGANALYSIS_QUALITY_MID, SONGANALYSIS_MODE_OFFLINE, SONGANALYSIS_FEATURE_ALL, 0, 0);
    codecfuzz::check(sa != nullptr);
    codecfuzz::check(songanalysis_openForResults(sa, SONGANALYSIS_FEATURE_BEATS, orv::kAnalysisSampleRate,
                                                 60000, 2, 0.0f, SONGANALYSIS_GENRE_DEFAULT, nullptr) == 0);
    if (songanalysis_openWaveformFile(sa, path.c_str()) == SONGANALYSIS_ERROR_NOERROR) {
        const songanalysis_handle *h = songanalysis_getHandle(sa);
        codecfuzz::check(h->wfvResolution > 0 && (h->wfvHeaderSize == 4 || h->wfvHeaderSize == 12));
        for (size_t i = 0; i + 5 <= size && i < 80; i += 5) {
            const u32 offset = orv::getLE32(data + i);
            const u32 asked = data[i + 4] % 64;
            std::vector<songanalysis_wfv_struct> out(asked + 2, kSentinel);
            u32 n = asked;
            songanalysis_readWaveform(sa, out.data(), offset, &n);
            codecfuzz::check(n <= asked && intact(out, asked));
        }
    }
    songanalysis_close(sa);
    songanalysis_destroy(sa);
}

void readProfile(const std::string &path, const uint8_t *data, size_t size) {
    const u32 capacity = size > 0 ? data[size - 1] % 32 : 0;
    std::vector<songanalysis_wfv_struct> out(capacity + 2, kSentinel);
    u32 n = 0;
    songanalysis_readWaveformProfile(out.data(), &n, path.c_str(), capacity);
    codecfuzz::check(intact(out, capacity));
    songanalysis_readWaveformProfile(nullptr, &n, path.c_str(), capacity);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string path = codecfuzz::scratchFile("input.bin", data, size);
    readSlices(path, data, size);
    readProfile(path, data, size);
    return 0;
}
