#include "sys/usbblock.h"

#include "sys/verbose.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

char *copyOr(const char *text, const char *fallback) {
    return strdup(text != nullptr ? text : fallback);
}

usb_block_info *make(const char *dev_path, const char *mnt_path, const char *friendly, const char *uuid,
                     bool readonly) {
    auto *ubi = new usb_block_info{};
    ubi->readonly = readonly;
    ubi->uuid = copyOr(uuid, "0000-0000");
    ubi->friendly = copyOr(friendly, "Unknown Device");
    ubi->kernel = copyOr(dev_path, "/dev/null");
    ubi->mountpoint = copyOr(mnt_path, "/dev/null");
    return ubi;
}

} // namespace

usb_block_info *usb_block_info_new(const char *dev_path, const char *mnt_path, const char *friendly,
                                   const char *uuid, int readonly) {
    if (verbose) {
        std::printf("%s\n", readonly != 0 ? "HOTPLUG: USB block device set to read only"
                                          : "HOTPLUG: USB block device set to writable");
    }
    return make(dev_path, mnt_path, friendly, uuid, readonly != 0);
}

usb_block_info *usb_block_info_copy(const usb_block_info *ubi) {
    if (ubi == nullptr) return nullptr;
    return make(ubi->kernel, ubi->mountpoint, ubi->friendly, ubi->uuid, ubi->readonly);
}

usb_block_info *usb_block_info_destroy(usb_block_info *ubi) {
    if (ubi == nullptr) return nullptr;
    std::free(ubi->uuid);
    std::free(ubi->friendly);
    std::free(ubi->kernel);
    std::free(ubi->mountpoint);
    delete ubi;
    return nullptr;
}
