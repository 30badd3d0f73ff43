// Validation: the result file's seal, and the recorded checksums of the other three files.
#include "saved_song.h"

namespace rftest {
namespace {

using Validate = SavedSong;

void flipLastDataByte(const std::string &path, size_t fromEnd) {
    Bytes b = orvtest::readFileBytes(path);
    b[b.size() - fromEnd] ^= 0x01;
    orvtest::writeFileBytes(path, b);
}

TEST_F(Validate, EachChangedFileIsFound) {
    struct Case {
        const char *what;
        void (*damage)(const SongFiles &);
        bool withSek, withWfv, withAud;
        songanalysis_error expected;
    } cases[] = {
        {"untouched", [](const SongFiles &) {}, true, true, true, SONGANALYSIS_ERROR_NOERROR},
        {"result byte flipped", [](const SongFiles &f) { flipLastDataByte(f.sar, 100); }, true, true, true,
         SONGANALYSIS_ERROR_FILECORRUPTED},
        {"result cut", [](const SongFiles &f) { std::filesystem::resize_file(f.sar, 200); }, true, true, true,
         SONGANALYSIS_ERROR_FILECORRUPTED},
        {"seek table rewritten", [](const SongFiles &f) { orvtest::writeFileBytes(f.sek, Bytes(300, 1)); },
         true, true, true, SONGANALYSIS_ERROR_FILECORRUPTED},
        {"seek table rewritten, not asked",
         [](const SongFiles &f) { orvtest::writeFileBytes(f.sek, Bytes(300, 1)); }, false, true, true,
         SONGANALYSIS_ERROR_NOERROR},
        {"waveform changed", [](const SongFiles &f) { flipLastDataByte(f.wfv, 10); }, true, true, true,
         SONGANALYSIS_ERROR_FILECORRUPTED},
        {"waveform missing", [](const SongFiles &f) { std::filesystem::remove(f.wfv); }, true, true, true,
         SONGANALYSIS_ERROR_FILEERROR},
        {"audio changed", [](const SongFiles &f) { flipLastDataByte(f.aud, 1); }, true, true, true,
         SONGANALYSIS_ERROR_FILECORRUPTED},
        {"audio changed, not asked", [](const SongFiles &f) { flipLastDataByte(f.aud, 1); }, true, true,
         false, SONGANALYSIS_ERROR_NOERROR},
        {"result missing", [](const SongFiles &f) { std::filesystem::remove(f.sar); }, true, true, true,
         SONGANALYSIS_ERROR_FILEERROR},
    };
    for (const Case &c : cases) {
        orvtest::TempDir dir;
        const SongFiles files = copyTo(dir);
        c.damage(files);
        EXPECT_EQ(songanalysis_validate(files.sar.c_str(), c.withSek ? files.sek.c_str() : nullptr,
                                        c.withWfv ? files.wfv.c_str() : nullptr,
                                        c.withAud ? files.aud.c_str() : nullptr),
                  c.expected)
            << c.what;
    }
}

TEST_F(Validate, WithoutAResultFileOnlyTheSeekTableIsChecked) {
    orvtest::TempDir dir;
    const SongFiles files = copyTo(dir);
    EXPECT_EQ(songanalysis_validate(nullptr, nullptr, nullptr, nullptr), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(songanalysis_validate(nullptr, files.sek.c_str(), nullptr, nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    flipLastDataByte(files.sek, 5);
    EXPECT_EQ(songanalysis_validate(nullptr, files.sek.c_str(), nullptr, nullptr),
              SONGANALYSIS_ERROR_FILECORRUPTED);
    EXPECT_EQ(songanalysis_validate(nullptr, dir.file("none.sek").c_str(), nullptr, nullptr),
              SONGANALYSIS_ERROR_FILEERROR);
}

TEST(ValidateHandMade, ACrossCheckSectionTooSmallIsCorrupt) {
    orvtest::TempDir dir;
    const std::string sar = dir.file("x.sar"), sek = dir.file("x.sek");
    orvtest::writeFileBytes(sek, Bytes(10, 0));
    orvtest::writeFileBytes(sar, handMadeFile(storedRecord(), {sectionBytes("sekcs", Bytes(2, 0))}));
    EXPECT_EQ(songanalysis_validate(sar.c_str(), sek.c_str(), nullptr, nullptr),
              SONGANALYSIS_ERROR_FILECORRUPTED);
    EXPECT_EQ(songanalysis_validate(sar.c_str(), nullptr, nullptr, nullptr), SONGANALYSIS_ERROR_NOERROR);
}

} // namespace
} // namespace rftest
