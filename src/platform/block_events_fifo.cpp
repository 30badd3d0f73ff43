// Block devices from a named pipe of event lines and a file of the devices present at start:
// the host's stand-in for the device manager.
#include "platform/block_events.h"

#include "platform/linefifo.h"
#include "sys/textfield.h"

namespace {

constexpr std::size_t kMaxFields = 32;
constexpr std::size_t kMaxDevices = 1000;

// Returns: false for a key that is not one of the format's.
bool setField(platform_block_device *d, std::string_view key, std::string value) {
    if (key == "SUBSYSTEM") {
        d->subsystem = std::move(value);
    } else if (key == "DEVTYPE") {
        d->devtype = std::move(value);
    } else if (key == "ID_FS_UUID") {
        d->fs_uuid = std::move(value);
    } else if (key == "ID_FS_LABEL") {
        d->fs_label = std::move(value);
    } else if (key == "USB") {
        d->has_usb_parent = value != "0";
    } else if (key == "idVendor") {
        d->vendor_id = std::move(value);
    } else if (key == "idProduct") {
        d->product_id = std::move(value);
    } else if (key == "manufacturer") {
        d->manufacturer = std::move(value);
    } else if (key == "product") {
        d->product = std::move(value);
    } else if (key == "serial") {
        d->serial = std::move(value);
    } else {
        return false;
    }
    return true;
}

class FifoEvents final : public platform_block_events {
  public:
    explicit FifoEvents(std::string devices_path) : devices_path_(std::move(devices_path)) {}

    bool open(const char *events_path) { return fifo_.open(events_path); }

    int fd() const override { return fifo_.fd(); }

    std::vector<platform_block_device> enumerate() override {
        std::vector<platform_block_device> devices;
        if (devices_path_.empty()) return devices;
        for (const std::string &line : platform_read_lines(devices_path_.c_str(), kMaxDevices)) {
            platform_block_device d;
            if (platform_parse_block_line(line, false, &d)) devices.push_back(std::move(d));
        }
        return devices;
    }

    bool receive(platform_block_device *device) override {
        std::string line;
        while (fifo_.next_line(&line)) {
            if (platform_parse_block_line(line, true, device)) return true;
        }
        return false;
    }

  private:
    platform_line_fifo fifo_;
    std::string devices_path_;
};

} // namespace

bool platform_parse_block_line(std::string_view line, bool with_action, platform_block_device *device) {
    const std::vector<std::string_view> fields = sys_split_fields(line, kMaxFields);
    const std::size_t first = with_action ? 1 : 0;
    if (fields.size() <= first) return false;
    platform_block_device d;
    d.subsystem = "block";
    d.devtype = "partition";
    d.has_usb_parent = true;
    if (with_action) d.action = sys_unescape_octal(fields[0]);
    d.has_devnode = fields[first] != "-";
    if (d.has_devnode) d.devnode = sys_unescape_octal(fields[first]);
    for (std::size_t i = first + 1; i < fields.size(); ++i) {
        const std::size_t eq = fields[i].find('=');
        if (eq == std::string_view::npos) return false;
        if (!setField(&d, fields[i].substr(0, eq), sys_unescape_octal(fields[i].substr(eq + 1))))
            return false;
    }
    *device = std::move(d);
    return true;
}

std::unique_ptr<platform_block_events> platform_block_events_open_fifo(const char *events_path,
                                                                       const char *devices_path) {
    auto events = std::make_unique<FifoEvents>(devices_path != nullptr ? devices_path : "");
    if (!events->open(events_path)) return nullptr;
    return events;
}
