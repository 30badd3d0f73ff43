// One song analysed and fully saved once per test program; each test copies its files.
#pragma once

#include "resultfile_support.h"

#include <memory>

namespace rftest {

class SavedSong : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        beattracker_resetProcessStatics();
        folder_ = std::make_unique<orvtest::TempDir>();
        const SongFiles files(*folder_);
        // Stand-ins for the audio and seek-table files: only their checksums are recorded.
        orvtest::writeFileBytes(files.aud, Bytes(5000, 0x5A));
        orvtest::writeFileBytes(files.sek, Bytes(300, 0x33));
        satest::Record sa = satest::makeRecord();
        satest::analyse(sa.get(), satest::makeDrumSong(120.0, 40.0));
        beats_ = songanalysis_getNumberOfBeats(sa.get());
        downbeats_ = songanalysis_getNumberOfDownbeats(sa.get());
        beatMs_.resize(beats_);
        songanalysis_getBeats(sa.get(), beatMs_.data(), 0, beats_);
        bpm_ = sa->beatsPerMinute;
        const songanalysis_filenames_struct names = files.names();
        comment_.assign(1024, '\0');
        std::memcpy(comment_.data(), "time = now, options = -p4", 25);
        saved_ = songanalysis_saveResults(sa.get(), &names, 5, 127, 127, 420, comment_.data(), 1024);
        beattracker_resetProcessStatics();
    }
    static void TearDownTestSuite() { folder_.reset(); }

    // The saved files, copied into this test's folder.
    SongFiles copyTo(const orvtest::TempDir &dir) const {
        const SongFiles from(*folder_), to(dir);
        for (auto [a, b] :
             {std::pair{from.sar, to.sar}, {from.sek, to.sek}, {from.wfv, to.wfv}, {from.aud, to.aud}})
            copyFile(a, b);
        return to;
    }
    static SongFiles original() { return SongFiles(*folder_); }

    static inline std::unique_ptr<orvtest::TempDir> folder_;
    static inline songanalysis_error saved_ = SONGANALYSIS_ERROR_ERROR;
    static inline u32 beats_ = 0, downbeats_ = 0;
    static inline std::vector<u32> beatMs_;
    static inline float bpm_ = 0.0f;
    static inline std::string comment_;
};

// A record as the unit keeps one per loaded song.
inline satest::Record resultHolder() {
    return satest::Record(
        songanalysis_new(SONGANALYSIS_QUALITY_CUSTOM, SONGANALYSIS_MODE_ONLINE, 1, 22, 512));
}

} // namespace rftest
