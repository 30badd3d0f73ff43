// Loading a result file into a record: the stored record opens it, the grids are read back
// into frames of the stored rate and frame size (so a file of either configuration loads in
// either), and the waveform file, when named, stays open for slices. Every size and value read
// from the file is checked before it is used.
#include "songanalysis/songanalysis_handle.h"
#include "songanalysis/songanalysis_resultfile.h"
#include "songanalysis/songanalysis_waveform.h"

#include "orvsys/lebytes.h"
#include "orvsys/ufopen.h"
#include "orvsys/uniquefile.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

constexpr u32 kVersionLow = 0x03010000;
constexpr u32 kVersionHigh = 0x0301FFFF;
// A stored tempo beyond this is no tempo of a song but damage.
constexpr float kMaxStoredBPM = 100000.0f;

bool readExactly(FILE *fp, void *data, size_t size) {
    return std::fread(data, 1, size, fp) == size;
}

songanalysis_error readVersion(FILE *fp) {
    const songanalysis_section_head head = songanalysis_readSectionHead(fp);
    std::array<u8, 4> raw{};
    if (!songanalysis_sectionIs(head, "version") || head.size != raw.size() ||
        !readExactly(fp, raw.data(), 4))
        return SONGANALYSIS_ERROR_FILEFORMAT;
    const u32 version = orv::getLE32(raw.data());
    if (version < kVersionLow || version > kVersionHigh)
        std::printf("WARNING: SA-APP=%08x SA-FILE=%08x\n", SONGANALYSIS_VERSION, version);
    return SONGANALYSIS_ERROR_NOERROR;
}

// The stored record must describe a song the grids can be converted for.
bool plausible(const songanalysis_struct &stored) {
    return stored.genre >= SONGANALYSIS_GENRE_DEFAULT && stored.genre <= SONGANALYSIS_GENRE_HIPHOP &&
           stored.inputSampleRate != 0 && stored.frameSize != 0 && std::isfinite(stored.beatsPerMinute) &&
           stored.beatsPerMinute >= 0.0f && stored.beatsPerMinute <= kMaxStoredBPM;
}

songanalysis_error readStoredRecord(FILE *fp, songanalysis_struct *stored) {
    const songanalysis_section_head head = songanalysis_readSectionHead(fp);
    if (!songanalysis_sectionIs(head, "rawdata") || head.size != sizeof *stored ||
        !readExactly(fp, stored, sizeof *stored))
        return SONGANALYSIS_ERROR_FILEFORMAT;
    return plausible(*stored) ? SONGANALYSIS_ERROR_NOERROR : SONGANALYSIS_ERROR_FILEFORMAT;
}

void copyStoredValues(songanalysis_struct *sa, const songanalysis_struct &stored) {
    sa->gainStruct = stored.gainStruct;
    sa->beatsPerMinute = stored.beatsPerMinute;
    sa->isFinalized = stored.isFinalized;
    sa->beatsScore = stored.beatsScore;
    sa->downbeatsScore = stored.downbeatsScore;
    sa->audioStart = stored.audioStart;
    sa->audioEnd = stored.audioEnd;
    sa->musicStart = stored.musicStart;
    sa->bitRate = stored.bitRate;
    sa->durationInMs = stored.durationInMs;
    sa->frameSize = stored.frameSize;
}

// Reads a grid section of `size` bytes: its first `grid.capacity` positions become frames, the
// rest is passed over. A record without the grid passes over all of it.
bool readGrid(FILE *fp, const songanalysis_struct *sa, u32 size, songanalysis_grid grid) {
    const u32 stored = size / 4;
    const u32 kept = grid.frames != nullptr ? std::min(stored, grid.capacity) : 0;
    std::array<u8, 4096> buffer{};
    for (u32 done = 0; done < kept;) {
        const u32 n = std::min<u32>(kept - done, buffer.size() / 4);
        if (!readExactly(fp, buffer.data(), size_t{n} * 4)) return false;
        for (u32 i = 0; i < n; ++i)
            grid.frames[done + i] = songanalysis_msToFrame(sa, orv::getLE32(buffer.data() + size_t{i} * 4));
        done += n;
    }
    if (grid.count != nullptr) *grid.count = kept;
    return readSectionData(fp, size - kept * 4, 1, nullptr) == size - kept * 4;
}

bool readFixedTempo(FILE *fp, songanalysis_struct *sa, u32 size) {
    if (size < 4) return readSectionData(fp, size, 1, nullptr) == size;
    std::array<u8, 4> raw{};
    if (!readExactly(fp, raw.data(), raw.size())) return false;
    if (sa->beatsPerMinute > 0.0f)
        songanalysis_setFixedBPM(sa, std::bit_cast<float>(orv::getLE32(raw.data())));
    return readSectionData(fp, size - 4, 1, nullptr) == size - 4;
}

songanalysis_error readSections(FILE *fp, songanalysis_struct *sa) {
    songanalysis_handle *h = songanalysis_getHandle(sa);
    for (;;) {
        const songanalysis_section_head head = songanalysis_readSectionHead(fp);
        if (head.size == 0) break;
        bool ok;
        if (songanalysis_sectionIs(head, "beats")) {
            ok = readGrid(fp, sa, head.size, songanalysis_beatGrid(h));
        } else if (songanalysis_sectionIs(head, "dbeat")) {
            ok = readGrid(fp, sa, head.size, songanalysis_downbeatGrid(h));
        } else if (std::memcmp(head.name, "fixbpm", 6) == 0) {
            ok = readFixedTempo(fp, sa, head.size);
        } else {
            ok = readSectionData(fp, head.size, 1, nullptr) == head.size;
        }
        // A section cut short by the end of the file: the file is damaged.
        if (!ok) return SONGANALYSIS_ERROR_FILEERROR;
    }
    if (std::feof(fp) != 0) return SONGANALYSIS_ERROR_NOERROR;
    return std::ferror(fp) != 0 ? SONGANALYSIS_ERROR_FILEERROR : SONGANALYSIS_ERROR_ERROR;
}

songanalysis_error loadOpened(FILE *fp, songanalysis_struct *sa, const songanalysis_struct &stored,
                              const char *wfvFileName) {
    if (wfvFileName != nullptr) {
        if (songanalysis_openWaveformFile(sa, wfvFileName) != SONGANALYSIS_ERROR_NOERROR)
            return SONGANALYSIS_ERROR_FILEERROR;
        sa->songFeatures |= SONGANALYSIS_FEATURE_WAVEFORM;
    }
    copyStoredValues(sa, stored);
    return readSections(fp, sa);
}

} // namespace

songanalysis_error songanalysis_openAndLoadResults(songanalysis_struct *sa, const char *sarFileName,
                                                   const char *wfvFileName) {
    if (songanalysis_getHandle(sa) == nullptr) return SONGANALYSIS_ERROR_ERROR;
    if (sa->isOpened != 0) return SONGANALYSIS_ERROR_ALREADYOPENED;
    if (sarFileName == nullptr) return SONGANALYSIS_ERROR_FILEERROR;
    orv::UniqueFile f(ufopen(sarFileName, "rb"));
    if (!f) return SONGANALYSIS_ERROR_FILEERROR;
    sa->dirty = 0;
    if (const songanalysis_error e = readVersion(f.get()); e != SONGANALYSIS_ERROR_NOERROR) return e;
    songanalysis_struct stored{};
    if (const songanalysis_error e = readStoredRecord(f.get(), &stored); e != SONGANALYSIS_ERROR_NOERROR)
        return e;

    const float initialBPM = std::trunc(stored.beatsPerMinute);
    const songanalysis_error opened = songanalysis_openForResults(
        sa, stored.songFeatures & ~SONGANALYSIS_FEATURE_WAVEFORM, stored.inputSampleRate,
        stored.maxLengthInMs, stored.numChannels, initialBPM, stored.genre, nullptr);
    if (opened != SONGANALYSIS_ERROR_NOERROR) return opened;
    const songanalysis_error loaded = loadOpened(f.get(), sa, stored, wfvFileName);
    if (loaded != SONGANALYSIS_ERROR_NOERROR) songanalysis_close(sa);
    return loaded;
}

songanalysis_error songanalysis_closeWithSave(songanalysis_struct *sa, const char *sarFileName) {
    if (sa == nullptr || sa->isOpened == 0) return SONGANALYSIS_ERROR_NOTOPENED;
    songanalysis_error result = SONGANALYSIS_ERROR_NOERROR;
    if (sa->dirty != 0 && sarFileName != nullptr) {
        songanalysis_filenames_struct names{};
        names.sar_path = sarFileName;
        result = songanalysis_saveResults(sa, &names, 0, 0, 0, 0, nullptr, 0);
    }
    sa->dirty = 0;
    songanalysis_close(sa);
    return result;
}
