// The I/O scheduler tuning of a drive's disk, on a stand-in sysfs tree.
#include "hotplug_support.h"
#include "sys/iosched.h"
#include "sys/verbose.h"

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using systest::readText;

constexpr const char *kFiles[] = {"scheduler",
                                  "iosched/quantum",
                                  "iosched/back_seek_max",
                                  "iosched/back_seek_penalty",
                                  "iosched/fifo_expire_sync",
                                  "iosched/slice_sync"};
constexpr const char *kValues[] = {"cfq", "8", "10000000", "1", "75", "50"};

class IoScheduler : public testing::Test {
  protected:
    void SetUp() override { overrides.set("DECKHOST_SYSFS_ROOT", sysfs.path().string()); }
    void TearDown() override { verbose = false; }

    std::string queue(const std::string &disk) const { return sysfs.file("block/" + disk + "/queue/"); }
    // The disk's attribute files, each holding "old".
    void makeDisk(const std::string &disk) {
        fs::create_directories(queue(disk) + "iosched");
        for (const char *file : kFiles) systest::writeText(queue(disk) + file, "old");
    }

    orvtest::TempDir sysfs;
    systest::PlatformOverrides overrides;
};

TEST_F(IoScheduler, WritesEverySettingOfTheDisk) {
    makeDisk("sdb");
    makeDisk("sdc");
    verbose = true;
    testing::internal::CaptureStdout();
    config_usb_cfq("/dev/sdb1");
    const std::string out = testing::internal::GetCapturedStdout();
    for (std::size_t i = 0; i < std::size(kFiles); ++i)
        EXPECT_EQ(readText(queue("sdb") + kFiles[i]), kValues[i]);
    EXPECT_EQ(readText(queue("sdc") + "scheduler"), "old");
    EXPECT_EQ(out, "UDEV: CFQ enabled on " + queue("sdb") + "scheduler (3)\nUDEV: CFQ quantum 8 set on " +
                       queue("sdb") + "iosched/quantum (1)\n");
}

TEST_F(IoScheduler, AMissingSchedulerOrQuantumStops) {
    for (const char *missing : {"scheduler", "iosched/quantum"}) {
        makeDisk("sdb");
        fs::remove(queue("sdb") + missing);
        testing::internal::CaptureStdout();
        config_usb_cfq("/dev/sdb1");
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, "UDEV: CFQ config: Failed to open " + queue("sdb") + missing + ", errno 2\n");
        // Nothing after the missing file is written.
        EXPECT_EQ(readText(queue("sdb") + "iosched/back_seek_max"), "old") << missing;
        fs::remove_all(sysfs.file("block"));
    }
}

TEST_F(IoScheduler, MissingLaterSettingsAreSkipped) {
    makeDisk("sda");
    fs::remove(queue("sda") + "iosched/back_seek_max");
    fs::remove(queue("sda") + "iosched/fifo_expire_sync");
    testing::internal::CaptureStdout();
    config_usb_cfq("/dev/sda2");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(readText(queue("sda") + "iosched/back_seek_penalty"), "1");
    EXPECT_EQ(readText(queue("sda") + "iosched/slice_sync"), "50");
    EXPECT_FALSE(fs::exists(queue("sda") + "iosched/back_seek_max"));
}

} // namespace
