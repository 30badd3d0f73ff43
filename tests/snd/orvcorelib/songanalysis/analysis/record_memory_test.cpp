// The heap a record holds: the unit keeps one record per loaded song, so a record of loaded
// results must not carry the working memory of an analysis. Measured from the allocator,
// around everything the record does.
#include "snd/orvcorelib/songanalysis/analysis/analysis_support.h"

#include "songanalysis/songanalysis_handle.h"
#include "songanalysis/songanalysis_waveform.h"
#include "support/tempdir.h"

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's count of live heap bytes (its header comes only with clang).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {

using namespace satest;

size_t allocatedBytes() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
#endif
}

constexpr u32 kSongMs = 5 * 60 * 1000;
constexpr size_t kLoadedLimit = 200 * 1024;

// A waveform file of a five-minute song at the default 5 ms per point.
void writeWaveform(const std::string &path) {
    const u32 frames = static_cast<u32>(kSongMs / 1000.0 * kRate / kFrame);
    std::vector<songanalysis_wfv_struct> points(frames);
    for (u32 i = 0; i < frames; ++i) points[i] = songanalysis_wfv_struct{20, -20, 40, 120, 0, 0, 0, 0xF0};
    ASSERT_EQ(songanalysis_writeWaveformFile(points, path.c_str(), 5, 127, 420), SONGANALYSIS_ERROR_NOERROR);
}

TEST(AnalysisRecordMemory, LoadedFiveMinuteSongStaysSmall) {
    orvtest::TempDir dir;
    const std::string wfv = dir.file("song.wfv");
    writeWaveform(wfv);
    std::vector<u32> beats, downbeats;
    for (u32 ms = 250; ms < kSongMs; ms += 500) beats.push_back(ms);
    for (size_t i = 0; i < beats.size(); i += 4) downbeats.push_back(beats[i]);

    const size_t before = allocatedBytes();
    {
        auto sa = makeRecord();
        // What the result loader does: open for results with the stored features less the
        // waveform points, fill the grids, open the waveform file, take the stored tempo.
        ASSERT_EQ(songanalysis_openForResults(
                      sa.get(), SONGANALYSIS_FEATURE_ALL & ~SONGANALYSIS_FEATURE_WAVEFORM,
                      orv::kAnalysisSampleRate, kSongMs, 2, 120.0f, SONGANALYSIS_GENRE_DEFAULT, nullptr),
                  SONGANALYSIS_ERROR_NOERROR);
        songanalysis_setBeats(sa.get(), beats.data(), static_cast<u32>(beats.size()));
        songanalysis_setDownbeats(sa.get(), downbeats.data(), static_cast<u32>(downbeats.size()));
        ASSERT_EQ(songanalysis_openWaveformFile(sa.get(), wfv.c_str()), SONGANALYSIS_ERROR_NOERROR);
        sa->beatsPerMinute = 120.0f;
        ASSERT_EQ(songanalysis_setFixedBPM(sa.get(), 120.0f), SONGANALYSIS_ERROR_NOERROR);
        std::vector<songanalysis_wfv_struct> slice(420);
        u32 n = static_cast<u32>(slice.size());
        ASSERT_EQ(songanalysis_readWaveform(sa.get(), slice.data(), 60000, &n), SONGANALYSIS_ERROR_NOERROR);
        const size_t held = allocatedBytes() - before;

        EXPECT_LT(held, kLoadedLimit);
        std::printf("a loaded five-minute record holds %zu bytes\n", held);
        EXPECT_EQ(songanalysis_getNumberOfBeats(sa.get()), beats.size());
        EXPECT_EQ(songanalysis_getNumberOfDownbeats(sa.get()), downbeats.size());
        EXPECT_EQ(n, slice.size());
    }
    EXPECT_EQ(allocatedBytes(), before);
}

// The same song opened for an analysis holds far more: the measurement sees the working
// memory, and close and destroy give all of it back.
TEST(AnalysisRecordMemory, AnalysisHoldsItsWorkingMemoryUntilDestroy) {
    const size_t before = allocatedBytes();
    {
        auto sa = makeRecord();
        const size_t created = allocatedBytes() - before;
        EXPECT_LT(created, 4096u);
        ASSERT_EQ(songanalysis_open(sa.get(), SONGANALYSIS_FEATURE_ALL, orv::kAnalysisSampleRate, kSongMs, 2,
                                    0.0f, SONGANALYSIS_GENRE_DEFAULT, nullptr),
                  SONGANALYSIS_ERROR_NOERROR);
        const size_t analysing = allocatedBytes() - before;
        EXPECT_GT(analysing, 3 * kLoadedLimit);
        songanalysis_close(sa.get());
        EXPECT_LT(allocatedBytes() - before, analysing);
    }
    EXPECT_EQ(allocatedBytes(), before);
}

} // namespace
