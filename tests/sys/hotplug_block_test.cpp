// Drives as the hot-plug listener handles them: which block devices are reported, with which
// id, name and read-only flag, and which are ignored. The device events come from lines in
// the host's event format; the mount table, the device attributes and the UUID generator are
// stand-ins in a scratch folder.
#include "dispatch_support.h"
#include "hotplug_support.h"
#include "platform/block_events.h"
#include "sys/hotplug_internal.h"

#include <csignal>
#include <filesystem>
#include <iterator>

namespace {

namespace fs = std::filesystem;
using systest::readText;
using systest::writeText;

constexpr const char *kGenerated = "6f1c2a3b-0000-4000-8000-123456789abc";
constexpr const char *kLongUuid = "0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9";
constexpr u16 kReports[] = {mBlockDevAdded, mBlockDevRemoved};

// A report as the library receives it.
struct Report {
    u16 name;
    std::string kernel, mountpoint, friendly, uuid;
    bool readonly;
    bool operator==(const Report &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Report &r) {
    return out << (r.name == mBlockDevAdded ? "added " : "removed ") << r.kernel << " " << r.mountpoint
               << " '" << r.friendly << "' " << r.uuid << (r.readonly ? " ro" : " rw");
}

class HotplugBlock : public testing::Test {
  protected:
    void SetUp() override {
        q_register(library.get(), kReports, static_cast<int>(std::size(kReports)));
        overrides.set("DECKHOST_MOUNTS", scratch.file("mounts"));
        overrides.set("DECKHOST_SYSFS_ROOT", scratch.file("sys"));
        overrides.set("DECKHOST_TOOL_DIR", tools.path().string());
        systest::writeTool(tools, "uuidgen", std::string("echo ") + kGenerated + "\n");
        writeText(scratch.file("mounts"), "");
    }
    void TearDown() override {
        q_unregister(library.get(), kReports, static_cast<int>(std::size(kReports)));
        reports();
        udev_table().clear();
    }

    // A mounted drive: its folder and its mount table line.
    std::string mount(const std::string &node, const std::string &options) {
        const std::string folder = scratch.file("media" + node);
        fs::create_directories(folder);
        std::ofstream(scratch.file("mounts"), std::ios::app)
            << node << " " << folder << " vfat " << options << " 0 0\n";
        return folder;
    }

    // Handles one line of the event format (with its action; "-" for a device present at start).
    void handle(const std::string &line) {
        platform_block_device device;
        const bool present = line.rfind("- ", 0) == 0;
        ASSERT_TRUE(platform_parse_block_line(present ? line.substr(2) : line, !present, &device)) << line;
        testing::internal::CaptureStdout();
        udev_handle_block(device);
        out += testing::internal::GetCapturedStdout();
    }

    // Takes every report sent so far, freeing them as the library does.
    std::vector<Report> reports() {
        std::vector<Report> taken;
        msg m{};
        while (q_get(library.get(), &m, nullptr, 0) > 0) {
            usb_block_info *info = m.sysex.body.block.info;
            taken.push_back(
                {m.sysex.name, info->kernel, info->mountpoint, info->friendly, info->uuid, info->readonly});
            usb_block_info_destroy(info);
        }
        return taken;
    }

    systest::OwnedQueue library{"@hotplug_lib", Q_TYPE_FAST, 64};
    orvtest::TempDir scratch;
    orvtest::TempDir tools;
    systest::PlatformOverrides overrides;
    std::string out;
};

TEST_F(HotplugBlock, MountedDrivesAreReportedWithIdNameAndReadOnlyFlag) {
    struct Case {
        std::string line;    // the event; the device node is /dev/sdb1
        std::string options; // its mount options
        std::string friendly, uuid;
        bool readonly;
    };
    const Case cases[] = {
        {"add /dev/sdb1 ID_FS_UUID=" + std::string(kLongUuid) + " ID_FS_LABEL=MUSIC", "ro,noatime", "MUSIC",
         kLongUuid, true},
        {"add /dev/sdb1 ID_FS_UUID=" + std::string(kLongUuid), "rw,noatime", "Unknown Device", kLongUuid,
         false},
        // A FAT serial is too short: the drive gets an id file.
        {"add /dev/sdb1 ID_FS_UUID=1234-ABCD ID_FS_LABEL=My\\040Songs", "rw", "My Songs", kGenerated, false},
        {"add /dev/sdb1", "ro", "Unknown Device", kGenerated, true},
        // Present at start: no action.
        {"- /dev/sdb1 ID_FS_UUID=" + std::string(kLongUuid), "rw", "Unknown Device", kLongUuid, false},
        // An over-long UUID is cut to 64 characters.
        {"add /dev/sdb1 ID_FS_UUID=" + std::string(70, 'u'), "rw", "Unknown Device", std::string(64, 'u'),
         false},
    };
    for (const Case &c : cases) {
        writeText(scratch.file("mounts"), "");
        fs::remove_all(scratch.file("media"));
        const std::string folder = mount("/dev/sdb1", c.options);
        handle(c.line);
        const std::vector<Report> expected{
            {mBlockDevAdded, "/dev/sdb1", folder, c.friendly, c.uuid, c.readonly}};
        EXPECT_EQ(reports(), expected) << c.line;
        usb_block_info *stored = udev_table().copy("/dev/sdb1");
        ASSERT_NE(stored, nullptr) << c.line;
        EXPECT_STREQ(stored->uuid, c.uuid.c_str());
        usb_block_info_destroy(stored);
        EXPECT_EQ(fs::exists(folder + "/Quilo4_Database/uuid.txt"), c.uuid == kGenerated) << c.line;
    }
}

TEST_F(HotplugBlock, OtherDevicesAndActionsAreIgnored) {
    mount("/dev/sdb1", "rw");
    const char *lines[] = {
        "change /dev/sdb1 ID_FS_UUID=0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9",
        "bind /dev/sdb1",
        "ADD /dev/sdb1",
        "add /dev/sdb1 USB=0 ID_FS_UUID=0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9",
        "add - ID_FS_UUID=0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9",
        // Not mounted.
        "add /dev/sdc1 ID_FS_UUID=0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9",
        // Never reported.
        "remove /dev/sdb1",
    };
    for (const char *line : lines) handle(line);
    EXPECT_EQ(reports(), std::vector<Report>{});
    EXPECT_TRUE(udev_table().empty());
    EXPECT_NE(out.find("UDEV: Warning: device does not have a devnode\n"), std::string::npos);
    EXPECT_NE(out.find("No mnt entries match /dev/sdc1\n"), std::string::npos);
    // A device without a USB parent is not even described.
    EXPECT_EQ(out.find("Device Node Path: /dev/sdb1\n"), out.rfind("Device Node Path: /dev/sdb1\n"));
}

TEST_F(HotplugBlock, RemovalReportsTheStoredValuesReadOnlyOnce) {
    const std::string folder = mount("/dev/sdb1", "rw");
    handle("add /dev/sdb1 ID_FS_UUID=1234-ABCD ID_FS_LABEL=MUSIC");
    handle("remove /dev/sdb1 ID_FS_LABEL=OTHER");
    handle("remove /dev/sdb1");
    const std::vector<Report> expected{{mBlockDevAdded, "/dev/sdb1", folder, "MUSIC", kGenerated, false},
                                       {mBlockDevRemoved, "/dev/sdb1", folder, "MUSIC", kGenerated, true}};
    EXPECT_EQ(reports(), expected);
    EXPECT_TRUE(udev_table().empty());
}

TEST_F(HotplugBlock, ASecondAdditionReplacesTheStoredDrive) {
    const std::string folder = mount("/dev/sdb1", "rw");
    handle("add /dev/sdb1 ID_FS_UUID=0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9 ID_FS_LABEL=OLD");
    handle("add /dev/sdb1 ID_FS_UUID=0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9 ID_FS_LABEL=NEW");
    handle("remove /dev/sdb1");
    const std::vector<Report> got = reports();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[2], (Report{mBlockDevRemoved, "/dev/sdb1", folder, "NEW", kLongUuid, true}));
}

TEST_F(HotplugBlock, ADriveWithoutAnyIdIsNotReported) {
    fs::remove(tools.file("uuidgen"));
    const std::string short_one = mount("/dev/sdb1", "rw");
    mount("/dev/sdc1", "rw");
    testing::internal::CaptureStderr();
    handle("add /dev/sdb1 ID_FS_UUID=1234-ABCD");
    handle("add /dev/sdc1");
    testing::internal::GetCapturedStderr();
    // Without a generator a short UUID is kept; no UUID at all is no id.
    const std::vector<Report> expected{
        {mBlockDevAdded, "/dev/sdb1", short_one, "Unknown Device", "1234-ABCD", false}};
    EXPECT_EQ(reports(), expected);
    EXPECT_NE(out.find("UDEV: Error: /dev/sdc1 has no id; not reported\n"), std::string::npos);
    EXPECT_FALSE(udev_table().contains("/dev/sdc1"));
}

TEST_F(HotplugBlock, TheDisksSchedulerIsTuned) {
    const std::string queue = scratch.file("sys/block/sdb/queue/");
    fs::create_directories(queue + "iosched");
    writeText(queue + "scheduler", "old");
    writeText(queue + "iosched/quantum", "old");
    mount("/dev/sdb1", "rw");
    handle("add /dev/sdb1 ID_FS_UUID=0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9");
    EXPECT_EQ(readText(queue + "scheduler"), "cfq");
    EXPECT_EQ(readText(queue + "iosched/quantum"), "8");
}

TEST_F(HotplugBlock, AnUnreadableMountTableAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    overrides.set("DECKHOST_MOUNTS", scratch.file("no-such-table"));
    platform_block_device device;
    ASSERT_TRUE(platform_parse_block_line("add /dev/sdb1", true, &device));
    EXPECT_EXIT(udev_handle_block(device), testing::KilledBySignal(SIGABRT), "Can't read the mount table");
}

} // namespace
