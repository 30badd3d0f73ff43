// Feeds any bytes to the line readers of the hot-plug listener and the update watcher: the
// mount table, the update pipe's announcements and the host's device event lines. Whatever a
// line holds, reading it stays within it and what comes out keeps the readers' promises.
#include "platform/block_events.h"
#include "platform/player_events.h"
#include "sys/hotplug_rules.h"
#include "sys/mounttab.h"
#include "sys/textfield.h"
#include "sys/update_request.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void mountLine(std::string_view text) {
    udev_mount_entry entry;
    if (!udev_parse_mount_line(text, &entry)) return;
    // Unescaping never makes a field longer.
    check(entry.device.size() + entry.mountpoint.size() + entry.fstype.size() + entry.options.size() <=
          text.size());
    udev_mount_is_readonly(entry.options);
}

void updateChunk(std::string_view text) {
    std::string path;
    if (!sys_update_parse(text.substr(0, SYS_UPDATE_READ_MAX), &path)) return;
    check(!path.empty() && path.size() < SYS_UPDATE_READ_MAX);
    check(path.find('\n') == std::string::npos && path.find('\0') == std::string::npos);
}

void eventLines(std::string_view text) {
    platform_block_device device;
    platform_parse_block_line(text, true, &device);
    platform_parse_block_line(text, false, &device);
    int event = 0;
    platform_player player;
    if (platform_parse_player_line(text, true, &event, &player))
        check(player.uuid.size() <= PLATFORM_PLAYER_UUID_MAX);
    if (platform_parse_player_line(text, false, nullptr, &player))
        check(player.uuid.size() <= PLATFORM_PLAYER_UUID_MAX);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    check(sys_unescape_octal(text).size() <= size);
    mountLine(text);
    updateChunk(text);
    eventLines(text);
    check(udev_disk_name(text).size() <= UDEV_DISK_NAME_MAX);
    check(udev_fs_uuid(text).size() <= UDEV_FS_UUID_MAX);
    return 0;
}
