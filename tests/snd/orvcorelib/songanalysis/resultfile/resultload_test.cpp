// Loading result files, hand-made ones included: what a damaged or foreign file may not do
// (load at all, or read past its sections or the grids' room) and what a file of either
// configuration carries into a record.
#include "resultfile_support.h"
#include "saved_song.h"

#include <cmath>
#include <limits>

namespace rftest {
namespace {

struct LoadCase {
    const char *what;
    Bytes file;
    songanalysis_error expected;
};

songanalysis_error loadBytes(const Bytes &file, satest::Record &holder) {
    orvtest::TempDir dir;
    const std::string path = dir.file("x.sar");
    orvtest::writeFileBytes(path, file);
    return songanalysis_openAndLoadResults(holder.get(), path.c_str(), nullptr);
}

songanalysis_struct with(void (*change)(songanalysis_struct &)) {
    songanalysis_struct r = storedRecord();
    change(r);
    return r;
}

TEST(ResultLoad, RefusesFilesThatDoNotStartAsAResultFile) {
    const Bytes record = recordBytes(storedRecord());
    std::vector<LoadCase> cases{
        {"record first",
         [&] {
             Bytes f = sectionBytes("rawdata", record);
             seal(f);
             return f;
         }(),
         SONGANALYSIS_ERROR_FILEFORMAT},
        {"version of 8 bytes",
         [&] {
             Bytes f = sectionBytes("version", Bytes(8, 0));
             append(f, sectionBytes("rawdata", record));
             seal(f);
             return f;
         }(),
         SONGANALYSIS_ERROR_FILEFORMAT},
        {"record of 100 bytes",
         [&] {
             Bytes f = sectionBytes("version", le32(SONGANALYSIS_VERSION));
             append(f, sectionBytes("rawdata", Bytes(100, 0)));
             seal(f);
             return f;
         }(),
         SONGANALYSIS_ERROR_FILEFORMAT},
        {"record cut short",
         [&] {
             Bytes f = sectionBytes("version", le32(SONGANALYSIS_VERSION));
             append(f, sectionBytes("rawdata", Bytes(50, 0), 112));
             return f;
         }(),
         SONGANALYSIS_ERROR_FILEFORMAT},
        {"empty file", Bytes{}, SONGANALYSIS_ERROR_FILEFORMAT},
        {"genre 4",
         handMadeFile(with([](songanalysis_struct &r) { r.genre = SONGANALYSIS_GENRE_CUSTOM; }), {}),
         SONGANALYSIS_ERROR_FILEFORMAT},
        {"genre -1",
         handMadeFile(with([](songanalysis_struct &r) { r.genre = static_cast<songanalysis_genre>(-1); }),
                      {}),
         SONGANALYSIS_ERROR_FILEFORMAT},
        {"rate 0", handMadeFile(with([](songanalysis_struct &r) { r.inputSampleRate = 0; }), {}),
         SONGANALYSIS_ERROR_FILEFORMAT},
        {"frame size 0", handMadeFile(with([](songanalysis_struct &r) { r.frameSize = 0; }), {}),
         SONGANALYSIS_ERROR_FILEFORMAT},
        {"tempo not a number",
         handMadeFile(with([](songanalysis_struct &r) { r.beatsPerMinute = std::nanf(""); }), {}),
         SONGANALYSIS_ERROR_FILEFORMAT},
        {"tempo infinite",
         handMadeFile(with([](songanalysis_struct &r) { r.beatsPerMinute = INFINITY; }), {}),
         SONGANALYSIS_ERROR_FILEFORMAT},
        {"grid section past the end",
         handMadeFile(storedRecord(), {sectionBytes("beats", msList({500, 1000}), 4000)}),
         SONGANALYSIS_ERROR_FILEERROR},
        {"empty section before more",
         [&] {
             Bytes f =
                 handMadeFile(storedRecord(), {sectionBytes("nothing", {}), sectionBytes("fixbpm", le32(0))});
             return f;
         }(),
         SONGANALYSIS_ERROR_ERROR},
        {"minimal file", handMadeFile(storedRecord(), {}), SONGANALYSIS_ERROR_NOERROR},
    };
    for (const LoadCase &c : cases) {
        satest::Record holder = resultHolder();
        EXPECT_EQ(loadBytes(c.file, holder), c.expected) << c.what;
        // A failed load leaves the record closed and ready for another load.
        EXPECT_EQ(holder->isOpened != 0, c.expected == SONGANALYSIS_ERROR_NOERROR) << c.what;
    }
}

TEST(ResultLoad, OpenRecordsAndMissingFiles) {
    satest::Record holder = resultHolder();
    orvtest::TempDir dir;
    EXPECT_EQ(songanalysis_openAndLoadResults(holder.get(), dir.file("missing.sar").c_str(), nullptr),
              SONGANALYSIS_ERROR_FILEERROR);
    ASSERT_EQ(loadBytes(handMadeFile(storedRecord(), {}), holder), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(loadBytes(handMadeFile(storedRecord(), {}), holder), SONGANALYSIS_ERROR_ALREADYOPENED);
    songanalysis_close(holder.get());
    // A waveform file that cannot be opened fails the load.
    const std::string sar = dir.file("a.sar");
    orvtest::writeFileBytes(sar, handMadeFile(storedRecord(), {}));
    EXPECT_EQ(songanalysis_openAndLoadResults(holder.get(), sar.c_str(), dir.file("none.wfv").c_str()),
              SONGANALYSIS_ERROR_FILEERROR);
    EXPECT_EQ(holder->isOpened, 0u);
}

TEST(ResultLoad, OtherVersionsLoadWithAWarning) {
    for (auto [version, warns] : {std::pair{0x03020000u, true}, {0x0301FFFFu, false}, {0x03000000u, true}}) {
        satest::Record holder = resultHolder();
        testing::internal::CaptureStdout();
        EXPECT_EQ(loadBytes(handMadeFile(storedRecord(), {}, version), holder), SONGANALYSIS_ERROR_NOERROR);
        const std::string out = testing::internal::GetCapturedStdout();
        char line[64];
        std::snprintf(line, sizeof line, "WARNING: SA-APP=03010500 SA-FILE=%08x\n", version);
        EXPECT_EQ(out.find(line) != std::string::npos, warns) << std::hex << version << ": " << out;
    }
}

// A file written with the other configuration's rate and frame size loads into the same
// positions in ms.
TEST(ResultLoad, GridsInMsLoadInEitherConfiguration) {
    const std::vector<u32> beats{500, 1000, 1500, 2000, 2500};
    const std::vector<u32> downbeats{500, 2500};
    for (auto [rate, frame] : {std::pair{11025u, 256u}, {22050u, 128u}}) {
        satest::Record holder = resultHolder();
        const Bytes file =
            handMadeFile(storedRecord(rate, frame),
                         {sectionBytes("beats", msList(beats)), sectionBytes("dbeat", msList(downbeats))});
        ASSERT_EQ(loadBytes(file, holder), SONGANALYSIS_ERROR_NOERROR);
        EXPECT_EQ(holder->frameSize, frame);
        ASSERT_EQ(songanalysis_getNumberOfBeats(holder.get()), beats.size());
        ASSERT_EQ(songanalysis_getNumberOfDownbeats(holder.get()), downbeats.size());
        std::vector<u32> back(beats.size());
        songanalysis_getBeats(holder.get(), back.data(), 0, static_cast<u32>(back.size()));
        const double frameMs = 1000.0 * frame / rate;
        for (size_t i = 0; i < beats.size(); ++i) EXPECT_NEAR(back[i], beats[i], frameMs / 2 + 1) << rate;
    }
}

TEST(ResultLoad, GridsNeverPassTheirRoom) {
    std::vector<u32> many(SONGANALYSIS_MAX_BEATS + 100);
    for (u32 i = 0; i < many.size(); ++i) many[i] = 100 + 10 * i;
    satest::Record holder = resultHolder();
    const Bytes file = handMadeFile(storedRecord(),
                                    {sectionBytes("beats", msList(many)), sectionBytes("dbeat", msList(many)),
                                     sectionBytes("fixbpm", le32(std::bit_cast<u32>(128.0f)))});
    ASSERT_EQ(loadBytes(file, holder), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(songanalysis_getNumberOfBeats(holder.get()), SONGANALYSIS_MAX_BEATS);
    EXPECT_EQ(songanalysis_getNumberOfDownbeats(holder.get()), SONGANALYSIS_MAX_DOWNBEATS);
    // The sections after the cut grids are still read.
    EXPECT_FLOAT_EQ(songanalysis_getFixedBPM(holder.get()), 128.0f);
}

TEST(ResultLoad, AStoredFixedTempoMarksTheRecordChanged) {
    struct Case {
        float storedTempo, fixed;
        bool dirty;
        float expectedFixed;
    } cases[] = {{120.0f, 124.0f, true, 124.0f},
                 {120.0f, 0.0f, true, 0.0f},
                 {0.0f, 124.0f, false, -1.0f},
                 {120.0f, 1000.0f, true, 0.0f}};
    for (const Case &c : cases) {
        songanalysis_struct r = storedRecord();
        r.beatsPerMinute = c.storedTempo;
        satest::Record holder = resultHolder();
        ASSERT_EQ(
            loadBytes(handMadeFile(r, {sectionBytes("fixbpm", le32(std::bit_cast<u32>(c.fixed)))}), holder),
            SONGANALYSIS_ERROR_NOERROR);
        EXPECT_EQ(holder->dirty != 0, c.dirty) << c.fixed;
        EXPECT_FLOAT_EQ(songanalysis_getFixedBPM(holder.get()), c.expectedFixed) << c.fixed;
    }
}

TEST_F(SavedSong, EveryCutOfARealFileLoadsOrFailsCleanly) {
    const Bytes whole = orvtest::readFileBytes(original().sar);
    for (size_t cut = 0; cut < whole.size(); cut += (cut < 400 ? 1 : 97)) {
        satest::Record holder = resultHolder();
        const songanalysis_error e =
            loadBytes(Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)), holder);
        EXPECT_EQ(holder->isOpened != 0, e == SONGANALYSIS_ERROR_NOERROR) << cut;
        if (e == SONGANALYSIS_ERROR_NOERROR) {
            EXPECT_LE(songanalysis_getNumberOfBeats(holder.get()), beats_);
        }
    }
}

TEST_F(SavedSong, CloseWithSaveSavesOnlyAChangedRecord) {
    orvtest::TempDir dir;
    const SongFiles files = copyTo(dir);
    EXPECT_EQ(songanalysis_closeWithSave(nullptr, files.sar.c_str()), SONGANALYSIS_ERROR_NOTOPENED);
    satest::Record holder = resultHolder();
    EXPECT_EQ(songanalysis_closeWithSave(holder.get(), files.sar.c_str()), SONGANALYSIS_ERROR_NOTOPENED);

    const Bytes before = orvtest::readFileBytes(files.sar);
    ASSERT_EQ(songanalysis_openAndLoadResults(holder.get(), files.sar.c_str(), nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    holder->dirty = 0; // as if nothing loaded counted as a change
    EXPECT_EQ(songanalysis_closeWithSave(holder.get(), files.sar.c_str()), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(orvtest::readFileBytes(files.sar), before);

    ASSERT_EQ(songanalysis_openAndLoadResults(holder.get(), files.sar.c_str(), nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    ASSERT_EQ(songanalysis_setFixedBPM(holder.get(), 123.0f), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(songanalysis_closeWithSave(holder.get(), files.sar.c_str()), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(holder->isOpened, 0u);
    EXPECT_FLOAT_EQ(find(parse(orvtest::readFileBytes(files.sar)), "fixbpm")->floatAt(), 123.0f);
}

} // namespace
} // namespace rftest
