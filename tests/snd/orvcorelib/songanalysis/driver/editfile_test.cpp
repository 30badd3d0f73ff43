// Beat edits of a saved result file through songanalysis_editResultFile: the edited file
// holds the new grid and still checks out; a file that cannot be loaded is reported.
#include "snd/orvcorelib/songanalysis/driver/driver_support.h"

namespace {

using namespace drivertest;

class EditResultFile : public DriverRun {};

std::vector<u32> loadedBeatFrames(const SongFiles &f) {
    auto sa = satest::makeRecord();
    EXPECT_EQ(songanalysis_openAndLoadResults(sa.get(), f.sar.c_str(), nullptr), SONGANALYSIS_ERROR_NOERROR);
    const songanalysis_grid g = songanalysis_beatGrid(songanalysis_getHandle(sa.get()));
    return std::vector<u32>(g.frames, g.frames + g.size());
}

TEST_F(EditResultFile, AddsAndRemovesBeatsOfASavedFile) {
    const std::string song = dir_.file("drums.wav");
    writeDrumWav(song, 12.0);
    const SongFiles f(dir_.path().string(), song);
    songanalysis_struct analysed{};
    ASSERT_EQ(run(song, f, &analysed), SONGANALYSIS_ERROR_NOERROR);
    const std::vector<u32> before = loadedBeatFrames(f);
    ASSERT_GT(before.size(), 12u);

    struct Case {
        const char *name;
        bool add, remove;
    };
    const Case cases[] = {
        {"add one", true, false}, {"remove one", false, true}, {"add and remove", true, true}};
    std::vector<u32> expected = before;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        songanalysis_options_struct o = songanalysis_defaultOptions();
        const u32 added = (expected[2] + expected[3]) / 2;
        const u32 removed = expected[8];
        if (c.add) o.beatsToAdd[0] = static_cast<s32>(songanalysis_frameToMs(&analysed, added));
        if (c.remove) o.beatsToRemove[0] = static_cast<s32>(songanalysis_frameToMs(&analysed, removed));
        const songanalysis_filenames_struct names = f.names();
        ASSERT_EQ(songanalysis_editResultFile(&names, &o), SONGANALYSIS_ERROR_NOERROR);
        if (c.remove) expected.erase(expected.begin() + 8);
        if (c.add) expected.insert(expected.begin() + 3, added);
        EXPECT_EQ(loadedBeatFrames(f), expected);
        EXPECT_EQ(songanalysis_validate(f.sar.c_str(), f.sek.c_str(), f.wfv.c_str(), f.aud.c_str()),
                  SONGANALYSIS_ERROR_NOERROR);
    }

    // Without options nothing changes, and the file still checks out.
    const songanalysis_filenames_struct names = f.names();
    ASSERT_EQ(songanalysis_editResultFile(&names, nullptr), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(loadedBeatFrames(f), expected);
    EXPECT_EQ(songanalysis_validate(f.sar.c_str(), f.sek.c_str(), f.wfv.c_str(), f.aud.c_str()),
              SONGANALYSIS_ERROR_NOERROR);
}

TEST_F(EditResultFile, AResultFileThatCannotBeLoadedIsReported) {
    const std::string notResults = dir_.file("text.sar");
    orvtest::writeFileBytes(notResults, std::vector<unsigned char>(256, 'x'));
    struct Case {
        const char *name;
        std::string sar;
        songanalysis_error expected;
    };
    const Case cases[] = {
        {"missing file", dir_.file("missing.sar"), SONGANALYSIS_ERROR_FILEERROR},
        {"not a result file", notResults, SONGANALYSIS_ERROR_FILEFORMAT},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const songanalysis_filenames_struct names{nullptr, c.sar.c_str(), nullptr, nullptr};
        songanalysis_options_struct o = songanalysis_defaultOptions();
        o.beatsToAdd[0] = 1000;
        EXPECT_EQ(songanalysis_editResultFile(&names, &o), c.expected);
    }
    EXPECT_EQ(orvtest::readFileBytes(notResults), std::vector<unsigned char>(256, 'x'));
    EXPECT_FALSE(exists(dir_.file("missing.sar")));
}

} // namespace
