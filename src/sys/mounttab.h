// The mount table as the kernel writes it ("/proc/self/mounts"): one mount a line, the fields
// device, mount point, file-system type and options first, blanks inside a field written as
// octal escapes.
#pragma once

#include <string>
#include <string_view>

struct udev_mount_entry {
    std::string device;
    std::string mountpoint;
    std::string fstype;
    std::string options;
};

// Returns: true with *entry filled (fields unescaped) for a line with at least the four
// fields; false otherwise.
bool udev_parse_mount_line(std::string_view line, udev_mount_entry *entry);

// Returns: true when the mount options say read-only: their first option is "ro".
bool udev_mount_is_readonly(std::string_view options);

enum udev_mount_lookup { UDEV_MOUNT_UNREADABLE = -1, UDEV_MOUNT_ABSENT = 0, UDEV_MOUNT_FOUND = 1 };

// Returns: UDEV_MOUNT_FOUND with *entry set to the first entry of the table at table_path
// whose device is device; UDEV_MOUNT_ABSENT when none is; UDEV_MOUNT_UNREADABLE when the table
// cannot be opened.
udev_mount_lookup udev_mount_find_device(const char *table_path, const char *device, udev_mount_entry *entry);

// As udev_mount_find_device, for the first entry whose mount point is mountpoint.
udev_mount_lookup udev_mount_find_mountpoint(const char *table_path, const char *mountpoint,
                                             udev_mount_entry *entry);
