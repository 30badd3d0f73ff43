// The naming rules of the hot-plug listener: which file-system UUIDs are too short to tell
// drives apart, what a drive and a portable player are called, and which disk a device node
// belongs to.
#pragma once

#include "orvsys/orvint.h"

#include <string>
#include <string_view>

// The longest file-system UUID kept from the device manager.
inline constexpr std::size_t UDEV_FS_UUID_MAX = 64;
// A file-system UUID shorter than this (a FAT volume serial such as "1234-ABCD") does not tell
// drives apart: the drive's own id file is used instead.
inline constexpr std::size_t UDEV_FS_UUID_MIN = 10;
// The longest id taken from a drive's id file.
inline constexpr std::size_t UDEV_DRIVE_ID_MAX = 40;
// The longest disk name taken from a device node.
inline constexpr std::size_t UDEV_DISK_NAME_MAX = 7;

// Returns: the file-system UUID as kept: at most UDEV_FS_UUID_MAX characters of uuid.
std::string udev_fs_uuid(std::string_view uuid);

// Returns: true when uuid is too short to identify a drive.
bool udev_uuid_is_short(std::string_view uuid);

// Returns: the drive's name: its volume label, or "Unknown Device" when it has none.
std::string udev_friendly_name(std::string_view label);

// Returns: the name of a portable player from its USB product id (its model) and the number
// of its mount point, as "iPhone 3G #2"; an unknown product id gives "iPod #<number>".
std::string udev_player_name(u32 product_id, int number);

// Returns: the disk of a device node: its last path component up to its first digit, at most
// UDEV_DISK_NAME_MAX characters ("/dev/sda1" gives "sda").
std::string udev_disk_name(std::string_view dev_path);
