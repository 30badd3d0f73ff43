#include "sys/iosched.h"

#include "platform/platform.h"
#include "sys/hotplug_rules.h"
#include "sys/verbose.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

struct Setting {
    const char *file; // under <root>/block/<disk>/queue/
    const char *value;
    bool required;            // a failed open stops the tuning
    const char *verbose_what; // with verbose set, "UDEV: <what> on <path> (<result>)"; or null
};

constexpr std::array<Setting, 6> kSettings{{
    {"scheduler", "cfq", true, "CFQ enabled"},
    {"iosched/quantum", "8", true, "CFQ quantum 8 set"},
    {"iosched/back_seek_max", "10000000", false, nullptr},
    {"iosched/back_seek_penalty", "1", false, nullptr},
    {"iosched/fifo_expire_sync", "75", false, nullptr},
    {"iosched/slice_sync", "50", false, nullptr},
}};

// Returns: false when the file cannot be opened; else true, with *written the write's result.
bool writeSetting(const std::string &path, const char *value, int *written) {
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    ssize_t n;
    do {
        n = write(fd, value, std::strlen(value));
    } while (n < 0 && errno == EINTR);
    close(fd);
    *written = static_cast<int>(n);
    return true;
}

} // namespace

void config_usb_cfq(const char *dev_path) {
    const std::string queue =
        std::string(platform_path(PLATFORM_SYSFS_ROOT)) + "/block/" + udev_disk_name(dev_path) + "/queue/";
    for (const Setting &setting : kSettings) {
        const std::string path = queue + setting.file;
        int written = 0;
        if (!writeSetting(path, setting.value, &written)) {
            if (!setting.required) continue;
            std::printf("UDEV: CFQ config: Failed to open %s, errno %d\n", path.c_str(), errno);
            return;
        }
        if (verbose && setting.verbose_what != nullptr)
            std::printf("UDEV: %s on %s (%d)\n", setting.verbose_what, path.c_str(), written);
    }
}
