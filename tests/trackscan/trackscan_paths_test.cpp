// Where trackscan leaves a song's analysis files, and the making of their folder.
#include "trackscan_paths.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

TEST(TrackscanPaths, PathsUnderTheProductsAnalysisFolder) {
    struct Case {
        int product;
        const char *folder;
    };
    const Case cases[] = {
        {4, "/media/sda1/Quilo4_Database/analysis/01"},
        {8, "/media/sda1/Quilo8_Database/analysis/01"},
    };
    for (const Case &c : cases) {
        songanalysis_filenames_struct names{};
        {
            const trackscan_paths paths("/media/sda1", c.product, "0123456789abcdef0123456789abcdef",
                                        "/music/a.mp3", &names);
            const std::string stem = std::string(c.folder) + "/23456789abcdef0123456789abcdef";
            EXPECT_EQ(std::string(names.sar_path), stem + ".sar");
            EXPECT_EQ(std::string(names.sek_path), stem + ".sek");
            EXPECT_EQ(std::string(names.wfv_path), stem + ".wfv");
            EXPECT_EQ(std::string(names.aud_path), "/music/a.mp3");
            EXPECT_EQ(paths.folder(), c.folder);
        }
        // The paths end with their owner: nothing may point at them afterwards.
        EXPECT_EQ(names.sar_path, nullptr);
        EXPECT_EQ(names.sek_path, nullptr);
        EXPECT_EQ(names.wfv_path, nullptr);
        EXPECT_EQ(names.aud_path, nullptr);
    }
}

TEST(TrackscanPaths, SongIdsThatNameASubFolderAndAFile) {
    struct Case {
        const char *id;
        bool usable;
    };
    const Case cases[] = {
        {"0123456789abcdef0123456789abcdef", true},
        {"abc", true},
        {".ab", true},
        {"ab", false},    // no file name left
        {"a", false},     // not even a sub-folder
        {"", false},      //
        {"ab/cd", false}, // a deeper folder
        {"/abc", false},  //
        {"abc/", false},  //
        {"..abc", false}, // the analysis folder's parent
    };
    for (const Case &c : cases) EXPECT_EQ(trackscan_songIdUsable(c.id), c.usable) << '"' << c.id << '"';
}

TEST(TrackscanPaths, MakeFolderMakesEveryMissingLevel) {
    orvtest::TempDir dir;
    const std::string folder = dir.file("drive/Quilo4_Database/analysis/01");
    EXPECT_EQ(trackscan_makeFolder(folder), TRACKSCAN_MKDIR_DONE);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    // Again, over the existing folder.
    EXPECT_EQ(trackscan_makeFolder(folder), TRACKSCAN_MKDIR_DONE);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

TEST(TrackscanPaths, MakeFolderLeavesAFailureToTheAnalysis) {
    orvtest::TempDir dir;
    orvtest::writeFileBytes(dir.file("file"), {'x'});
    const std::string folder = dir.file("file/sub");
    testing::internal::CaptureStderr();
    EXPECT_EQ(trackscan_makeFolder(folder), TRACKSCAN_MKDIR_DONE);
    testing::internal::GetCapturedStderr(); // mkdir's own complaint
    EXPECT_FALSE(std::filesystem::exists(folder));
}

} // namespace
