// The hot-plug listener's table of connected drives and players: the listener's own copy of
// each description, under its device node (a player: under its mount point). The listener's
// thread and the player multiplexer's thread both use it; each call takes the table's lock.
#pragma once

#include "sys/usbblock.h"

#include <map>
#include <mutex>
#include <string>

class udev_device_table {
  public:
    udev_device_table() = default;
    udev_device_table(const udev_device_table &) = delete;
    udev_device_table &operator=(const udev_device_table &) = delete;
    ~udev_device_table() { clear(); }

    // Needs: info not null. Guarantees: the table owns info under key; a record already there
    // is freed.
    void put(const std::string &key, usb_block_info *info);

    // Returns: a separate copy of the record under key (the caller frees it), or null.
    usb_block_info *copy(const std::string &key) const;

    bool contains(const std::string &key) const;
    bool empty() const;

    // Returns: true with *key set to the key of the first record whose uuid is uuid.
    bool find_uuid(const std::string &uuid, std::string *key) const;

    // Guarantees: the record under key (when there is one) is freed; with verbose set, prints
    // "usb_block_info_destroy_callback: <mount point>". Returns: whether there was one.
    bool remove(const std::string &key);

    // Guarantees: every record is freed (without a line).
    void clear();

    // Prints "Connected devices and types:" and one line per record:
    // "Hash <key> = {'mountpoint' : '<m>', 'kernel' : '<k>', 'friendly' : '<f>', 'uuid' : '<u>'}".
    void print() const;

  private:
    mutable std::mutex lock_;
    std::map<std::string, usb_block_info *> records_;
};
