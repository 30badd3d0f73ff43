// The full save: which sections, in which order, with which values; the seals and checksums
// that tie the four files together; and what a failed save leaves behind.
#include "saved_song.h"

#include "orvsys/orvconfig.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace rftest {
namespace {

using ResultSave = SavedSong;

TEST_F(ResultSave, WritesTheSectionsInOrderAndSealsEveryFile) {
    ASSERT_EQ(saved_, SONGANALYSIS_ERROR_NOERROR);
    ASSERT_GT(beats_, 8u);
    ASSERT_GT(downbeats_, 2u);
    const SongFiles files = original();
    const Bytes bytes = orvtest::readFileBytes(files.sar);
    const std::vector<Section> sections = parse(bytes);
    const std::vector<std::string> expected{"version", "rawdata", "isfinal", "audiost", "audioen",
                                            "musicst", "lenms",   "bpm",     "nbeats",  "beats",
                                            "ndbeats", "dbeat",   "gain",    "wfprof",  "fname",
                                            "comment", "songcs",  "sekcs",   "wfvcs",   "fixbpm"};
    EXPECT_EQ(names(sections), expected);

    EXPECT_EQ(find(sections, "version")->u32At(), 0x03010500u);
    songanalysis_struct stored{};
    std::memcpy(&stored, find(sections, "rawdata")->data.data(), sizeof stored);
    EXPECT_EQ(stored.private_, 0u);
    EXPECT_EQ(stored.dirty, 0);
    EXPECT_FLOAT_EQ(find(sections, "bpm")->floatAt(), bpm_);
    EXPECT_NEAR(bpm_, 120.0f, 0.5f);
    EXPECT_EQ(find(sections, "nbeats")->u32At(), beats_);
    EXPECT_EQ(find(sections, "beats")->data.size(), 4u * beats_);
    for (u32 i = 0; i < beats_; ++i) EXPECT_EQ(find(sections, "beats")->u32At(4 * i), beatMs_[i]);
    EXPECT_EQ(find(sections, "ndbeats")->u32At(), downbeats_);
    EXPECT_EQ(find(sections, "gain")->data.size(), 16u);
    EXPECT_EQ(find(sections, "wfprof")->data.size(), 420u * 8u);
    const Section *fname = find(sections, "fname");
    EXPECT_EQ(std::string(fname->data.begin(), fname->data.end()), files.aud);
    EXPECT_EQ(find(sections, "comment")->data, Bytes(comment_.begin(), comment_.end()));
    EXPECT_EQ(find(sections, "fixbpm")->floatAt(), 0.0f);

    // The recorded checksums are those of the files as they now are.
    EXPECT_EQ(find(sections, "songcs")->u32At(), fileCrc(files.aud, 0));
    EXPECT_EQ(find(sections, "sekcs")->u32At(), fileCrc(files.sek, 1));
    EXPECT_EQ(find(sections, "wfvcs")->u32At(), fileCrc(files.wfv, 1));
    EXPECT_EQ(orvtest::readFileBytes(files.sek).size(), 304u); // the seal appended once
    EXPECT_EQ(
        songanalysis_validate(files.sar.c_str(), files.sek.c_str(), files.wfv.c_str(), files.aud.c_str()),
        SONGANALYSIS_ERROR_NOERROR);
}

TEST_F(ResultSave, LoadsBackWhatWasSaved) {
    const SongFiles files = original();
    satest::Record holder = resultHolder();
    ASSERT_EQ(songanalysis_openAndLoadResults(holder.get(), files.sar.c_str(), files.wfv.c_str()),
              SONGANALYSIS_ERROR_NOERROR);
    EXPECT_NE(holder->isOpened, 0u);
    EXPECT_EQ(holder->dirty, 1); // a stored fixed tempo, even none, counts as a change
    EXPECT_FLOAT_EQ(holder->beatsPerMinute, bpm_);
    ASSERT_EQ(songanalysis_getNumberOfBeats(holder.get()), beats_);
    EXPECT_EQ(songanalysis_getNumberOfDownbeats(holder.get()), downbeats_);
    std::vector<u32> back(beats_);
    songanalysis_getBeats(holder.get(), back.data(), 0, beats_);
    for (u32 i = 0; i < beats_; ++i) EXPECT_NEAR(double(back[i]), double(beatMs_[i]), 1.0) << i;
    EXPECT_EQ(songanalysis_getFixedBPM(holder.get()), 0.0f);

    songanalysis_wfv_struct points[16];
    u32 count = 16;
    EXPECT_EQ(songanalysis_readWaveform(holder.get(), points, 1000, &count), SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(count, 16u);
    EXPECT_EQ(points[0].padding, 0xF0);
    u32 profile = 0;
    EXPECT_EQ(songanalysis_readWaveformProfile(nullptr, &profile, files.sar.c_str()),
              SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(profile, 420u);
}

TEST_F(ResultSave, ASongWithoutBeatsStoresNoGridAndNoEmptySection) {
    orvtest::TempDir dir;
    const SongFiles files(dir);
    satest::Record sa = satest::makeRecord();
    satest::analyse(sa.get(), satest::makeSilence(10.0));
    // A profile size of 0 and no audio file: sections that would be empty are left out,
    // since an empty section would end every reader's walk before the fixed tempo.
    songanalysis_filenames_struct names = files.names();
    names.aud_path = nullptr;
    ASSERT_EQ(songanalysis_saveResults(sa.get(), &names, 5, 127, 127, 0, nullptr, 0),
              SONGANALYSIS_ERROR_NOERROR);
    const std::vector<Section> sections = parse(orvtest::readFileBytes(files.sar));
    for (const char *absent : {"bpm", "nbeats", "beats", "ndbeats", "dbeat", "wfprof", "fname", "comment"})
        EXPECT_EQ(find(sections, absent), nullptr) << absent;
    ASSERT_NE(find(sections, "fixbpm"), nullptr);
    EXPECT_EQ(find(sections, "songcs")->u32At(), 0xFFFFFFFFu);
    EXPECT_EQ(songanalysis_validate(files.sar.c_str(), files.sek.c_str(), files.wfv.c_str(), nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    beattracker_resetProcessStatics();
}

TEST_F(ResultSave, AResultFolderThatIsMissingIsAFileErrorAndWritesNothing) {
    orvtest::TempDir dir;
    satest::Record holder = resultHolder();
    const SongFiles from = original();
    ASSERT_EQ(songanalysis_openAndLoadResults(holder.get(), from.sar.c_str(), nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    const std::string missing = dir.file("no/such/folder/song.sar");
    const std::string wfv = dir.file("song.wfv");
    const songanalysis_filenames_struct names{nullptr, missing.c_str(), wfv.c_str(), nullptr};
    EXPECT_EQ(songanalysis_saveResults(holder.get(), &names, 5, 127, 127, 420, nullptr, 0),
              SONGANALYSIS_ERROR_FILEERROR);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// A full drive: the write fails part of the way. The old result file must stay whole.
TEST_F(ResultSave, AFailedWriteKeepsTheOldResultFile) {
    orvtest::TempDir dir;
    const SongFiles files = copyTo(dir);
    const Bytes before = orvtest::readFileBytes(files.sar);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{2000, 2000}; // smaller than any result file
        setrlimit(RLIMIT_FSIZE, &limit);
        satest::Record holder = resultHolder();
        if (songanalysis_openAndLoadResults(holder.get(), files.sar.c_str(), nullptr) != 0) _exit(2);
        songanalysis_setFixedBPM(holder.get(), 121.0f);
        songanalysis_addBeat(holder.get(), 30000); // changes the layout: a whole rewrite
        const songanalysis_filenames_struct names{nullptr, files.sar.c_str(), nullptr, nullptr};
        _exit(songanalysis_saveResults(holder.get(), &names, 0, 0, 0, 0, nullptr, 0) ==
                      SONGANALYSIS_ERROR_FILEERROR
                  ? 0
                  : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(orvtest::readFileBytes(files.sar), before);
    size_t entries = 0;
    for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 4u); // no temporary file left behind
}

TEST_F(ResultSave, SavingTwiceNeverStacksSeals) {
    orvtest::TempDir dir;
    const SongFiles files = copyTo(dir);
    const size_t sekSize = orvtest::readFileBytes(files.sek).size();
    const size_t wfvSize = orvtest::readFileBytes(files.wfv).size();
    satest::Record holder = resultHolder();
    ASSERT_EQ(songanalysis_openAndLoadResults(holder.get(), files.sar.c_str(), files.wfv.c_str()),
              SONGANALYSIS_ERROR_NOERROR);
    // A loaded record has no points to resample: its waveform file and profile are kept.
    const songanalysis_filenames_struct names = files.names();
    ASSERT_EQ(songanalysis_saveResults(holder.get(), &names, 5, 127, 127, 420, nullptr, 0),
              SONGANALYSIS_ERROR_NOERROR);
    EXPECT_EQ(orvtest::readFileBytes(files.sek).size(), sekSize);
    EXPECT_EQ(orvtest::readFileBytes(files.wfv).size(), wfvSize);
    const std::vector<Section> sections = parse(orvtest::readFileBytes(files.sar));
    EXPECT_EQ(find(sections, "wfprof")->data,
              find(parse(orvtest::readFileBytes(original().sar)), "wfprof")->data);
    EXPECT_EQ(
        songanalysis_validate(files.sar.c_str(), files.sek.c_str(), files.wfv.c_str(), files.aud.c_str()),
        SONGANALYSIS_ERROR_NOERROR);
}

TEST_F(ResultSave, TheDeviceWritesItsCompanionFilesBesideTheResult) {
    const SongFiles files = original();
    const std::filesystem::path folder = std::filesystem::path(files.sar).parent_path();
    const std::filesystem::path marks = folder / "song.mp3.beatmark.wav";
    char text[64];
    std::snprintf(text, sizeof text, "song.mp3.(bpm=%6.2f).txt", double(bpm_));
    if constexpr (!orv::kDeviceConfig) {
        EXPECT_FALSE(std::filesystem::exists(marks));
        EXPECT_FALSE(std::filesystem::exists(folder / text));
        return;
    }
    ASSERT_TRUE(std::filesystem::exists(folder / text));
    const Bytes textBytes = orvtest::readFileBytes((folder / text).string());
    const std::string content(textBytes.begin(), textBytes.end());
    EXPECT_EQ(content.rfind("isFinalized = 1\naudioStart = ", 0), 0u) << content.substr(0, 80);
    EXPECT_NE(content.find("beat " + std::to_string(beats_) + ":\n"), std::string::npos);
    EXPECT_NE(content.find("refGain = "), std::string::npos);

    const Bytes wav = orvtest::readFileBytes(marks.string());
    satest::Record holder = resultHolder();
    ASSERT_EQ(songanalysis_openAndLoadResults(holder.get(), files.sar.c_str(), nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    // One 16-bit sample per ms of the song.
    ASSERT_EQ(wav.size(), 44u + 2u * holder->maxLengthInMs);
    auto sampleAt = [&](u32 ms) { return static_cast<s16>(orv::getLE16(wav.data() + 44 + 2 * ms)); };
    std::vector<u32> downbeats(downbeats_);
    songanalysis_getDownbeats(holder.get(), downbeats.data(), 0, downbeats_);
    EXPECT_EQ(sampleAt(downbeats[0]), 26214);
    for (u32 ms : beatMs_)
        if (std::find(downbeats.begin(), downbeats.end(), ms) == downbeats.end()) {
            EXPECT_EQ(sampleAt(ms), 13107);
            break;
        }
    EXPECT_EQ(sampleAt(beatMs_[0] + 1), 0);
}

TEST(Strrep, ReplacesTheFirstOccurrenceOnly) {
    struct Case {
        const char *str, *orig, *rep, *expected;
    } cases[] = {
        {"/a/song.sar", ".sar", ".wfv", "/a/song.wfv"},
        {"x.sar.sar", ".sar", "", "x.sar"},
        {"/a/b", "zz", "y", "/a/b"},
        {"abc", "", "y", "abc"},
    };
    for (const Case &c : cases) EXPECT_STREQ(strrep(c.str, c.orig, c.rep), c.expected) << c.str;
    const char *first = strrep("one two", "one", "three");
    EXPECT_STREQ(strrep(first, "two", "four"), "three four"); // its own buffer as input
    const std::string huge(5000, 'a');
    EXPECT_EQ(strrep(huge.c_str(), "a", "bb"), huge.c_str()); // would not fit: the text itself
}

} // namespace
} // namespace rftest
