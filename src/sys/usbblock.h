// The description of a drive or portable player that the hot-plug listener keeps and sends
// (struct usb_block_info, declared with the messages). Whoever holds a record frees it with
// usb_block_info_destroy, strings included.
#pragma once

#include "sys/msg.h"

// Returns: a new record with heap copies of the four strings; a null string is replaced by
// its default: "/dev/null" for dev_path and mnt_path, "Unknown Device" for friendly,
// "0000-0000" for uuid. readonly non-zero sets the flag; with verbose set, prints
// "HOTPLUG: USB block device set to read only" or "HOTPLUG: USB block device set to writable".
usb_block_info *usb_block_info_new(const char *dev_path, const char *mnt_path, const char *friendly,
                                   const char *uuid, int readonly);

// Returns: a separate record with the same values (no line printed), or null for null.
usb_block_info *usb_block_info_copy(const usb_block_info *ubi);

// Guarantees: the four strings and the record are freed; null is accepted. Returns: null.
usb_block_info *usb_block_info_destroy(usb_block_info *ubi);
