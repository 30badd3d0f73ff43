// The profile: a fixed number of points over the whole song, made from the in-memory points
// and read back from a result file's "wfprof" section, never past the caller's room.
#include "orvsys/lebytes.h"
#include "songanalysis/songanalysis_sections.h"
#include "songanalysis/songanalysis_waveform.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Point = songanalysis_wfv_struct;
using Bytes = std::vector<unsigned char>;

const Point kSentinel{7, 7, 7, 7, 7, 7, 7, 7};

bool isZero(const Point &p) {
    static const Point zero{};
    return std::memcmp(&p, &zero, sizeof p) == 0;
}

bool isSentinel(const Point &p) {
    return std::memcmp(&p, &kSentinel, sizeof p) == 0;
}

TEST(Profile, SpreadsTheSongOverItsPoints) {
    struct Case {
        const char *name;
        size_t songPoints;
        u32 wfpSize;
        size_t capacity;
        u32 written;
        size_t producedAtLeast;
    };
    const Case cases[] = {
        {"averaged, the last point left zero", 1000, 420, 420, 420, 419},
        {"interpolated from a short song", 100, 420, 420, 420, 410},
        {"room for fewer than asked", 1000, 420, 100, 100, 100},
        {"room for more than asked", 1000, 420, 1000, 420, 419},
        {"no points make a zero profile", 0, 420, 420, 420, 0},
        {"no profile points asked", 1000, 0, 420, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Point> song(c.songPoints, Point{40, -40, 60, 120, 0, 0, 0, 0xF0});
        std::vector<Point> out(c.capacity + 4, kSentinel);
        EXPECT_EQ(songanalysis_makeProfile(song, c.wfpSize, 127, std::span<Point>(out).first(c.capacity)),
                  c.written);
        size_t produced = 0;
        for (u32 i = 0; i < c.written; ++i) {
            if (isZero(out[i])) {
                // Zero points only after the produced ones.
                for (u32 j = i; j < c.written; ++j) ASSERT_TRUE(isZero(out[j])) << j;
                break;
            }
            ++produced;
            EXPECT_EQ(out[i].xp, 39) << i; // 40 x 127 / 128
            EXPECT_EQ(out[i].xn, -39) << i;
            EXPECT_EQ(out[i].h, 60) << i;
            EXPECT_EQ(out[i].v, 120) << i;
            EXPECT_EQ(out[i].padding, 0xF0) << i;
            EXPECT_NE(out[i].r + out[i].g + out[i].b, 0) << i;
        }
        EXPECT_GE(produced, c.producedAtLeast);
        for (size_t i = c.written; i < out.size(); ++i) ASSERT_TRUE(isSentinel(out[i])) << i;
    }
}

// A result file: sections of an 8-byte name and a little-endian size, then a checksum.
struct ResultFile {
    Bytes bytes;
    void section(const char *name, const Bytes &data, u32 claimedSize) {
        Bytes head(12, 0);
        std::strncpy(reinterpret_cast<char *>(head.data()), name, 8);
        orv::putLE32(head.data() + 8, claimedSize);
        bytes.insert(bytes.end(), head.begin(), head.end());
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
    void section(const char *name, const Bytes &data) { section(name, data, static_cast<u32>(data.size())); }
};

Bytes profileBytes(u32 points) {
    Bytes b;
    for (u32 i = 0; i < points; ++i) {
        const Point p{
            static_cast<s8>(i % 100), static_cast<s8>(-(i % 100)), static_cast<u8>(i), 100, 1, 2, 3, 0xF0};
        b.insert(b.end(), reinterpret_cast<const u8 *>(&p), reinterpret_cast<const u8 *>(&p) + 8);
    }
    return b;
}

ResultFile resultWithProfile(u32 points) {
    ResultFile f;
    f.section("version", Bytes{0x00, 0x05, 0x01, 0x03});
    f.section("rawdata", Bytes(112, 0));
    f.section("gain", Bytes(16, 1));
    f.section("wfprof", profileBytes(points));
    f.section("fname", Bytes{'/', 'a', '.', 'm', 'p', '3'});
    f.bytes.insert(f.bytes.end(), {1, 2, 3, 4}); // the checksum
    return f;
}

TEST(ProfileRead, CopiesNoMoreThanTheCallersRoom) {
    orvtest::TempDir dir;
    const std::string path = dir.file("a.sar");
    orvtest::writeFileBytes(path, resultWithProfile(420).bytes);
    const Bytes expected = profileBytes(420);
    struct Case {
        u32 capacity;
        u32 copied;
    };
    for (const Case &c : {Case{10, 10}, Case{420, 420}, Case{1000, 420}, Case{0, 0}}) {
        SCOPED_TRACE(c.capacity);
        std::vector<Point> out(c.capacity + 4, kSentinel);
        u32 readSize = 99;
        EXPECT_EQ(songanalysis_readWaveformProfile(out.data(), &readSize, path.c_str(), c.capacity),
                  SONGANALYSIS_ERROR_NOERROR);
        EXPECT_EQ(readSize, 420u); // what the file holds
        EXPECT_EQ(std::memcmp(out.data(), expected.data(), 8 * c.copied), 0);
        for (size_t i = c.copied; i < out.size(); ++i) ASSERT_TRUE(isSentinel(out[i])) << i;
    }
    u32 readSize = 0;
    EXPECT_EQ(songanalysis_readWaveformProfile(nullptr, &readSize, path.c_str()), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(readSize, 420u);
    // The default room is the largest profile the analysis program makes.
    std::vector<Point> out(SONGANALYSIS_MAX_PROFILE_POINTS);
    EXPECT_EQ(songanalysis_readWaveformProfile(out.data(), &readSize, path.c_str()),
              SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(std::memcmp(out.data(), expected.data(), expected.size()), 0);
}

TEST(ProfileRead, FilesWithoutAUsableProfile) {
    orvtest::TempDir dir;
    const std::string path = dir.file("b.sar");
    struct Case {
        const char *name;
        ResultFile file;
        songanalysis_error error;
        u32 readSize;
    };
    ResultFile none;
    none.section("version", Bytes{0, 5, 1, 3});
    none.section("gain", Bytes(16, 0));
    ResultFile cut = resultWithProfile(50);
    cut.bytes.erase(cut.bytes.end() - (6 + 12 + 4 + 100), cut.bytes.end()); // inside the profile
    ResultFile hugeFirst;
    hugeFirst.section("version", Bytes{0, 5, 1, 3}, 0xFFFFFFF0u);
    hugeFirst.section("wfprof", profileBytes(3));
    ResultFile endsEarly;
    endsEarly.section("version", Bytes{0, 5, 1, 3});
    endsEarly.section("stop", Bytes{}); // a head of size 0 ends the walk
    endsEarly.section("wfprof", profileBytes(3));
    const Case cases[] = {
        {"no profile section", none, SONGANALYSIS_ERROR_NOERROR, 0},
        {"profile cut short", cut, SONGANALYSIS_ERROR_FILEERROR, 50 - 13},
        {"a section larger than the file", hugeFirst, SONGANALYSIS_ERROR_NOERROR, 0},
        {"a head of size 0 before the profile", endsEarly, SONGANALYSIS_ERROR_NOERROR, 0},
        {"empty file", ResultFile{}, SONGANALYSIS_ERROR_NOERROR, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        orvtest::writeFileBytes(path, c.file.bytes);
        std::vector<Point> out(100);
        u32 readSize = 77;
        EXPECT_EQ(songanalysis_readWaveformProfile(out.data(), &readSize, path.c_str(), 100), c.error);
        EXPECT_EQ(readSize, c.readSize);
    }
    u32 readSize = 0;
    EXPECT_EQ(songanalysis_readWaveformProfile(nullptr, &readSize, dir.file("missing.sar").c_str()),
              SONGANALYSIS_ERROR_FILEERROR);
    EXPECT_EQ(songanalysis_readWaveformProfile(nullptr, nullptr, path.c_str()), SONGANALYSIS_ERROR_FILEERROR);
}

TEST(ProfileRead, SectionDataIsReadOrSkipped) {
    orvtest::TempDir dir;
    const std::string path = dir.file("c.bin");
    orvtest::writeFileBytes(path, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    FILE *f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(readSectionData(f, 2, 2, nullptr), 2u); // skips 4 bytes
    u8 got[4] = {};
    EXPECT_EQ(readSectionData(f, 2, 2, got), 2u);
    EXPECT_EQ(got[0], 5);
    EXPECT_EQ(got[3], 8);
    EXPECT_EQ(readSectionData(f, 4, 1, got), 2u); // two bytes were left
    EXPECT_EQ(readSectionData(f, 0xFFFFFFFF, 0xFFFFFFFF, nullptr), 0u);
    std::rewind(f);
    const songanalysis_section_head head = songanalysis_readSectionHead(f);
    EXPECT_EQ(head.size, 0u); // a head needs 12 bytes, the file has 10: it ends the walk
    std::fclose(f);
    EXPECT_EQ(readSectionData(nullptr, 1, 1, got), 0u);
}

} // namespace
