// The save after a grid edit: in place while the layout holds, a whole rewrite when a grid
// grew or shrank, and in both cases a file whose other sections and cross-checks survive.
#include "saved_song.h"

namespace rftest {
namespace {

using ResultEdit = SavedSong;

const std::vector<std::string> kCarried{"wfprof", "fname", "comment", "songcs", "sekcs", "wfvcs"};

songanalysis_error editSave(songanalysis_struct *sa, const std::string &sar) {
    const songanalysis_filenames_struct names{nullptr, sar.c_str(), nullptr, nullptr};
    return songanalysis_saveResults(sa, &names, 0, 0, 0, 0, nullptr, 0);
}

TEST_F(ResultEdit, AFixedTempoIsWrittenInPlace) {
    orvtest::TempDir dir;
    const SongFiles files = copyTo(dir);
    const Bytes before = orvtest::readFileBytes(files.sar);
    satest::Record holder = resultHolder();
    ASSERT_EQ(songanalysis_openAndLoadResults(holder.get(), files.sar.c_str(), nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    ASSERT_EQ(songanalysis_setFixedBPM(holder.get(), 121.5f), SONGANALYSIS_ERROR_NOERROR);
    ASSERT_EQ(editSave(holder.get(), files.sar), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(holder->dirty, 0);

    const Bytes after = orvtest::readFileBytes(files.sar);
    ASSERT_EQ(after.size(), before.size());
    const std::vector<Section> old = parse(before), now = parse(after);
    EXPECT_EQ(names(now), names(old));
    EXPECT_FLOAT_EQ(find(now, "fixbpm")->floatAt(), 121.5f);
    for (const std::string &name : kCarried) EXPECT_EQ(find(now, name)->data, find(old, name)->data) << name;
    EXPECT_EQ(
        songanalysis_validate(files.sar.c_str(), files.sek.c_str(), files.wfv.c_str(), files.aud.c_str()),
        SONGANALYSIS_ERROR_NOERROR);

    satest::Record again = resultHolder();
    ASSERT_EQ(songanalysis_openAndLoadResults(again.get(), files.sar.c_str(), nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    EXPECT_FLOAT_EQ(songanalysis_getFixedBPM(again.get()), 121.5f);
}

TEST_F(ResultEdit, ChangedGridsRewriteTheFileAndCarryTheRestOver) {
    struct Case {
        const char *what;
        void (*edit)(songanalysis_struct *, const std::vector<u32> &);
        int beatChange;
    } cases[] = {
        {"beat added",
         [](songanalysis_struct *sa, const std::vector<u32> &b) { songanalysis_addBeat(sa, b[3] + 100); }, 1},
        {"beat removed",
         [](songanalysis_struct *sa, const std::vector<u32> &) {
             std::vector<u32> ms(songanalysis_getNumberOfBeats(sa));
             songanalysis_getBeats(sa, ms.data(), 0, static_cast<u32>(ms.size()));
             songanalysis_removeBeat(sa, ms[5]);
         },
         -1},
        {"all beats gone",
         [](songanalysis_struct *sa, const std::vector<u32> &) {
             songanalysis_setBeats(sa, nullptr, 0);
             songanalysis_setDownbeats(sa, nullptr, 0);
         },
         0},
    };
    for (const Case &c : cases) {
        orvtest::TempDir dir;
        const SongFiles files = copyTo(dir);
        const std::vector<Section> old = parse(orvtest::readFileBytes(files.sar));
        satest::Record holder = resultHolder();
        ASSERT_EQ(songanalysis_openAndLoadResults(holder.get(), files.sar.c_str(), nullptr),
                  SONGANALYSIS_ERROR_NOERROR);
        c.edit(holder.get(), beatMs_);
        songanalysis_setFixedBPM(holder.get(), 119.0f);
        ASSERT_EQ(editSave(holder.get(), files.sar), SONGANALYSIS_ERROR_NOERROR) << c.what;

        const std::vector<Section> now = parse(orvtest::readFileBytes(files.sar));
        const u32 expectedBeats =
            c.beatChange == 0 && std::string(c.what) == "all beats gone" ? 0 : beats_ + c.beatChange;
        if (expectedBeats > 0) {
            EXPECT_EQ(find(now, "nbeats")->u32At(), expectedBeats) << c.what;
        } else {
            EXPECT_EQ(find(now, "beats"), nullptr) << c.what;
        }
        for (const std::string &name : kCarried) {
            ASSERT_NE(find(now, name), nullptr) << c.what << " " << name;
            EXPECT_EQ(find(now, name)->data, find(old, name)->data) << c.what << " " << name;
        }
        EXPECT_EQ(names(now).back(), "fixbpm");
        EXPECT_FLOAT_EQ(find(now, "fixbpm")->floatAt(), 119.0f) << c.what;
        EXPECT_EQ(
            songanalysis_validate(files.sar.c_str(), files.sek.c_str(), files.wfv.c_str(), files.aud.c_str()),
            SONGANALYSIS_ERROR_NOERROR)
            << c.what;
        satest::Record again = resultHolder();
        ASSERT_EQ(songanalysis_openAndLoadResults(again.get(), files.sar.c_str(), nullptr),
                  SONGANALYSIS_ERROR_NOERROR);
        EXPECT_EQ(songanalysis_getNumberOfBeats(again.get()), expectedBeats) << c.what;
    }
}

// A file whose last sections are not the fixed tempo gets it where its checksum stood.
TEST(ResultEditHandMade, AFileWithoutAFixedTempoGetsOneAppended) {
    orvtest::TempDir dir;
    const std::string sar = dir.file("x.sar");
    const std::vector<u32> beats{500, 1000, 1500, 2000};
    songanalysis_struct record = storedRecord();
    record.songFeatures = SONGANALYSIS_FEATURE_BEATS;
    std::vector<Bytes> sections{
        sectionBytes("isfinal", le32(1)),       sectionBytes("audiost", le32(0)),
        sectionBytes("audioen", le32(0)),       sectionBytes("musicst", le32(0)),
        sectionBytes("lenms", le32(60000)),     sectionBytes("bpm", le32(std::bit_cast<u32>(120.0f))),
        sectionBytes("nbeats", le32(4)),        sectionBytes("beats", msList(beats)),
        sectionBytes("comment", Bytes(40, 'c'))};
    const Bytes file = handMadeFile(record, sections);
    orvtest::writeFileBytes(sar, file);
    satest::Record holder = resultHolder();
    ASSERT_EQ(songanalysis_openAndLoadResults(holder.get(), sar.c_str(), nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    ASSERT_EQ(songanalysis_setFixedBPM(holder.get(), 125.0f), SONGANALYSIS_ERROR_NOERROR);
    ASSERT_EQ(editSave(holder.get(), sar), SONGANALYSIS_ERROR_NOERROR);
    const Bytes after = orvtest::readFileBytes(sar);
    EXPECT_EQ(after.size(), file.size() + 16);
    const std::vector<Section> old = parse(file), now = parse(after);
    std::vector<std::string> expected = names(old);
    expected.push_back("fixbpm");
    EXPECT_EQ(names(now), expected);
    EXPECT_EQ(find(now, "comment")->data, find(old, "comment")->data);
    EXPECT_FLOAT_EQ(now.back().floatAt(), 125.0f);
    EXPECT_EQ(songanalysis_validate(sar.c_str(), nullptr, nullptr, nullptr), SONGANALYSIS_ERROR_NOERROR);
}

TEST(ResultEditHandMade, AMissingOrDamagedFileIsNotMadeUp) {
    orvtest::TempDir dir;
    satest::Record holder = resultHolder();
    const std::string sar = dir.file("x.sar");
    orvtest::writeFileBytes(sar, handMadeFile(storedRecord(), {sectionBytes("beats", msList({500, 1000}))}));
    ASSERT_EQ(songanalysis_openAndLoadResults(holder.get(), sar.c_str(), nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    const std::string missing = dir.file("missing.sar");
    EXPECT_EQ(editSave(holder.get(), missing), SONGANALYSIS_ERROR_FILEERROR);
    EXPECT_FALSE(std::filesystem::exists(missing));

    // The file on disk was replaced by one whose foreign section runs past its end: the edit
    // refuses and leaves it as it is.
    Bytes damaged = handMadeFile(storedRecord(), {sectionBytes("comment", Bytes(10, 'c'), 5000)});
    orvtest::writeFileBytes(sar, damaged);
    songanalysis_addBeat(holder.get(), 700);
    EXPECT_EQ(editSave(holder.get(), sar), SONGANALYSIS_ERROR_FILEFORMAT);
    EXPECT_EQ(orvtest::readFileBytes(sar), damaged);
}

} // namespace
} // namespace rftest
