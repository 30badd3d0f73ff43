// Block devices as the device manager reports them: the ones present at start and the events
// of the ones that come and go. On the unit the source is libudev; on a host,
// DECKHOST_UDEV_EVENTS names a named pipe that a test writes event lines into, one per event:
//   <action> <device node> [KEY=value]...
// and DECKHOST_UDEV_DEVICES a file of the devices present at start, one per line:
//   <device node> [KEY=value]...
// A device node "-" is a device without one. Keys: SUBSYSTEM (default "block"), DEVTYPE
// (default "partition"), ID_FS_UUID, ID_FS_LABEL, USB=0 for a device without a USB parent,
// and the USB parent's attributes idVendor, idProduct, manufacturer, product and serial.
// Values write a blank as "\040" (octal escapes as in the mount table).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct platform_block_device {
    std::string action; // empty for a device present at start
    bool has_devnode = false;
    std::string devnode;
    std::string subsystem;
    std::string devtype;
    std::string fs_uuid;  // the ID_FS_UUID property; empty when absent
    std::string fs_label; // the ID_FS_LABEL property; empty when absent
    // The parent of subsystem "usb" and type "usb_device", and its attributes (empty when absent).
    bool has_usb_parent = false;
    std::string vendor_id;
    std::string product_id;
    std::string manufacturer;
    std::string product;
    std::string serial;
};

class platform_block_events {
  public:
    virtual ~platform_block_events() = default;

    // Returns: the descriptor that becomes readable when events are pending.
    virtual int fd() const = 0;

    // Returns: the block devices present now.
    virtual std::vector<platform_block_device> enumerate() = 0;

    // Returns: true with *device filled for the next pending event; false, without waiting,
    // when none is pending.
    virtual bool receive(platform_block_device *device) = 0;
};

// Returns: the source of block-device events, filtered on subsystem "block" and listening;
// null when it cannot be opened.
std::unique_ptr<platform_block_events> platform_block_events_open();

// The host's sources, for the chooser above.
std::unique_ptr<platform_block_events> platform_block_events_open_udev();
std::unique_ptr<platform_block_events> platform_block_events_open_fifo(const char *events_path,
                                                                       const char *devices_path);

// Needs: line is one line of the host's formats; with_action tells whether it starts with the
// action (an event) or not (a device present at start).
// Returns: true with *device filled; false for a line without the fields it needs.
bool platform_parse_block_line(std::string_view line, bool with_action, platform_block_device *device);
