// Drive descriptions and the listener's table of them.
#include "sys/hotplug_table.h"
#include "sys/verbose.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UsbBlockInfo, NullStringsGetTheirDefaults) {
    usb_block_info *info = usb_block_info_new(nullptr, nullptr, nullptr, nullptr, 0);
    EXPECT_STREQ(info->kernel, "/dev/null");
    EXPECT_STREQ(info->mountpoint, "/dev/null");
    EXPECT_STREQ(info->friendly, "Unknown Device");
    EXPECT_STREQ(info->uuid, "0000-0000");
    EXPECT_FALSE(info->readonly);
    EXPECT_EQ(usb_block_info_destroy(info), nullptr);
    EXPECT_EQ(usb_block_info_destroy(nullptr), nullptr);
}

TEST(UsbBlockInfo, HoldsCopiesOfItsStrings) {
    char node[] = "/dev/sdb1";
    usb_block_info *info = usb_block_info_new(node, "/media/a", "A", "uuid-a", 7);
    node[5] = 'X';
    EXPECT_STREQ(info->kernel, "/dev/sdb1");
    EXPECT_TRUE(info->readonly);
    usb_block_info *copy = usb_block_info_copy(info);
    EXPECT_NE(copy->uuid, info->uuid);
    EXPECT_STREQ(copy->uuid, "uuid-a");
    EXPECT_STREQ(copy->mountpoint, "/media/a");
    EXPECT_TRUE(copy->readonly);
    usb_block_info_destroy(info);
    EXPECT_STREQ(copy->friendly, "A");
    usb_block_info_destroy(copy);
    EXPECT_EQ(usb_block_info_copy(nullptr), nullptr);
}

TEST(UsbBlockInfo, VerboseTellsTheReadOnlyFlag) {
    verbose = true;
    testing::internal::CaptureStdout();
    usb_block_info_destroy(usb_block_info_new("a", "b", "c", "d", 1));
    usb_block_info_destroy(usb_block_info_new("a", "b", "c", "d", 0));
    verbose = false;
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "HOTPLUG: USB block device set to read only\nHOTPLUG: USB block device set to writable\n");
}

TEST(DeviceTable, PutReplacesFindsAndRemoves) {
    udev_device_table table;
    EXPECT_TRUE(table.empty());
    table.put("/dev/sdb1", usb_block_info_new("/dev/sdb1", "/media/b", "B", "uuid-b", 0));
    table.put("/mnt/ipod1", usb_block_info_new("/mnt/ipod1", "/mnt/ipod1", "iPhone #1", "uuid-p", 0));
    // A second record under the same key replaces the first (ASan checks that it is freed).
    table.put("/dev/sdb1", usb_block_info_new("/dev/sdb1", "/media/b2", "B2", "uuid-b2", 1));
    EXPECT_FALSE(table.empty());
    EXPECT_TRUE(table.contains("/dev/sdb1"));
    EXPECT_FALSE(table.contains("/dev/sdb"));

    usb_block_info *copy = table.copy("/dev/sdb1");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->mountpoint, "/media/b2");
    EXPECT_TRUE(copy->readonly);
    usb_block_info_destroy(copy);
    EXPECT_EQ(table.copy("/dev/sdc1"), nullptr);

    std::string key;
    ASSERT_TRUE(table.find_uuid("uuid-p", &key));
    EXPECT_EQ(key, "/mnt/ipod1");
    EXPECT_FALSE(table.find_uuid("uuid-b", &key));
    EXPECT_FALSE(table.find_uuid("", &key));

    verbose = true;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(table.remove("/mnt/ipod1"));
    EXPECT_FALSE(table.remove("/mnt/ipod1"));
    verbose = false;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "usb_block_info_destroy_callback: /mnt/ipod1\n");
    EXPECT_FALSE(table.find_uuid("uuid-p", &key));
}

TEST(DeviceTable, PrintsOneLinePerRecord) {
    udev_device_table table;
    table.put("/dev/sdb1", usb_block_info_new("/dev/sdb1", "/media/b", "B", "uuid-b", 0));
    table.put("/dev/sda1", usb_block_info_new("/dev/sda1", "/media/a", "A", "uuid-a", 1));
    testing::internal::CaptureStdout();
    table.print();
    EXPECT_EQ(
        testing::internal::GetCapturedStdout(),
        "Connected devices and types:\n"
        "Hash /dev/sda1 = {'mountpoint' : '/media/a', 'kernel' : '/dev/sda1', 'friendly' : 'A', 'uuid' : "
        "'uuid-a'}\n"
        "Hash /dev/sdb1 = {'mountpoint' : '/media/b', 'kernel' : '/dev/sdb1', 'friendly' : 'B', 'uuid' : "
        "'uuid-b'}\n");
    table.clear();
    EXPECT_TRUE(table.empty());
    testing::internal::CaptureStdout();
    table.print();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Connected devices and types:\n");
}

} // namespace
