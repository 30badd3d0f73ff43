// The save after a grid edit. When the sections a save owns keep their names and sizes, they
// are written over the old ones and the fixed tempo replaces the old one near the end of the
// file. When a grid grew or shrank the later sections cannot stay in place, so the file is
// rewritten whole: the owned sections anew, every other section copied byte for byte.
#include "songanalysis/chksum.h"
#include "songanalysis/songanalysis_resultfile.h"

#include "orvsys/debugmsg.h"
#include "orvsys/lebytes.h"
#include "orvsys/ufopen.h"
#include "orvsys/uniquefile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unistd.h>

namespace {

constexpr long kSectionHeadBytes = 12;
// The old fixed tempo is looked for this far back from the end of the file.
constexpr long kFixbpmSearchBytes = 32;

bool skip(FILE *fp, u32 bytes) {
    return readSectionData(fp, bytes, 1, nullptr) == bytes;
}

// True when the file starts with exactly these sections' names and sizes.
bool sameLayout(FILE *fp, const std::vector<songanalysis_section> &sections) {
    if (std::fseek(fp, 0, SEEK_SET) != 0) return false;
    for (const songanalysis_section &s : sections) {
        if (s.data.empty()) continue;
        const songanalysis_section_head head = songanalysis_readSectionHead(fp);
        if (std::memcmp(head.name, s.name.data(), s.name.size()) != 0 || head.size != s.data.size())
            return false;
        if (!skip(fp, head.size)) return false;
    }
    return true;
}

long sizeOf(FILE *fp) {
    if (std::fseek(fp, 0, SEEK_END) != 0) return -1;
    return std::ftell(fp);
}

// The offset of the old "fixbpm" section among the last bytes of the file, or -1.
long findFixbpm(FILE *fp, long size) {
    for (long off = size - 8; off >= size - kFixbpmSearchBytes && off >= 0; off -= 4) {
        std::array<char, 8> name{};
        if (std::fseek(fp, off, SEEK_SET) != 0 || std::fread(name.data(), 1, name.size(), fp) != name.size())
            continue;
        if (std::memcmp(name.data(), "fixbpm", 6) == 0) return off;
    }
    return -1;
}

songanalysis_error writeInPlace(FILE *fp, const std::vector<songanalysis_section> &head,
                                const songanalysis_section &fixbpm) {
    if (std::fseek(fp, 0, SEEK_SET) != 0 || !songanalysis_writeSections(fp, head) || std::fflush(fp) != 0)
        return SONGANALYSIS_ERROR_FILEERROR;
    const long size = sizeOf(fp);
    if (size < 0) return SONGANALYSIS_ERROR_FILEERROR;
    long at = findFixbpm(fp, size);
    if (at >= 0) {
        // The old seal goes; the new one is appended after the fixed tempo.
        if (size > 4 && ftruncate(fileno(fp), size - 4) != 0) return SONGANALYSIS_ERROR_FILEERROR;
    } else {
        at = std::max(size - 4, 0L);
    }
    if (std::fseek(fp, at, SEEK_SET) != 0 || !songanalysis_writeSections(fp, {fixbpm}) ||
        std::fflush(fp) != 0)
        return SONGANALYSIS_ERROR_FILEERROR;
    writeCRC32(fp);
    return std::ferror(fp) != 0 ? SONGANALYSIS_ERROR_FILEERROR : SONGANALYSIS_ERROR_NOERROR;
}

// Copies one section (head and data) from the old file to the new one.
bool copySection(FILE *from, FILE *to, const songanalysis_section_head &head) {
    std::array<u8, kSectionHeadBytes> raw{};
    std::memcpy(raw.data(), head.name, sizeof head.name);
    orv::putLE32(raw.data() + 8, head.size);
    if (std::fwrite(raw.data(), 1, raw.size(), to) != raw.size()) return false;
    std::array<u8, 8192> buffer{};
    for (u32 left = head.size; left > 0;) {
        const size_t n = std::min<size_t>(left, buffer.size());
        if (std::fread(buffer.data(), 1, n, from) != n || std::fwrite(buffer.data(), 1, n, to) != n)
            return false;
        left -= static_cast<u32>(n);
    }
    return true;
}

songanalysis_error rewrite(FILE *old, const char *sarFileName, const std::vector<songanalysis_section> &head,
                           const songanalysis_section &fixbpm) {
    songanalysis_atomicFile out(sarFileName);
    if (out.get() == nullptr) return SONGANALYSIS_ERROR_FILEERROR;
    if (!songanalysis_writeSections(out.get(), head) || std::fseek(old, 0, SEEK_SET) != 0)
        return SONGANALYSIS_ERROR_FILEERROR;
    for (;;) {
        const songanalysis_section_head section = songanalysis_readSectionHead(old);
        if (section.size == 0) break;
        const bool ok = songanalysis_isOwnedSection(section) ? skip(old, section.size)
                                                             : copySection(old, out.get(), section);
        // A section that runs past the end: the old file is damaged and stays as it is.
        if (!ok)
            return std::ferror(out.get()) != 0 ? SONGANALYSIS_ERROR_FILEERROR : SONGANALYSIS_ERROR_FILEFORMAT;
    }
    if (!songanalysis_writeSections(out.get(), {fixbpm})) return SONGANALYSIS_ERROR_FILEERROR;
    writeCRC32(out.get());
    if (std::ferror(out.get()) != 0 || !out.commit()) return SONGANALYSIS_ERROR_FILEERROR;
    return SONGANALYSIS_ERROR_NOERROR;
}

} // namespace

songanalysis_error songanalysis_editResultsInPlace(songanalysis_struct *sa, const char *sarFileName) {
    std::vector<songanalysis_section> head;
    const songanalysis_error built = songanalysis_headSections(sa, &head);
    const songanalysis_section fixbpm = songanalysis_fixbpmSection(sa);
    orv::UniqueFile f(ufopen(sarFileName, "rb+"));
    if (!f) {
        debugmsg("\n sa_saveResults(): Error opening file %s", sarFileName);
        return SONGANALYSIS_ERROR_FILEERROR;
    }
    const songanalysis_error written = sameLayout(f.get(), head)
                                           ? writeInPlace(f.get(), head, fixbpm)
                                           : rewrite(f.get(), sarFileName, head, fixbpm);
    return written != SONGANALYSIS_ERROR_NOERROR ? written : built;
}
