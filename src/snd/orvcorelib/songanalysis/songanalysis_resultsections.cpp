// The sections a result-file save writes, the temporary file it writes them to, and the
// seals it appends to the seek-table and waveform files.
#include "songanalysis/chksum.h"
#include "songanalysis/songanalysis_handle.h"
#include "songanalysis/songanalysis_resultfile.h"

#include "orvsys/lebytes.h"
#include "orvsys/ufopen.h"
#include "orvsys/uniquefile.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

// The record is stored as it lies in memory; every build of the unit is little-endian.
static_assert(std::endian::native == std::endian::little);

namespace {

std::array<char, 8> sectionName(const char *name) {
    std::array<char, 8> padded{};
    for (size_t i = 0; i < padded.size() && name[i] != '\0'; ++i) padded[i] = name[i];
    return padded;
}

// A grid in ms as a section; empty when the grid's room cannot be had.
bool gridSection(const char *name, u32 count, u32 (*get)(const songanalysis_struct *, u32 *, u32, u32),
                 const songanalysis_struct *sa, songanalysis_section *out) {
    u32 *ms = static_cast<u32 *>(std::calloc(count, sizeof(u32)));
    if (ms == nullptr) return false;
    const u32 got = get(sa, ms, 0, count);
    out->name = sectionName(name);
    out->data.resize(size_t{got} * 4);
    for (u32 i = 0; i < got; ++i) orv::putLE32(out->data.data() + size_t{i} * 4, ms[i]);
    std::free(ms);
    return true;
}

bool hasFeature(const songanalysis_struct *sa, u32 feature) {
    return (sa->songFeatures & feature) != 0;
}

constexpr std::array kOwnedNames = {"version", "rawdata", "isfinal", "audiost", "audioen", "musicst", "lenms",
                                    "bpm",     "nbeats",  "beats",   "ndbeats", "dbeat",   "gain"};

} // namespace

songanalysis_section songanalysis_bytesSection(const char *name, const void *data, size_t size) {
    songanalysis_section s;
    s.name = sectionName(name);
    const u8 *bytes = static_cast<const u8 *>(data);
    if (bytes != nullptr) {
        s.data.assign(bytes, bytes + size);
    } else {
        s.data.assign(size, 0);
    }
    return s;
}

songanalysis_section songanalysis_u32Section(const char *name, u32 value) {
    std::array<u8, 4> bytes{};
    orv::putLE32(bytes.data(), value);
    return songanalysis_bytesSection(name, bytes.data(), bytes.size());
}

songanalysis_section songanalysis_floatSection(const char *name, float value) {
    return songanalysis_u32Section(name, std::bit_cast<u32>(value));
}

songanalysis_error songanalysis_headSections(const songanalysis_struct *sa,
                                             std::vector<songanalysis_section> *out) {
    songanalysis_error result = SONGANALYSIS_ERROR_NOERROR;
    songanalysis_struct stored = *sa;
    stored.dirty = 0;
    stored.private_ = 0; // the slot means nothing outside this process
    out->push_back(songanalysis_u32Section("version", SONGANALYSIS_VERSION));
    out->push_back(songanalysis_bytesSection("rawdata", &stored, sizeof stored));
    out->push_back(songanalysis_u32Section("isfinal", sa->isFinalized));
    out->push_back(songanalysis_u32Section("audiost", static_cast<u32>(sa->audioStart)));
    out->push_back(songanalysis_u32Section("audioen", static_cast<u32>(sa->audioEnd)));
    out->push_back(songanalysis_u32Section("musicst", sa->musicStart));
    out->push_back(songanalysis_u32Section("lenms", static_cast<u32>(sa->durationInMs)));
    if (hasFeature(sa, SONGANALYSIS_FEATURE_BEATS)) {
        if (const u32 n = songanalysis_getNumberOfBeats(sa); n > 0) {
            songanalysis_section beats;
            if (gridSection("beats", n, songanalysis_getBeats, sa, &beats)) {
                out->push_back(songanalysis_floatSection("bpm", sa->beatsPerMinute));
                out->push_back(songanalysis_u32Section("nbeats", static_cast<u32>(beats.data.size() / 4)));
                out->push_back(std::move(beats));
            } else {
                result = SONGANALYSIS_ERROR_OUTOFMEMORY;
            }
        }
        if (const u32 n = songanalysis_getNumberOfDownbeats(sa); n > 0) {
            songanalysis_section downbeats;
            if (gridSection("dbeat", n, songanalysis_getDownbeats, sa, &downbeats)) {
                out->push_back(
                    songanalysis_u32Section("ndbeats", static_cast<u32>(downbeats.data.size() / 4)));
                out->push_back(std::move(downbeats));
            } else {
                result = SONGANALYSIS_ERROR_OUTOFMEMORY;
            }
        }
    }
    if (hasFeature(sa, SONGANALYSIS_FEATURE_GAIN)) {
        std::array<u8, 16> gain{};
        orv::putLE32(gain.data(), sa->gainStruct.refGain);
        orv::putLE32(gain.data() + 4, sa->gainStruct.peakValue);
        orv::putLE32(gain.data() + 8, sa->gainStruct.radioGain);
        orv::putLE32(gain.data() + 12, sa->gainStruct.audiophileGain);
        out->push_back(songanalysis_bytesSection("gain", gain.data(), gain.size()));
    }
    return result;
}

float songanalysis_fixedBPMOrZero(const songanalysis_struct *sa) {
    const songanalysis_handle *h = songanalysis_getHandle(sa);
    return h != nullptr ? h->fixbeat * 60.0f : 0.0f;
}

songanalysis_section songanalysis_fixbpmSection(const songanalysis_struct *sa) {
    return songanalysis_floatSection("fixbpm", songanalysis_fixedBPMOrZero(sa));
}

bool songanalysis_isOwnedSection(const songanalysis_section_head &head) {
    if (std::memcmp(head.name, "fixbpm", 6) == 0) return true;
    return std::any_of(kOwnedNames.begin(), kOwnedNames.end(),
                       [&](const char *name) { return songanalysis_sectionIs(head, name); });
}

bool songanalysis_writeSections(FILE *fp, const std::vector<songanalysis_section> &sections) {
    for (const songanalysis_section &s : sections) {
        if (s.data.empty()) continue;
        std::array<u8, 12> head{};
        std::memcpy(head.data(), s.name.data(), s.name.size());
        orv::putLE32(head.data() + 8, static_cast<u32>(s.data.size()));
        if (std::fwrite(head.data(), 1, head.size(), fp) != head.size()) return false;
        if (!s.data.empty() && std::fwrite(s.data.data(), 1, s.data.size(), fp) != s.data.size())
            return false;
    }
    return true;
}

songanalysis_atomicFile::songanalysis_atomicFile(const char *finalPath) : final_(finalPath) {
    std::string pattern = final_ + ".XXXXXX";
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return;
    // mkostemp makes the file private; the new file keeps the old one's mode.
    struct stat old {};
    fchmod(fd, stat(final_.c_str(), &old) == 0 ? (old.st_mode & 0777) : 0644);
    fp_ = fdopen(fd, "w+b");
    if (fp_ == nullptr) {
        close(fd);
        unlink(pattern.c_str());
        return;
    }
    temp_ = pattern;
}

songanalysis_atomicFile::~songanalysis_atomicFile() {
    if (fp_ != nullptr) std::fclose(fp_);
    if (!temp_.empty()) unlink(temp_.c_str());
}

bool songanalysis_atomicFile::commit() {
    if (fp_ == nullptr) return false;
    const bool flushed = std::fflush(fp_) == 0 && fsync(fileno(fp_)) == 0;
    const bool closed = std::fclose(fp_) == 0;
    fp_ = nullptr;
    if (!flushed || !closed || std::rename(temp_.c_str(), final_.c_str()) != 0) return false;
    temp_.clear();
    return true;
}

u32 songanalysis_sealCompanion(const char *path) {
    if (path == nullptr) return 0xFFFFFFFFu;
    orv::UniqueFile f(ufopen(path, "a+b"));
    if (!f) return 0xFFFFFFFFu;
    if (checkSelfCRC32(f.get()) != 0) return calcCRC32(f.get(), 0, 1);
    return writeCRC32(f.get());
}
