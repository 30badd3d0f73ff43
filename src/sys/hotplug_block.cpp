// Drives: a block device that is added and mounted gets a description with its id, name and
// read-only flag; one that goes is reported gone.
#include "platform/platform.h"
#include "sys/driveid.h"
#include "sys/hotplug_internal.h"
#include "sys/hotplug_rules.h"
#include "sys/iosched.h"
#include "sys/mounttab.h"

#include <csignal>
#include <cstdio>

namespace {

void printDevice(const platform_block_device &d) {
    std::printf("Device Node Path: %s\n", d.devnode.c_str());
    std::printf("  VID/PID: %s %s\n", d.vendor_id.c_str(), d.product_id.c_str());
    std::printf("  %s\n  %s\n", d.manufacturer.c_str(), d.product.c_str());
    std::printf("  serial: %s\n", d.serial.c_str());
}

// Returns: true with *entry set when the device is mounted.
bool findMount(const std::string &devnode, udev_mount_entry *entry) {
    const char *table = platform_path(PLATFORM_MOUNTS);
    switch (udev_mount_find_device(table, devnode.c_str(), entry)) {
    case UDEV_MOUNT_FOUND:
        return true;
    case UDEV_MOUNT_ABSENT:
        std::printf("No mnt entries match %s\n", devnode.c_str());
        return false;
    case UDEV_MOUNT_UNREADABLE:
        break;
    }
    std::fprintf(stderr, "UDEV: Can't read the mount table %s\n", table);
    raise(SIGABRT);
    return false;
}

// Returns: the id the drive is known by: its file-system UUID, or, when that is too short,
// the drive's own id (the short one when that cannot be had; empty when there is none).
std::string driveId(const platform_block_device &d, const std::string &mountpoint) {
    const std::string fs_uuid = udev_fs_uuid(d.fs_uuid);
    if (!udev_uuid_is_short(fs_uuid)) return fs_uuid;
    const std::string own = udev_drive_id(mountpoint);
    return own.empty() ? fs_uuid : own;
}

void addDrive(const platform_block_device &d) {
    udev_mount_entry mount;
    if (!findMount(d.devnode, &mount)) return;
    const bool readonly = udev_mount_is_readonly(mount.options);
    const std::string uuid = driveId(d, mount.mountpoint);
    if (uuid.empty()) {
        // An empty id would merge this drive with every other one without an id.
        std::printf("UDEV: Error: %s has no id; not reported\n", d.devnode.c_str());
        return;
    }
    const std::string name = udev_friendly_name(d.fs_label);
    udev_device_table &table = udev_table();
    table.put(d.devnode, usb_block_info_new(d.devnode.c_str(), mount.mountpoint.c_str(), name.c_str(),
                                            uuid.c_str(), readonly));
    table.print();
    udev_broadcast_block(mBlockDevAdded, usb_block_info_new(d.devnode.c_str(), mount.mountpoint.c_str(),
                                                            name.c_str(), uuid.c_str(), readonly));
    config_usb_cfq(d.devnode.c_str());
}

void removeDrive(const platform_block_device &d) {
    udev_device_table &table = udev_table();
    usb_block_info *stored = table.copy(d.devnode);
    if (stored == nullptr) return;
    udev_broadcast_block(mBlockDevRemoved, usb_block_info_new(stored->kernel, stored->mountpoint,
                                                              stored->friendly, stored->uuid, 1));
    usb_block_info_destroy(stored);
    table.remove(d.devnode);
}

} // namespace

void udev_handle_block(const platform_block_device &device) {
    const bool adding = device.action.empty() || device.action == "add";
    if (!adding && device.action != "remove") return;
    if (!device.has_devnode) {
        std::printf("UDEV: Warning: device does not have a devnode\n");
        return;
    }
    if (!device.has_usb_parent) return;
    printDevice(device);
    if (adding) {
        addDrive(device);
    } else {
        removeDrive(device);
    }
}
