// A result file as the unit finds it on a drive: the input is loaded into a record of loaded
// results, its grids are queried, it is validated, and an edit is saved back over it (in
// place or rewritten). No read outside a buffer, no grid past its room, and a record that
// loaded holds counts within its room.
#include "codec_fuzz_support.h"

#include "songanalysis/songanalysis.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string path = codecfuzz::scratchFile("result.sar", data, size);
    songanalysis_struct *sa =
        songanalysis_new(SONGANALYSIS_QUALITY_CUSTOM, SONGANALYSIS_MODE_ONLINE, 1, 22, 512);
    codecfuzz::check(sa != nullptr);
    songanalysis_validate(path.c_str(), nullptr, nullptr, nullptr);
    u32 points = 0;
    songanalysis_readWaveformProfile(nullptr, &points, path.c_str());
    if (songanalysis_openAndLoadResults(sa, path.c_str(), nullptr) == SONGANALYSIS_ERROR_NOERROR) {
        const u32 beats = songanalysis_getNumberOfBeats(sa);
        const u32 downbeats = songanalysis_getNumberOfDownbeats(sa);
        codecfuzz::check(beats <= SONGANALYSIS_MAX_BEATS && downbeats <= SONGANALYSIS_MAX_DOWNBEATS);
        std::vector<u32> ms(beats);
        songanalysis_getBeats(sa, ms.data(), 0, beats);
        if (beats > 0) songanalysis_addBeat(sa, ms[0] + 1);
        songanalysis_setFixedBPM(sa, 126.0f);
        const songanalysis_filenames_struct names{nullptr, path.c_str(), nullptr, nullptr};
        if (songanalysis_saveResults(sa, &names, 0, 0, 0, 0, nullptr, 0) == SONGANALYSIS_ERROR_NOERROR)
            codecfuzz::check(songanalysis_validate(path.c_str(), nullptr, nullptr, nullptr) == 0);
        songanalysis_close(sa);
    }
    songanalysis_destroy(sa);
    return 0;
}
