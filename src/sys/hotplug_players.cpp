// Apple portable players: each is mounted through the user-space file-system tool at a
// numbered mount point of its own and reported like a drive.
#include "platform/platform.h"
#include "sys/childproc.h"
#include "sys/hotplug_internal.h"
#include "sys/hotplug_rules.h"
#include "sys/mounttab.h"
#include "sys/systime.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<bool> stopping{false};
std::atomic<bool> fuse_loaded{false};

bool isMounted(const std::string &mountpoint) {
    const char *table = platform_path(PLATFORM_MOUNTS);
    udev_mount_entry entry;
    const udev_mount_lookup found = udev_mount_find_mountpoint(table, mountpoint.c_str(), &entry);
    if (found != UDEV_MOUNT_UNREADABLE) return found == UDEV_MOUNT_FOUND;
    std::fprintf(stderr, "UDEV: Can't read the mount table %s\n", table);
    raise(SIGABRT);
    return false;
}

// Returns: the number of the check that saw the mount point mounted (or gone, with mounted
// false), or 0 when it did not within the checks or the listener is ending.
int waitForMount(const std::string &mountpoint, bool mounted) {
    for (int check = 1; check <= UDEV_MOUNT_CHECKS; ++check) {
        if (isMounted(mountpoint) == mounted) return check;
        if (stopping.load()) return 0;
        sys_sleep(UDEV_MOUNT_CHECK_MS);
    }
    return 0;
}

// Returns: the first number whose mount point is free and could be made, with *mountpoint
// set; 0 when none of them can.
int makeMountPoint(std::string *mountpoint) {
    const std::string prefix = platform_path(PLATFORM_PLAYER_MOUNTS);
    for (int n = 1; n <= UDEV_PLAYER_MOUNTS_MAX; ++n) {
        const std::string path = prefix + std::to_string(n);
        if (udev_table().contains(path) || mkdir(path.c_str(), 0775) != 0) continue;
        *mountpoint = path;
        return n;
    }
    return 0;
}

void loadFuseOnce() {
    if (fuse_loaded.exchange(true)) return;
    const char *const args[] = {"modprobe", "fuse", nullptr};
    platform_run_wait(PLATFORM_TOOL_MODPROBE, args);
}

void mountPlayer(const std::string &mountpoint, const std::string &uuid) {
    loadFuseOnce();
    const std::string tool = platform_tool_path(PLATFORM_TOOL_IFUSE);
    const char *const args[] = {"ifuse", mountpoint.c_str(), "-o", "nonempty", "-u", uuid.c_str(), nullptr};
    const pid_t pid = sys_do_safe_vfork_exec_unwaited(tool.c_str(), args);
    std::printf("UDEV: ifuse %s launched, pid = %d, uuid = %s\n", mountpoint.c_str(), pid, uuid.c_str());
    const int checks = waitForMount(mountpoint, true);
    if (checks > 0) std::printf("UDEV: Found %s in mount table. (%d)\n", mountpoint.c_str(), checks);
}

void playerAdded(const platform_player &p) {
    std::printf("UDEV: Usbmuxd: Add dev handle %x PID %x uuid %s\n", p.handle, p.product_id, p.uuid.c_str());
    if (p.uuid.empty()) {
        std::printf("UDEV: Usbmuxd: Error: device without uuid not reported\n");
        return;
    }
    udev_device_table &table = udev_table();
    std::string key;
    if (table.find_uuid(p.uuid, &key)) {
        std::printf("UDEV: Usbmuxd: Device with uuid=%s already in table.\n", p.uuid.c_str());
        return;
    }
    std::string mountpoint;
    const int number = makeMountPoint(&mountpoint);
    if (number == 0) {
        std::printf("UDEV: Usbmuxd: Error: no mount point left for uuid=%s\n", p.uuid.c_str());
        return;
    }
    const std::string name = udev_player_name(p.product_id, number);
    mountPlayer(mountpoint, p.uuid);
    // The receivers may be gone already.
    if (stopping.load()) return;
    table.put(mountpoint,
              usb_block_info_new(mountpoint.c_str(), mountpoint.c_str(), name.c_str(), p.uuid.c_str(), 0));
    table.print();
    udev_broadcast_block(mBlockDevAdded, usb_block_info_new(mountpoint.c_str(), mountpoint.c_str(),
                                                            name.c_str(), p.uuid.c_str(), 0));
}

void unmountPlayer(const usb_block_info &player) {
    std::printf("UDEV: Unmounting %s from %s\n", player.friendly, player.mountpoint);
    const char *const args[] = {"umount", player.mountpoint, nullptr};
    platform_run_wait(PLATFORM_TOOL_UMOUNT, args);
    const int checks = waitForMount(player.mountpoint, false);
    if (checks > 0) {
        std::printf("UDEV: %s no longer in mount table. (%d)\n", player.mountpoint, checks);
    } else {
        std::printf("UDEV: Error %s still in mount table...\n", player.mountpoint);
    }
    rmdir(player.mountpoint);
}

void playerRemoved(const platform_player &p) {
    std::printf("UDEV: Usbmuxd: Remove dev handle %x PID %x uuid %s\n", p.handle, p.product_id,
                p.uuid.c_str());
    udev_device_table &table = udev_table();
    std::string key;
    usb_block_info *stored = table.find_uuid(p.uuid, &key) ? table.copy(key) : nullptr;
    if (stored == nullptr) {
        std::printf("UDEV: Usbmuxd: error, can't find device matching UUID=%s\n", p.uuid.c_str());
        return;
    }
    unmountPlayer(*stored);
    udev_broadcast_block(mBlockDevRemoved, usb_block_info_new(stored->kernel, stored->mountpoint,
                                                              stored->friendly, stored->uuid, 1));
    usb_block_info_destroy(stored);
    table.remove(key);
}

} // namespace

void udev_player_event(int event, const platform_player &player) {
    switch (event) {
    case PLATFORM_PLAYER_ADD:
        playerAdded(player);
        break;
    case PLATFORM_PLAYER_REMOVE:
        playerRemoved(player);
        break;
    default:
        std::printf("UDEV: Usbmuxd: unknown event\n");
        break;
    }
}

void udev_set_stopping(bool value) {
    stopping.store(value);
}
