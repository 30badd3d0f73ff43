// Block devices from libudev: the enumeration of subsystem "block" and a monitor of the
// device manager's events for it.
#include "platform/block_events.h"

#include <libudev.h>

namespace {

std::string text(const char *value) {
    return value != nullptr ? value : "";
}

platform_block_device describe(udev_device *dev) {
    platform_block_device d;
    d.action = text(udev_device_get_action(dev));
    const char *node = udev_device_get_devnode(dev);
    d.has_devnode = node != nullptr;
    d.devnode = text(node);
    d.subsystem = text(udev_device_get_subsystem(dev));
    d.devtype = text(udev_device_get_devtype(dev));
    d.fs_uuid = text(udev_device_get_property_value(dev, "ID_FS_UUID"));
    d.fs_label = text(udev_device_get_property_value(dev, "ID_FS_LABEL"));
    // The parent belongs to the device: it is not released on its own.
    udev_device *usb = udev_device_get_parent_with_subsystem_devtype(dev, "usb", "usb_device");
    d.has_usb_parent = usb != nullptr;
    if (usb != nullptr) {
        d.vendor_id = text(udev_device_get_sysattr_value(usb, "idVendor"));
        d.product_id = text(udev_device_get_sysattr_value(usb, "idProduct"));
        d.manufacturer = text(udev_device_get_sysattr_value(usb, "manufacturer"));
        d.product = text(udev_device_get_sysattr_value(usb, "product"));
        d.serial = text(udev_device_get_sysattr_value(usb, "serial"));
    }
    return d;
}

class UdevEvents final : public platform_block_events {
  public:
    UdevEvents(udev *context, udev_monitor *monitor) : udev_(context), monitor_(monitor) {}
    ~UdevEvents() override {
        udev_monitor_unref(monitor_);
        udev_unref(udev_);
    }
    UdevEvents(const UdevEvents &) = delete;
    UdevEvents &operator=(const UdevEvents &) = delete;

    int fd() const override { return udev_monitor_get_fd(monitor_); }

    std::vector<platform_block_device> enumerate() override {
        std::vector<platform_block_device> devices;
        udev_enumerate *list = udev_enumerate_new(udev_);
        if (list == nullptr) return devices;
        udev_enumerate_add_match_subsystem(list, "block");
        udev_enumerate_scan_devices(list);
        udev_list_entry *entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(list)) {
            udev_device *dev = udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry));
            if (dev == nullptr) continue;
            devices.push_back(describe(dev));
            udev_device_unref(dev);
        }
        udev_enumerate_unref(list);
        return devices;
    }

    bool receive(platform_block_device *device) override {
        udev_device *dev = udev_monitor_receive_device(monitor_);
        if (dev == nullptr) return false;
        *device = describe(dev);
        udev_device_unref(dev);
        return true;
    }

  private:
    udev *udev_;
    udev_monitor *monitor_;
};

} // namespace

std::unique_ptr<platform_block_events> platform_block_events_open_udev() {
    udev *context = udev_new();
    if (context == nullptr) return nullptr;
    udev_monitor *monitor = udev_monitor_new_from_netlink(context, "udev");
    if (monitor == nullptr ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor, "block", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        if (monitor != nullptr) udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    return std::make_unique<UdevEvents>(context, monitor);
}
