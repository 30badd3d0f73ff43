// Validation of a saved analysis: the result file's own seal, then, through the checksums it
// recorded, the audio, seek-table and waveform files.
#include "songanalysis/chksum.h"
#include "songanalysis/songanalysis.h"
#include "songanalysis/songanalysis_sections.h"

#include "orvsys/lebytes.h"
#include "orvsys/ufopen.h"
#include "orvsys/uniquefile.h"

#include <array>

namespace {

// One recorded checksum: the file it names and how that file's CRC is taken.
struct CrossCheck {
    const char *section;
    const char *path;
    int zeroLast4Bytes; // 1 for files sealed by the save, 0 for the audio file
};

songanalysis_error compare(FILE *sar, u32 size, const CrossCheck &check) {
    std::array<u8, 4> raw{};
    if (size < raw.size() || std::fread(raw.data(), 1, raw.size(), sar) != raw.size())
        return SONGANALYSIS_ERROR_FILECORRUPTED;
    if (readSectionData(sar, size - 4, 1, nullptr) != size - 4) return SONGANALYSIS_ERROR_FILECORRUPTED;
    orv::UniqueFile f(ufopen(check.path, "rb"));
    if (!f) return SONGANALYSIS_ERROR_FILEERROR;
    const u32 crc = calcCRC32(f.get(), 0, check.zeroLast4Bytes);
    return crc == orv::getLE32(raw.data()) ? SONGANALYSIS_ERROR_NOERROR : SONGANALYSIS_ERROR_FILECORRUPTED;
}

songanalysis_error validateResultFile(const char *sarFileName, const std::array<CrossCheck, 3> &checks) {
    orv::UniqueFile f(ufopen(sarFileName, "rb"));
    if (!f) return SONGANALYSIS_ERROR_FILEERROR;
    if (checkSelfCRC32(f.get()) == 0) return SONGANALYSIS_ERROR_FILECORRUPTED;
    if (std::fseek(f.get(), 0, SEEK_SET) != 0) return SONGANALYSIS_ERROR_FILEERROR;
    for (;;) {
        const songanalysis_section_head head = songanalysis_readSectionHead(f.get());
        if (head.size == 0) return SONGANALYSIS_ERROR_NOERROR;
        const CrossCheck *check = nullptr;
        for (const CrossCheck &c : checks)
            if (c.path != nullptr && songanalysis_sectionIs(head, c.section)) check = &c;
        if (check == nullptr) {
            if (readSectionData(f.get(), head.size, 1, nullptr) != head.size)
                return SONGANALYSIS_ERROR_FILECORRUPTED;
            continue;
        }
        if (const songanalysis_error e = compare(f.get(), head.size, *check); e != SONGANALYSIS_ERROR_NOERROR)
            return e;
    }
}

} // namespace

songanalysis_error songanalysis_validate(const char *sarFileName, const char *sekFileName,
                                         const char *wfvFileName, const char *audFileName) {
    if (sarFileName != nullptr) {
        const std::array<CrossCheck, 3> checks{CrossCheck{"sekcs", sekFileName, 1},
                                               CrossCheck{"wfvcs", wfvFileName, 1},
                                               CrossCheck{"songcs", audFileName, 0}};
        return validateResultFile(sarFileName, checks);
    }
    if (sekFileName == nullptr) return SONGANALYSIS_ERROR_NOERROR;
    orv::UniqueFile f(ufopen(sekFileName, "rb"));
    if (!f) return SONGANALYSIS_ERROR_FILEERROR;
    return checkSelfCRC32(f.get()) != 0 ? SONGANALYSIS_ERROR_NOERROR : SONGANALYSIS_ERROR_FILECORRUPTED;
}
