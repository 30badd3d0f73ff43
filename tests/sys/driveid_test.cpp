// The drive's own id: read from its id file, made with the UUID generator when missing.
#include "hotplug_support.h"
#include "sys/driveid.h"

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using systest::readText;
using systest::writeText;

class DriveId : public testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(drive());
        overrides.set("DECKHOST_TOOL_DIR", tools.path().string());
        setGenerator("echo 6f1c2a3b-0000-4000-8000-123456789abc\n");
    }

    std::string drive() const { return (root.path() / "drive").string(); }
    std::string folder() const { return drive() + "/Quilo4_Database"; }
    std::string idFile() const { return folder() + "/uuid.txt"; }
    void setGenerator(const std::string &body) {
        systest::writeTool(tools, "uuidgen", "echo run >> '" + tools.file("runs") + "'\n" + body);
    }
    int generatorRuns() const {
        const std::string runs = readText(tools.file("runs"));
        return static_cast<int>(std::count(runs.begin(), runs.end(), '\n'));
    }

    orvtest::TempDir root;
    orvtest::TempDir tools;
    systest::PlatformOverrides overrides;
};

TEST_F(DriveId, AMissingFileIsMadeWithTheGeneratorsId) {
    EXPECT_EQ(udev_drive_id(drive()), "6f1c2a3b-0000-4000-8000-123456789abc");
    EXPECT_EQ(readText(idFile()), "6f1c2a3b-0000-4000-8000-123456789abc\n");
    const mode_t mask = umask(0);
    umask(mask);
    struct stat st {};
    ASSERT_EQ(stat(folder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0775u & ~mask);
    // Once made, the file is read again without the generator.
    EXPECT_EQ(udev_drive_id(drive()), "6f1c2a3b-0000-4000-8000-123456789abc");
    EXPECT_EQ(generatorRuns(), 1);
}

TEST_F(DriveId, TheFirstLineOfAnExistingFileUpTo40Characters) {
    fs::create_directories(folder());
    struct Case {
        std::string text, id;
    };
    const Case cases[] = {
        {"abc\nsecond\n", "abc"},
        {"abc", "abc"},
        {"abc\r\n", "abc"},
        {std::string(40, 'a') + "\n", std::string(40, 'a')},
        {std::string(45, 'b') + "\n", std::string(40, 'b')},
        {std::string("ab\0cd\n", 6), "ab"},
    };
    for (const Case &c : cases) {
        writeText(idFile(), c.text);
        EXPECT_EQ(udev_drive_id(drive()), c.id) << c.text;
    }
    EXPECT_EQ(generatorRuns(), 0);
}

TEST_F(DriveId, AnEmptyFirstLineIsReplaced) {
    fs::create_directories(folder());
    writeText(idFile(), "\nold\n");
    EXPECT_EQ(udev_drive_id(drive()), "6f1c2a3b-0000-4000-8000-123456789abc");
    EXPECT_EQ(readText(idFile()), "6f1c2a3b-0000-4000-8000-123456789abc\n");
}

TEST_F(DriveId, NoGeneratorGivesNoIdAndLeavesNoFile) {
    fs::remove(tools.file("uuidgen"));
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(udev_drive_id(drive()), "");
    testing::internal::GetCapturedStderr();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "UDEV: Error: " + tools.file("uuidgen") + " gave no id for " + idFile() + "\n");
    EXPECT_FALSE(fs::exists(idFile()));
}

TEST_F(DriveId, AGeneratorThatPrintsNothingGivesNoId) {
    for (const char *body : {"exit 0\n", "echo\n", "exit 3\n"}) {
        setGenerator(body);
        testing::internal::CaptureStdout();
        EXPECT_EQ(udev_drive_id(drive()), "") << body;
        EXPECT_NE(testing::internal::GetCapturedStdout().find("UDEV: Error: "), std::string::npos);
        EXPECT_FALSE(fs::exists(idFile())) << body;
    }
}

TEST_F(DriveId, ADriveThatIsNotThereGivesNoId) {
    EXPECT_EQ(udev_drive_id(drive() + "/missing"), "");
}

TEST_F(DriveId, LinksOnTheDriveAreNotFollowed) {
    orvtest::TempDir elsewhere;
    // The folder is a link to a folder outside the drive.
    fs::create_directory_symlink(elsewhere.path(), folder());
    EXPECT_EQ(udev_drive_id(drive()), "");
    EXPECT_FALSE(fs::exists(elsewhere.file("uuid.txt")));
    fs::remove(folder());
    // The file is a link to a file outside the drive, which it would overwrite.
    fs::create_directories(folder());
    writeText(elsewhere.file("precious"), "keep\n");
    fs::create_symlink(elsewhere.file("precious"), idFile());
    EXPECT_EQ(udev_drive_id(drive()), "");
    EXPECT_EQ(readText(elsewhere.file("precious")), "keep\n");
}

TEST_F(DriveId, APipeInTheFilesPlaceIsNeitherReadNorWritten) {
    fs::create_directories(folder());
    ASSERT_EQ(mkfifo(idFile().c_str(), 0644), 0);
    // Neither blocks: nobody is at the pipe's other end.
    EXPECT_EQ(udev_drive_id(drive()), "");
}

} // namespace
