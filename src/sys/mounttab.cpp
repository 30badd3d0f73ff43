#include "sys/mounttab.h"

#include "sys/textfield.h"

#include <fstream>

namespace {

enum class Field { Device, Mountpoint };

udev_mount_lookup findEntry(const char *table_path, Field field, const char *wanted,
                            udev_mount_entry *entry) {
    std::ifstream table(table_path);
    if (!table.is_open()) return UDEV_MOUNT_UNREADABLE;
    std::string line;
    while (std::getline(table, line)) {
        udev_mount_entry e;
        if (!udev_parse_mount_line(line, &e)) continue;
        const std::string &value = field == Field::Device ? e.device : e.mountpoint;
        if (value == wanted) {
            *entry = std::move(e);
            return UDEV_MOUNT_FOUND;
        }
    }
    return UDEV_MOUNT_ABSENT;
}

} // namespace

bool udev_parse_mount_line(std::string_view line, udev_mount_entry *entry) {
    const auto fields = sys_split_fields(line, 4);
    if (fields.size() < 4) return false;
    entry->device = sys_unescape_octal(fields[0]);
    entry->mountpoint = sys_unescape_octal(fields[1]);
    entry->fstype = sys_unescape_octal(fields[2]);
    entry->options = sys_unescape_octal(fields[3]);
    return true;
}

bool udev_mount_is_readonly(std::string_view options) {
    return options.substr(0, options.find(',')) == "ro";
}

udev_mount_lookup udev_mount_find_device(const char *table_path, const char *device,
                                         udev_mount_entry *entry) {
    return findEntry(table_path, Field::Device, device, entry);
}

udev_mount_lookup udev_mount_find_mountpoint(const char *table_path, const char *mountpoint,
                                             udev_mount_entry *entry) {
    return findEntry(table_path, Field::Mountpoint, mountpoint, entry);
}
