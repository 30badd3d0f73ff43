// Saving a record: the full save after an analysis writes the result file, the waveform file
// and the seals of the seek-table and waveform files; a save without a waveform path is the
// edit of an existing result file after the grid was changed.
#include "songanalysis/chksum.h"
#include "songanalysis/songanalysis_handle.h"
#include "songanalysis/songanalysis_resultfile.h"
#include "songanalysis/songanalysis_waveform.h"

#include "orvsys/debugmsg.h"
#include "orvsys/ufopen.h"
#include "orvsys/uniquefile.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace {

// "fname": the audio path with forward slashes, from its first '/'.
std::string storedAudioName(const char *audioPath) {
    if (audioPath == nullptr) return {};
    std::string name(audioPath);
    std::replace(name.begin(), name.end(), '\\', '/');
    const size_t slash = name.find('/');
    return slash == std::string::npos ? name : name.substr(slash);
}

u32 crcOfWholeFile(const char *path) {
    if (path == nullptr) return 0xFFFFFFFFu;
    orv::UniqueFile f(ufopen(path, "rb"));
    return f ? calcCRC32(f.get(), 0, 0) : 0xFFFFFFFFu;
}

// A record loaded from its files holds no points to resample: its waveform file stays as it
// is and its profile is the one the result file already had.
std::vector<songanalysis_wfv_struct> storedProfile(const char *sarFileName, u32 wfpSize) {
    std::vector<songanalysis_wfv_struct> profile(SONGANALYSIS_MAX_PROFILE_POINTS);
    u32 count = 0;
    if (songanalysis_readWaveformProfile(profile.data(), &count, sarFileName,
                                         SONGANALYSIS_MAX_PROFILE_POINTS) != SONGANALYSIS_ERROR_NOERROR ||
        count == 0) {
        profile.assign(std::min(wfpSize, SONGANALYSIS_MAX_PROFILE_POINTS), songanalysis_wfv_struct{});
        return profile;
    }
    profile.resize(std::min(count, SONGANALYSIS_MAX_PROFILE_POINTS));
    return profile;
}

struct WaveformSettings {
    u32 resolutionMs, scale, profileScale, profileSize;
};

// Writes the waveform file from the analysis points and returns the profile of the same points.
std::vector<songanalysis_wfv_struct> waveformAndProfile(songanalysis_struct *sa, const char *sarFileName,
                                                        const char *wfvFileName, const WaveformSettings &w) {
    const songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr || h->wfvSamples == nullptr) return storedProfile(sarFileName, w.profileSize);
    const std::span<const songanalysis_wfv_struct> points(h->wfvSamples, static_cast<size_t>(h->wfvCnt));
    songanalysis_writeWaveformFile(points, wfvFileName, w.resolutionMs, w.scale, w.profileSize);
    std::vector<songanalysis_wfv_struct> profile(w.profileSize);
    songanalysis_makeProfile(points, w.profileSize, w.profileScale, profile);
    return profile;
}

songanalysis_error fullSave(songanalysis_struct *sa, const songanalysis_filenames_struct *names,
                            const WaveformSettings &w, const char *comment, u32 commentSize) {
    const bool waveform = (sa->songFeatures & SONGANALYSIS_FEATURE_WAVEFORM) != 0;
    std::vector<songanalysis_section> sections;
    songanalysis_error result = songanalysis_headSections(sa, &sections);

    songanalysis_atomicFile out(names->sar_path);
    if (out.get() == nullptr) {
        debugmsg("\n sa_saveResults(): Error opening file %s", names->sar_path);
        return SONGANALYSIS_ERROR_FILEERROR;
    }
    if (waveform) {
        const std::vector<songanalysis_wfv_struct> profile =
            waveformAndProfile(sa, names->sar_path, names->wfv_path, w);
        sections.push_back(songanalysis_bytesSection("wfprof", profile.data(),
                                                     profile.size() * sizeof(songanalysis_wfv_struct)));
    }
    const std::string fname = storedAudioName(names->aud_path);
    sections.push_back(songanalysis_bytesSection("fname", fname.data(), fname.size()));
    sections.push_back(songanalysis_bytesSection("comment", comment, comment != nullptr ? commentSize : 0));
    sections.push_back(songanalysis_u32Section("songcs", crcOfWholeFile(names->aud_path)));
    sections.push_back(songanalysis_u32Section("sekcs", songanalysis_sealCompanion(names->sek_path)));
    sections.push_back(songanalysis_u32Section("wfvcs", songanalysis_sealCompanion(names->wfv_path)));
    sections.push_back(songanalysis_fixbpmSection(sa));

    if (!songanalysis_writeSections(out.get(), sections)) return SONGANALYSIS_ERROR_FILEERROR;
    writeCRC32(out.get());
    if (std::ferror(out.get()) != 0 || !out.commit()) return SONGANALYSIS_ERROR_FILEERROR;
    return result;
}

} // namespace

songanalysis_error songanalysis_saveResults(songanalysis_struct *sa,
                                            const songanalysis_filenames_struct *resultFileNames,
                                            u32 wfvResolutionMs, u32 wfvScale, u32 wfpScale, u32 wfpSize,
                                            const char *comment, u32 commentSize) {
    if (sa == nullptr) return SONGANALYSIS_ERROR_NOTOPENED;
    if (resultFileNames == nullptr) return SONGANALYSIS_ERROR_FILEERROR;
    songanalysis_writeCompanionFiles(sa, resultFileNames);
    if (resultFileNames->sar_path == nullptr) return SONGANALYSIS_ERROR_FILEERROR;
    songanalysis_error result;
    if (resultFileNames->wfv_path == nullptr) {
        result = songanalysis_editResultsInPlace(sa, resultFileNames->sar_path);
    } else {
        const WaveformSettings w{wfvResolutionMs, wfvScale, wfpScale, wfpSize};
        result = fullSave(sa, resultFileNames, w, comment, commentSize);
    }
    if (result == SONGANALYSIS_ERROR_NOERROR || result == SONGANALYSIS_ERROR_OUTOFMEMORY) sa->dirty = 0;
    return result;
}
