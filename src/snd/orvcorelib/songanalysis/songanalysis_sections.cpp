// Section heads, section data and the profile of a result file, read without a record.
#include "songanalysis/songanalysis_sections.h"

#include "songanalysis/songanalysis.h"

#include "orvsys/lebytes.h"
#include "orvsys/ufopen.h"
#include "orvsys/uniquefile.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <memory>

namespace {

constexpr size_t kNameBytes = 8;

using File = orv::UniqueFile;

bool skipBytes(FILE *fp, u64 bytes) {
    if (bytes > static_cast<u64>(LONG_MAX)) return false;
    return std::fseek(fp, static_cast<long>(bytes), SEEK_CUR) == 0;
}

} // namespace

songanalysis_section_head songanalysis_readSectionHead(FILE *fp) {
    songanalysis_section_head head{};
    std::array<u8, kNameBytes + 4> raw{};
    if (fp == nullptr || std::fread(raw.data(), 1, raw.size(), fp) != raw.size()) return head;
    std::memcpy(head.name, raw.data(), kNameBytes);
    head.size = orv::getLE32(raw.data() + kNameBytes);
    return head;
}

bool songanalysis_sectionIs(const songanalysis_section_head &head, const char *name) {
    std::array<char, kNameBytes> padded{};
    for (size_t i = 0; i < padded.size() && name[i] != '\0'; ++i) padded[i] = name[i];
    return std::memcmp(head.name, padded.data(), kNameBytes) == 0;
}

u32 readSectionData(FILE *fp, u32 count, u32 size, void *data) {
    if (fp == nullptr) return 0;
    if (data == nullptr) return skipBytes(fp, u64{count} * size) ? count : 0;
    return static_cast<u32>(std::fread(data, size, count, fp));
}

songanalysis_error songanalysis_readWaveformProfile(songanalysis_wfv_struct *waveform, u32 *read_size,
                                                    const char *sarFileName, u32 capacity) {
    if (read_size == nullptr || sarFileName == nullptr) return SONGANALYSIS_ERROR_FILEERROR;
    *read_size = 0;
    File f(ufopen(sarFileName, "rb"));
    if (!f) return SONGANALYSIS_ERROR_FILEERROR;
    for (;;) {
        const songanalysis_section_head head = songanalysis_readSectionHead(f.get());
        if (head.size == 0) break;
        if (!songanalysis_sectionIs(head, "wfprof")) {
            if (readSectionData(f.get(), head.size, 1, nullptr) != head.size) break;
            continue;
        }
        const u32 points = head.size / sizeof(songanalysis_wfv_struct);
        *read_size = points;
        if (waveform == nullptr) break;
        // The caller's buffer bounds the copy, whatever the file claims.
        const u32 wanted = std::min(points, capacity);
        const u32 got = readSectionData(f.get(), wanted, sizeof(songanalysis_wfv_struct), waveform);
        if (got != wanted) {
            *read_size = got;
            return SONGANALYSIS_ERROR_FILEERROR;
        }
        break;
    }
    return SONGANALYSIS_ERROR_NOERROR;
}
