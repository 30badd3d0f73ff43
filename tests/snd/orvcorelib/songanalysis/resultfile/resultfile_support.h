// Pieces of the result-file tests: a song analysed once per test program and saved with its
// companion files, and a reader and writer of result-file sections that does not go through
// the library's own loader.
#pragma once

#include "orvsys/lebytes.h"
#include "snd/orvcorelib/songanalysis/analysis/analysis_support.h"
#include "songanalysis/chksum.h"
#include "songanalysis/songanalysis.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace rftest {

using Bytes = std::vector<unsigned char>;

struct Section {
    std::string name;
    Bytes data;
    u32 u32At(size_t offset = 0) const { return orv::getLE32(data.data() + offset); }
    float floatAt(size_t offset = 0) const { return std::bit_cast<float>(u32At(offset)); }
};

// The sections of a sealed file; the seal (last 4 bytes) is left out.
inline std::vector<Section> parse(const Bytes &file) {
    std::vector<Section> out;
    size_t at = 0;
    while (file.size() >= 4 && at + 12 <= file.size() - 4) {
        Section s;
        s.name.assign(reinterpret_cast<const char *>(file.data() + at), 8);
        s.name.resize(std::strlen(s.name.c_str()));
        const u32 size = orv::getLE32(file.data() + at + 8);
        if (size == 0 || at + 12 + size > file.size()) break;
        s.data.assign(file.begin() + static_cast<long>(at + 12),
                      file.begin() + static_cast<long>(at + 12 + size));
        out.push_back(std::move(s));
        at += 12 + size;
    }
    return out;
}

inline const Section *find(const std::vector<Section> &sections, const std::string &name) {
    for (const Section &s : sections)
        if (s.name == name) return &s;
    return nullptr;
}

inline std::vector<std::string> names(const std::vector<Section> &sections) {
    std::vector<std::string> out;
    for (const Section &s : sections) out.push_back(s.name);
    return out;
}

inline Bytes sectionBytes(const std::string &name, const Bytes &data, u32 size) {
    Bytes out(12, 0);
    std::memcpy(out.data(), name.data(), std::min<size_t>(name.size(), 8));
    orv::putLE32(out.data() + 8, size);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

inline Bytes sectionBytes(const std::string &name, const Bytes &data) {
    return sectionBytes(name, data, static_cast<u32>(data.size()));
}

inline Bytes le32(u32 v) {
    Bytes b(4);
    orv::putLE32(b.data(), v);
    return b;
}

inline Bytes recordBytes(const songanalysis_struct &r) {
    Bytes b(sizeof r);
    std::memcpy(b.data(), &r, sizeof r);
    return b;
}

inline void append(Bytes &to, const Bytes &more) {
    to.insert(to.end(), more.begin(), more.end());
}

// Appends the checksum a save appends: the CRC of everything before and four zero bytes.
inline void seal(Bytes &file) {
    Bytes withZeros = file;
    append(withZeros, Bytes(4, 0));
    append(file, le32(chksum_crc32(withZeros.data(), static_cast<u32>(withZeros.size()))));
}

inline u32 fileCrc(const std::string &path, int zeroLast4Bytes) {
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return 0;
    const u32 crc = calcCRC32(f, 0, zeroLast4Bytes);
    std::fclose(f);
    return crc;
}

// A stored record as an analysis of this build would leave it.
inline songanalysis_struct storedRecord(u32 rate = orv::kAnalysisSampleRate,
                                        u32 frameSize = orv::kAnalysisFrameSize) {
    songanalysis_struct r{};
    r.genre = SONGANALYSIS_GENRE_DEFAULT;
    r.isOpened = 1;
    r.isFinalized = 1;
    r.globalFeatures = SONGANALYSIS_FEATURE_ALL;
    r.songFeatures = SONGANALYSIS_FEATURE_ALL;
    r.numChannels = 2;
    r.inputSampleRate = rate;
    r.maxLengthInMs = 60000;
    r.frameSize = frameSize;
    r.fftSize = 1024;
    r.beatsPerMinute = 120.0f;
    r.durationInMs = 60000;
    return r;
}

// A result file made by hand: version, record, then the given sections, sealed.
inline Bytes handMadeFile(const songanalysis_struct &record, const std::vector<Bytes> &sections,
                          u32 version = SONGANALYSIS_VERSION) {
    Bytes file = sectionBytes("version", le32(version));
    append(file, sectionBytes("rawdata", recordBytes(record)));
    for (const Bytes &s : sections) append(file, s);
    seal(file);
    return file;
}

inline Bytes msList(const std::vector<u32> &ms) {
    Bytes b;
    for (u32 v : ms) append(b, le32(v));
    return b;
}

// The files of one song in a folder.
struct SongFiles {
    std::string sar, sek, wfv, aud;
    explicit SongFiles(const orvtest::TempDir &dir)
        : sar(dir.file("song.sar")), sek(dir.file("song.sek")), wfv(dir.file("song.wfv")),
          aud(dir.file("song.mp3")) {}
    songanalysis_filenames_struct names() const {
        return {sek.c_str(), sar.c_str(), wfv.c_str(), aud.c_str()};
    }
};

inline void copyFile(const std::string &from, const std::string &to) {
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

} // namespace rftest
