#include "sys/hotplug_table.h"

#include "sys/verbose.h"

#include <cstdio>

void udev_device_table::put(const std::string &key, usb_block_info *info) {
    const std::lock_guard<std::mutex> hold(lock_);
    auto [at, added] = records_.try_emplace(key, info);
    if (!added) {
        usb_block_info_destroy(at->second);
        at->second = info;
    }
}

usb_block_info *udev_device_table::copy(const std::string &key) const {
    const std::lock_guard<std::mutex> hold(lock_);
    const auto at = records_.find(key);
    return at != records_.end() ? usb_block_info_copy(at->second) : nullptr;
}

bool udev_device_table::contains(const std::string &key) const {
    const std::lock_guard<std::mutex> hold(lock_);
    return records_.count(key) != 0;
}

bool udev_device_table::empty() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return records_.empty();
}

bool udev_device_table::find_uuid(const std::string &uuid, std::string *key) const {
    const std::lock_guard<std::mutex> hold(lock_);
    for (const auto &[k, info] : records_) {
        if (uuid == info->uuid) {
            *key = k;
            return true;
        }
    }
    return false;
}

bool udev_device_table::remove(const std::string &key) {
    usb_block_info *gone = nullptr;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        const auto at = records_.find(key);
        if (at == records_.end()) return false;
        gone = at->second;
        records_.erase(at);
    }
    if (verbose) std::printf("%s: %s\n", "usb_block_info_destroy_callback", gone->mountpoint);
    usb_block_info_destroy(gone);
    return true;
}

void udev_device_table::clear() {
    const std::lock_guard<std::mutex> hold(lock_);
    for (auto &entry : records_) usb_block_info_destroy(entry.second);
    records_.clear();
}

void udev_device_table::print() const {
    const std::lock_guard<std::mutex> hold(lock_);
    std::printf("Connected devices and types:\n");
    for (const auto &[key, info] : records_) {
        std::printf("Hash %s = {'mountpoint' : '%s', 'kernel' : '%s', 'friendly' : '%s', 'uuid' : '%s'}\n",
                    key.c_str(), info->mountpoint, info->kernel, info->friendly, info->uuid);
    }
}
