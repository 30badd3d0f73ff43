// The waveform file: its layout, the points per resolution, the smoothing of the peaks, the
// chunks it is written in, the refused resolutions, and reading it back in slices through a
// record of loaded results.
#include "snd/orvcorelib/songanalysis/analysis/analysis_support.h"

#include "orvsys/lebytes.h"
#include "songanalysis/songanalysis_handle.h"
#include "songanalysis/songanalysis_waveform.h"
#include "support/tempdir.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

using namespace satest;
using Point = songanalysis_wfv_struct;
using Bytes = std::vector<unsigned char>;

constexpr double kFps = kRate / kFrame;

std::vector<Point> rampPoints(size_t n) {
    std::vector<Point> points(n);
    for (size_t i = 0; i < n; ++i)
        points[i] = Point{static_cast<s8>(i % 100),
                          static_cast<s8>(-static_cast<int>(i % 90)),
                          static_cast<u8>(i % 190),
                          static_cast<u8>(63 + i % 128),
                          0,
                          0,
                          0,
                          0xF0};
    return points;
}

Point pointAt(const Bytes &file, size_t offset) {
    Point p;
    std::memcpy(&p, file.data() + offset, sizeof p);
    return p;
}

TEST(WaveformFile, LayoutIsVersionHeaderRecordAndPoints) {
    orvtest::TempDir dir;
    const std::string path = dir.file("a.wfv");
    ASSERT_EQ(songanalysis_writeWaveformFile(rampPoints(10), path.c_str(), 300, 128, 420),
              SONGANALYSIS_ERROR_NOERROR);
    const Bytes file = orvtest::readFileBytes(path);
    ASSERT_GE(file.size(), 12u);
    EXPECT_EQ(orv::getLE32(file.data()), 0x03010500u);
    const Bytes header(file.begin() + 4, file.begin() + 12);
    EXPECT_EQ(header, (Bytes{0xFF, 0xFF, 0x2C, 0x01, 0xFF, 0xFF, 0xFF, 0xFF})); // 300 ms
    EXPECT_EQ((file.size() - 12) % 8, 0u);
    for (size_t off = 12; off < file.size(); off += 8) {
        const Point p = pointAt(file, off);
        Point coloured = p;
        ConvHSL2RGB(&coloured);
        EXPECT_EQ(std::memcmp(&coloured, &p, sizeof p), 0) << off;
    }
}

// One point per resolution: interpolated when a point lasts longer than the resolution,
// averaged otherwise.
TEST(WaveformFile, OnePointPerResolution) {
    orvtest::TempDir dir;
    const size_t n = 1000;
    for (u32 res : {1u, 5u, 10u, 50u, 200u, 1000u}) {
        SCOPED_TRACE(res);
        const std::string path = dir.file("r.wfv");
        ASSERT_EQ(songanalysis_writeWaveformFile(rampPoints(n), path.c_str(), res, 127, 420),
                  SONGANALYSIS_ERROR_NOERROR);
        const double step = res * kFps / 1000.0;
        const double expected = step < 1.0 ? (n - 1) / step : std::floor(n - step) / step;
        const size_t count = (orvtest::readFileBytes(path).size() - 12) / 8;
        // The position advances in single precision: a little drift over many steps.
        EXPECT_NEAR(static_cast<double>(count), expected, 1.5 + expected * 3e-4);
    }
}

// A lone loud point: the peak rises at once and falls back by 8 % of the difference per
// output point.
TEST(WaveformFile, PeaksRiseAtOnceAndDecaySlowly) {
    orvtest::TempDir dir;
    const std::string path = dir.file("s.wfv");
    std::vector<Point> points(200, Point{0, 0, 40, 100, 0, 0, 0, 0xF0});
    points[100].xp = 100;
    points[100].xn = -100;
    ASSERT_EQ(songanalysis_writeWaveformFile(points, path.c_str(), 5, 127, 420), SONGANALYSIS_ERROR_NOERROR);
    const Bytes file = orvtest::readFileBytes(path);
    std::vector<int> xp, xn;
    for (size_t off = 12; off < file.size(); off += 8) {
        xp.push_back(pointAt(file, off).xp);
        xn.push_back(pointAt(file, off).xn);
    }
    // 100 x 127 / 128 = 99; the first output on it reaches 99 x 0.99, truncated.
    size_t first = 0;
    while (first < xp.size() && xp[first] == 0) ++first;
    ASSERT_LT(first + 20, xp.size());
    EXPECT_EQ(xp[first], 98);
    EXPECT_EQ(xn[first], -98);
    size_t last = first;
    while (xp[last + 1] == 98) ++last;
    // The loud point is the nearest one for about 1 / step outputs; they all stay at 98.
    EXPECT_NEAR(static_cast<double>(last - first + 1), 1000.0 / (5 * kFps), 1.0);
    const int decay[] = {90, 82, 75, 69};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(xp[last + 1 + i], decay[i]) << i;
        EXPECT_EQ(xn[last + 1 + i], -decay[i]) << i;
    }
    for (size_t i = last + 1; i + 1 < xp.size(); ++i) {
        ASSERT_LE(xp[i + 1], xp[i]);
        ASSERT_EQ(xn[i], -xp[i]);
    }
    EXPECT_EQ(xp.back(), 0);
}

// The chunk size only decides how much is written at once: the smoothing carries over, and
// the file is the same whatever the chunk.
TEST(WaveformFile, ChunksDoNotShowInTheFile) {
    orvtest::TempDir dir;
    const auto points = rampPoints(5000);
    const std::string small = dir.file("small.wfv"), large = dir.file("large.wfv");
    ASSERT_EQ(songanalysis_writeWaveformFile(points, small.c_str(), 5, 127, 420), SONGANALYSIS_ERROR_NOERROR);
    ASSERT_EQ(songanalysis_writeWaveformFile(points, large.c_str(), 5, 127, 60000),
              SONGANALYSIS_ERROR_NOERROR);
    const Bytes a = orvtest::readFileBytes(small);
    EXPECT_GT(a.size(), 12u + 8u * 2048u); // many chunks of 512
    EXPECT_EQ(a, orvtest::readFileBytes(large));
}

TEST(WaveformFile, RefusedResolutionsAndPaths) {
    orvtest::TempDir dir;
    const auto points = rampPoints(10);
    struct Case {
        const char *name;
        u32 res;
        std::string path;
        songanalysis_error expected;
        bool written;
    };
    const Case cases[] = {
        {"resolution 0 would never move on", 0, dir.file("zero.wfv"), SONGANALYSIS_ERROR_OUTOFRANGE, false},
        {"resolution beyond the header's 16 bits", 32768, dir.file("big.wfv"), SONGANALYSIS_ERROR_OUTOFRANGE,
         false},
        {"largest resolution", 32767, dir.file("max.wfv"), SONGANALYSIS_ERROR_NOERROR, true},
        {"folder that does not exist", 5, dir.file("none/x.wfv"), SONGANALYSIS_ERROR_FILEERROR, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(songanalysis_writeWaveformFile(points, c.path.c_str(), c.res, 127, 420), c.expected);
        EXPECT_EQ(std::filesystem::exists(c.path), c.written);
    }
    EXPECT_EQ(songanalysis_writeWaveformFile(points, nullptr, 5, 127, 420), SONGANALYSIS_ERROR_FILEERROR);
    // No points: the version and the header record only.
    const std::string empty = dir.file("empty.wfv");
    ASSERT_EQ(songanalysis_writeWaveformFile({}, empty.c_str(), 5, 127, 420), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(orvtest::readFileBytes(empty).size(), 12u);
}

// A record of loaded results with the file open for reading.
Record openedOn(const std::string &path, songanalysis_error expected = SONGANALYSIS_ERROR_NOERROR) {
    auto sa = makeRecord();
    EXPECT_EQ(songanalysis_openForResults(sa.get(), SONGANALYSIS_FEATURE_BEATS, orv::kAnalysisSampleRate,
                                          60000, 2, 0.0f, SONGANALYSIS_GENRE_DEFAULT, nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(songanalysis_openWaveformFile(sa.get(), path.c_str()), expected);
    return sa;
}

TEST(WaveformFileRead, SlicesComeBackAsWritten) {
    orvtest::TempDir dir;
    const std::string path = dir.file("rt.wfv");
    ASSERT_EQ(songanalysis_writeWaveformFile(rampPoints(3000), path.c_str(), 10, 127, 420),
              SONGANALYSIS_ERROR_NOERROR);
    const Bytes file = orvtest::readFileBytes(path);
    const u32 count = static_cast<u32>((file.size() - 12) / 8);
    auto sa = openedOn(path);
    const songanalysis_handle *h = songanalysis_getHandle(sa.get());
    EXPECT_EQ(h->wfvSize, static_cast<s32>(count));
    EXPECT_EQ(h->wfvResolution, 10);
    EXPECT_EQ(h->wfvHeaderSize, 12);
    EXPECT_EQ(h->wfvHaveExtraInfo, 1);

    struct Case {
        u32 offsetMs, asked, got;
    };
    const Case cases[] = {
        {0, 10, 10}, {37, 5, 5}, {count * 10 - 25, 10, 3}, {count * 10, 10, 0}, {count * 10 + 500, 4, 0},
        {0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.offsetMs);
        std::vector<Point> out(c.asked + 1, Point{7, 7, 7, 7, 7, 7, 7, 7});
        u32 n = c.asked;
        EXPECT_EQ(songanalysis_readWaveform(sa.get(), out.data(), c.offsetMs, &n),
                  SONGANALYSIS_ERROR_NOERROR);
        EXPECT_EQ(n, c.got);
        const size_t first = c.offsetMs / 10;
        for (u32 i = 0; i < n; ++i)
            EXPECT_EQ(std::memcmp(&out[i], file.data() + 12 + 8 * (first + i), 8), 0) << i;
    }
}

// The result save appends a 4-byte checksum: it is no point.
TEST(WaveformFileRead, AppendedChecksumIsNoPoint) {
    orvtest::TempDir dir;
    const std::string path = dir.file("cs.wfv");
    ASSERT_EQ(songanalysis_writeWaveformFile(rampPoints(100), path.c_str(), 5, 127, 420),
              SONGANALYSIS_ERROR_NOERROR);
    Bytes file = orvtest::readFileBytes(path);
    const u32 count = static_cast<u32>((file.size() - 12) / 8);
    file.insert(file.end(), {0x12, 0x34, 0x56, 0x78});
    orvtest::writeFileBytes(path, file);
    auto sa = openedOn(path);
    EXPECT_EQ(songanalysis_getHandle(sa.get())->wfvSize, static_cast<s32>(count));
    std::vector<Point> out(10);
    u32 n = 10;
    EXPECT_EQ(songanalysis_readWaveform(sa.get(), out.data(), (count - 2) * 5, &n),
              SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(n, 2u);
}

// Files as other writers left them: without the header record (5 ms per point, 4-byte head),
// with a version of another release, with a bad resolution, cut short.
TEST(WaveformFileRead, HeadsOfOtherFiles) {
    orvtest::TempDir dir;
    const Point a{1, -1, 10, 100, 1, 2, 3, 0xF0}, b{2, -2, 20, 110, 4, 5, 6, 0xF0},
        c{3, -3, 30, 120, 7, 8, 9, 0xF0};
    auto fileOf = [](u32 version, const std::vector<Bytes> &records) {
        Bytes f(4);
        orv::putLE32(f.data(), version);
        for (const Bytes &r : records) f.insert(f.end(), r.begin(), r.end());
        return f;
    };
    auto bytesOf = [](const Point &p) {
        return Bytes(reinterpret_cast<const u8 *>(&p), reinterpret_cast<const u8 *>(&p) + 8);
    };
    auto header = [](s16 res) {
        Bytes h{0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
        orv::putLE16(h.data() + 2, static_cast<u16>(res));
        return h;
    };
    struct Case {
        const char *name;
        Bytes file;
        songanalysis_error error;
        s32 headerSize, resolution, points;
        bool warns;
    };
    const Case cases[] = {
        {"old file without header record", fileOf(0x03010000, {bytesOf(a), bytesOf(b), bytesOf(c)}),
         SONGANALYSIS_ERROR_NOERROR, 4, 5, 3, false},
        {"header record of 20 ms", fileOf(0x0301FFFF, {header(20), bytesOf(a), bytesOf(b)}),
         SONGANALYSIS_ERROR_NOERROR, 12, 20, 2, false},
        {"later release", fileOf(0x03020000, {header(5), bytesOf(a)}), SONGANALYSIS_ERROR_NOERROR, 12, 5, 1,
         true},
        {"earlier release", fileOf(0x0300FFFF, {bytesOf(a), bytesOf(b)}), SONGANALYSIS_ERROR_NOERROR, 4, 5, 2,
         true},
        {"resolution 0", fileOf(0x03010500, {header(0), bytesOf(a)}), SONGANALYSIS_ERROR_FILEFORMAT, 4, 5, 0,
         false},
        {"negative resolution", fileOf(0x03010500, {header(-5), bytesOf(a)}), SONGANALYSIS_ERROR_FILEFORMAT,
         4, 5, 0, false},
        {"cut inside the first record", Bytes{0x00, 0x05, 0x01, 0x03, 1, 2, 3}, SONGANALYSIS_ERROR_FILEERROR,
         4, 5, 0, false},
        {"empty", Bytes{}, SONGANALYSIS_ERROR_FILEERROR, 4, 5, 0, false},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        const std::string path = dir.file("h.wfv");
        orvtest::writeFileBytes(path, k.file);
        testing::internal::CaptureStdout();
        auto sa = openedOn(path, k.error);
        const std::string printed = testing::internal::GetCapturedStdout();
        const songanalysis_handle *h = songanalysis_getHandle(sa.get());
        EXPECT_EQ(h->wfvFile != nullptr, k.error == SONGANALYSIS_ERROR_NOERROR);
        EXPECT_EQ(h->wfvHeaderSize, k.headerSize);
        EXPECT_EQ(h->wfvResolution, k.resolution);
        EXPECT_EQ(h->wfvSize, k.points);
        EXPECT_EQ(printed.find("WARNING: SA-APP=03010500 SA-FILE=") != std::string::npos, k.warns) << printed;
        const bool extra = k.file.size() >= 6 && k.file[4] == 0xFF && k.file[5] == 0xFF;
        EXPECT_EQ(printed.find("WFV: extra information found res=") != std::string::npos,
                  orv::kDeviceConfig && extra)
            << printed;
        if (k.error != SONGANALYSIS_ERROR_NOERROR) continue;
        // The third point of the old file lies at 10 to 14 ms.
        Point out{};
        u32 n = 1;
        ASSERT_EQ(
            songanalysis_readWaveform(sa.get(), &out, static_cast<u32>((k.points - 1) * k.resolution), &n),
            SONGANALYSIS_ERROR_NOERROR);
        ASSERT_EQ(n, 1u);
        const Point &expected = k.points == 3 ? c : k.points == 2 ? b : a;
        EXPECT_EQ(std::memcmp(&out, &expected, 8), 0);
    }
    auto missing = openedOn(dir.file("missing.wfv"), SONGANALYSIS_ERROR_FILEERROR);
    EXPECT_EQ(songanalysis_openWaveformFile(nullptr, dir.file("x").c_str()), SONGANALYSIS_ERROR_ERROR);
}

// Slices come from a waveform file; the points of an analysis are handed out whole.
TEST(WaveformFileRead, ModeDependsOnWhereThePointsAre) {
    orvtest::TempDir dir;
    const std::string path = dir.file("m.wfv");
    ASSERT_EQ(songanalysis_writeWaveformFile(rampPoints(100), path.c_str(), 5, 127, 420),
              SONGANALYSIS_ERROR_NOERROR);
    Point out[4];
    u32 n = 4;

    auto noFile = makeRecord();
    EXPECT_EQ(songanalysis_readWaveform(noFile.get(), out, 0, &n), SONGANALYSIS_ERROR_MODE);
    EXPECT_EQ(songanalysis_getWaveform(noFile.get(), nullptr, &n, nullptr), SONGANALYSIS_ERROR_MODE);

    auto loaded = openedOn(path);
    Point *points = nullptr;
    EXPECT_EQ(songanalysis_getWaveform(loaded.get(), &points, &n, nullptr), SONGANALYSIS_ERROR_MODE);
    EXPECT_EQ(songanalysis_readWaveform(loaded.get(), out, 0, nullptr), SONGANALYSIS_ERROR_ERROR);
    songanalysis_close(loaded.get());
    EXPECT_EQ(songanalysis_readWaveform(loaded.get(), out, 0, &n), SONGANALYSIS_ERROR_MODE);

    auto analysing = makeRecord();
    ASSERT_EQ(songanalysis_open(analysing.get(), SONGANALYSIS_FEATURE_ALL, orv::kAnalysisSampleRate, 1000, 2,
                                0.0f, SONGANALYSIS_GENRE_DEFAULT, nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    ASSERT_EQ(songanalysis_openWaveformFile(analysing.get(), path.c_str()), SONGANALYSIS_ERROR_NOERROR);
    n = 4;
    EXPECT_EQ(songanalysis_readWaveform(analysing.get(), out, 0, &n), SONGANALYSIS_ERROR_MODE);
    EXPECT_EQ(songanalysis_getWaveform(analysing.get(), &points, &n, nullptr), SONGANALYSIS_ERROR_MODE);
}

} // namespace
