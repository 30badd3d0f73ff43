// The device's companion files of a save, for checking an analysis by eye and by ear: a text
// file with the positions and values, and a 1000 Hz WAV file with a click at every beat (a
// louder one at every downbeat), so that one sample is one millisecond.
#include "songanalysis/songanalysis_resultfile.h"

#include "codecs/encoder/encoder.h"
#include "orvsys/debugmsg.h"
#include "orvsys/orvconfig.h"
#include "orvsys/ufopen.h"
#include "orvsys/uniquefile.h"

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr s16 kBeatMark = 13107;
constexpr s16 kDownbeatMark = 26214;
constexpr u32 kMarkRate = 1000;
constexpr u32 kBlock = 4096;

std::vector<u32> gridInMs(const songanalysis_struct *sa, bool downbeats) {
    const u32 n = downbeats ? songanalysis_getNumberOfDownbeats(sa) : songanalysis_getNumberOfBeats(sa);
    std::vector<u32> ms(n);
    const u32 got = downbeats ? songanalysis_getDownbeats(sa, ms.data(), 0, n)
                              : songanalysis_getBeats(sa, ms.data(), 0, n);
    ms.resize(got);
    return ms;
}

std::string folderOf(const char *path) {
    const std::string p(path);
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? std::string(".") : p.substr(0, slash);
}

std::string baseNameOf(const char *path) {
    const std::string p(path);
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

void writeText(const songanalysis_struct *sa, const std::string &path, const std::vector<u32> &beats,
               const std::vector<u32> &downbeats) {
    orv::UniqueFile f(ufopen(path.c_str(), "w+"));
    if (!f) {
        debugmsg("\n sa_saveResults(): Error opening file %s", path.c_str());
        return;
    }
    FILE *fp = f.get();
    std::fprintf(fp, "isFinalized = %d\n", static_cast<int>(sa->isFinalized));
    std::fprintf(fp, "audioStart = %d\n", sa->audioStart);
    std::fprintf(fp, "audioEnd = %d\n", sa->audioEnd);
    std::fprintf(fp, "musicStart = %d\n", static_cast<int>(sa->musicStart));
    std::fprintf(fp, "durationInMs = %d\n", sa->durationInMs);
    if ((sa->songFeatures & SONGANALYSIS_FEATURE_BEATS) != 0) {
        std::fprintf(fp, "bpm = %6.2f\nbeat %d:\n", static_cast<double>(sa->beatsPerMinute),
                     static_cast<int>(beats.size()));
        for (const u32 ms : beats) std::fprintf(fp, "%8d\n", static_cast<int>(ms));
        std::fprintf(fp, "downbeat %d:\n", static_cast<int>(downbeats.size()));
        for (const u32 ms : downbeats) std::fprintf(fp, "%8d\n", static_cast<int>(ms));
    }
    if ((sa->songFeatures & SONGANALYSIS_FEATURE_GAIN) != 0) {
        std::fprintf(fp, "radioGain = %d\n", static_cast<int>(sa->gainStruct.radioGain));
        std::fprintf(fp, "audiophileGain = %d\n", static_cast<int>(sa->gainStruct.audiophileGain));
        std::fprintf(fp, "refGain = %d\n", static_cast<int>(sa->gainStruct.refGain));
        std::fprintf(fp, "peakValue = %d\n", static_cast<int>(sa->gainStruct.peakValue));
    }
}

// Marks the sorted positions that fall into the block [start, start + n).
void mark(std::array<s16, kBlock> &block, u32 start, u32 n, const std::vector<u32> &sorted, s16 value) {
    for (auto it = std::lower_bound(sorted.begin(), sorted.end(), start);
         it != sorted.end() && *it - start < n; ++it)
        block[*it - start] = value;
}

void writeBeatMarks(const songanalysis_struct *sa, const std::string &path, std::vector<u32> beats,
                    std::vector<u32> downbeats) {
    struct EncoderFree {
        void operator()(encoder_struct *e) const { encoder_destroy(e); }
    };
    std::unique_ptr<encoder_struct, EncoderFree> e(encoder_new(ENCODER_SAMPLE_FORMAT_INT16, kBlock));
    if (!e || encoder_open(e.get(), path.c_str(), kMarkRate, ENCODER_SAMPLE_FORMAT_INT16, 1) !=
                  ENCODER_ERROR_NOERROR) {
        debugmsg("\n sa_saveResults(): Error opening file %s", path.c_str());
        return;
    }
    // Sorted, so each block finds its own positions at once.
    std::sort(beats.begin(), beats.end());
    std::sort(downbeats.begin(), downbeats.end());
    std::array<s16, kBlock> block{};
    for (u32 start = 0; start < sa->maxLengthInMs; start += kBlock) {
        const u32 n = std::min(kBlock, sa->maxLengthInMs - start);
        block.fill(0);
        mark(block, start, n, beats, kBeatMark);
        mark(block, start, n, downbeats, kDownbeatMark);
        if (encoder_addSamples(e.get(), block.data(), n) != ENCODER_ERROR_NOERROR) break;
    }
    encoder_close(e.get());
}

} // namespace

void songanalysis_writeCompanionFiles(songanalysis_struct *sa, const songanalysis_filenames_struct *names) {
    if constexpr (!orv::kDeviceConfig) return;
    if (names->aud_path == nullptr || names->sar_path == nullptr) return;
    const std::string stem = folderOf(names->sar_path) + "/" + baseNameOf(names->aud_path);
    const std::vector<u32> beats = gridInMs(sa, false);
    const std::vector<u32> downbeats = gridInMs(sa, true);
    std::array<char, 64> suffix{};
    std::snprintf(suffix.data(), suffix.size(), ".(bpm=%6.2f).txt", static_cast<double>(sa->beatsPerMinute));
    writeText(sa, stem + suffix.data(), beats, downbeats);
    writeBeatMarks(sa, stem + ".beatmark.wav", beats, downbeats);
}
