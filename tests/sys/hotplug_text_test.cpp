// The text rules of the hot-plug listener: fields of the mount table and event lines, the
// mount table itself, and the naming rules of drives, players and disks.
#include "support/tempdir.h"
#include "sys/hotplug_rules.h"
#include "sys/mounttab.h"
#include "sys/textfield.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

TEST(TextField, OctalEscapes) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"My\\040Songs", "My Songs"},
        {"tab\\011and\\012line", "tab\tand\nline"},
        {"back\\134slash", "back\\slash"},
        {"\\101\\102", "AB"},
        {"\\377", "\xff"},
        // Not an escape: kept as it is.
        {"\\000", "\\000"},
        {"\\400", "\\400"},
        {"\\08x", "\\08x"},
        {"end\\04", "end\\04"},
        {"end\\", "end\\"},
        {"", ""},
    };
    for (const Case &c : cases) EXPECT_EQ(sys_unescape_octal(c.in), c.out) << c.in;
}

TEST(TextField, SplitsOnBlanksAndStopsAtTheLimit) {
    using Fields = std::vector<std::string_view>;
    EXPECT_EQ(sys_split_fields("a b\tc", 8), (Fields{"a", "b", "c"}));
    EXPECT_EQ(sys_split_fields("  a   b  ", 8), (Fields{"a", "b"}));
    EXPECT_EQ(sys_split_fields("a b c d e", 3), (Fields{"a", "b", "c"}));
    EXPECT_EQ(sys_split_fields("", 3), Fields{});
    EXPECT_EQ(sys_split_fields(" \t ", 3), Fields{});
}

TEST(MountTable, ParsesLines) {
    udev_mount_entry e;
    ASSERT_TRUE(udev_parse_mount_line("/dev/sda1 /media/My\\040Drive vfat ro,noatime,fmask=0022 0 0", &e));
    EXPECT_EQ(e.device, "/dev/sda1");
    EXPECT_EQ(e.mountpoint, "/media/My Drive");
    EXPECT_EQ(e.fstype, "vfat");
    EXPECT_EQ(e.options, "ro,noatime,fmask=0022");
    // The trailing numbers are not needed.
    ASSERT_TRUE(udev_parse_mount_line("ifuse /mnt/ipod1 fuse.ifuse rw", &e));
    EXPECT_EQ(e.mountpoint, "/mnt/ipod1");
    EXPECT_FALSE(udev_parse_mount_line("/dev/sda1 /media vfat", &e));
    EXPECT_FALSE(udev_parse_mount_line("", &e));
}

TEST(MountTable, ReadOnlyIsTheFirstOption) {
    struct Case {
        const char *options;
        bool readonly;
    };
    const Case cases[] = {
        {"ro", true},          {"ro,noatime", true},     {"rw,noatime", false}, {"rw", false},
        {"noatime,ro", false}, {"rootcontext=x", false}, {"r", false},          {"", false},
    };
    for (const Case &c : cases) EXPECT_EQ(udev_mount_is_readonly(c.options), c.readonly) << c.options;
}

TEST(MountTable, FindsTheFirstMatchingEntry) {
    orvtest::TempDir dir;
    const std::string table = dir.file("mounts");
    std::ofstream(table) << "proc /proc proc rw 0 0\n"
                         << "broken line\n"
                         << "/dev/sdb1 /media/first vfat ro 0 0\n"
                         << "/dev/sdb1 /media/second vfat rw 0 0\n"
                         << "/dev/sdc1 /media/with\\040blank ext4 rw 0 0\n";
    udev_mount_entry e;
    ASSERT_EQ(udev_mount_find_device(table.c_str(), "/dev/sdb1", &e), UDEV_MOUNT_FOUND);
    EXPECT_EQ(e.mountpoint, "/media/first");
    EXPECT_EQ(udev_mount_find_device(table.c_str(), "/dev/sdb", &e), UDEV_MOUNT_ABSENT);
    ASSERT_EQ(udev_mount_find_mountpoint(table.c_str(), "/media/with blank", &e), UDEV_MOUNT_FOUND);
    EXPECT_EQ(e.device, "/dev/sdc1");
    EXPECT_EQ(udev_mount_find_mountpoint(table.c_str(), "/media/with\\040blank", &e), UDEV_MOUNT_ABSENT);
    EXPECT_EQ(udev_mount_find_device(dir.file("none").c_str(), "/dev/sdb1", &e), UDEV_MOUNT_UNREADABLE);
}

TEST(HotplugRules, ShortUuidsAndTheirLimit) {
    EXPECT_TRUE(udev_uuid_is_short(""));
    EXPECT_TRUE(udev_uuid_is_short("1234-ABCD")); // a FAT volume serial: 9 characters
    EXPECT_FALSE(udev_uuid_is_short("1234-ABCDE"));
    EXPECT_FALSE(udev_uuid_is_short("0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9"));
    const std::string long_uuid(100, 'x');
    EXPECT_EQ(udev_fs_uuid(long_uuid), std::string(64, 'x'));
    EXPECT_EQ(udev_fs_uuid("1234-ABCD"), "1234-ABCD");
}

TEST(HotplugRules, FriendlyNames) {
    EXPECT_EQ(udev_friendly_name("MUSIC"), "MUSIC");
    EXPECT_EQ(udev_friendly_name("My Songs"), "My Songs");
    EXPECT_EQ(udev_friendly_name(""), "Unknown Device");
}

TEST(HotplugRules, PlayerNamesByModel) {
    struct Case {
        u32 product_id;
        int number;
        const char *name;
    };
    const Case cases[] = {
        {0x1290, 1, "iPhone #1"},
        {0x1291, 2, "iPod touch #2"},
        {0x1292, 2, "iPhone 3G #2"},
        {0x1293, 3, "iPod touch 2G #3"},
        {0x1294, 1, "iPhone 3GS #1"},
        {0x1297, 1, "iPhone 4 GSM #1"},
        {0x1299, 1, "iPod touch 3G #1"},
        {0x129A, 1, "iPad #1"},
        {0x129C, 1, "iPhone 4 CDMA #1"},
        {0x129E, 1, "iPod touch 4G #1"},
        {0x129F, 1, "iPad 2 Wi-Fi #1"},
        {0x12A2, 1, "iPad 2 GSM #1"},
        {0x12A3, 1000, "iPad 2 CDMA #1000"},
        // Any other model, including the ids between the named ones.
        {0x1295, 1, "iPod #1"},
        {0x12A0, 4, "iPod #4"},
        {0, 1, "iPod #1"},
        {0xFFFFFFFF, 7, "iPod #7"},
    };
    for (const Case &c : cases) EXPECT_EQ(udev_player_name(c.product_id, c.number), c.name) << c.product_id;
}

TEST(HotplugRules, DiskNames) {
    struct Case {
        const char *node, *disk;
    };
    const Case cases[] = {
        {"/dev/sda1", "sda"},
        {"/dev/sdb", "sdb"},
        {"/dev/sdab12", "sdab"},
        {"/dev/mmcblk0p1", "mmcblk"},
        {"/dev/verylongname", "verylon"},
        {"sdc1", "sdc"},
        {"/dev/1", ""},
        {"", ""},
        {"/dev/", ""},
    };
    for (const Case &c : cases) EXPECT_EQ(udev_disk_name(c.node), c.disk) << c.node;
}

} // namespace
