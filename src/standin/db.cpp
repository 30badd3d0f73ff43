// Stand-in for the music library. It takes the hot-plug listener's reports as the library
// does, freeing each drive description, and logs them:
//   "db block added kernel=<k> mountpoint=<m> friendly=<f> uuid=<u> readonly=<0|1>"
//   "db block removed ..." (the same fields)
//   "db all devices loaded"
#include "bgn/modules.h"
#include "standin/standin.h"
#include "sys/usbblock.h"
#include "sys/verbose.h"

#include <cstdio>
#include <iterator>

namespace {

constexpr u16 kDriveMsgs[] = {mBlockDevAdded, mBlockDevRemoved, mAllDevicesLoaded};

void logDrive(const char *what, const usb_block_info &info) {
    standin_log("db %s kernel=%s mountpoint=%s friendly=%s uuid=%s readonly=%d", what, info.kernel,
                info.mountpoint, info.friendly, info.uuid, info.readonly ? 1 : 0);
}

void takeDriveReport(standin_module &, const msg &m) {
    const u16 name = msg_get_name(&m);
    if (name == mAllDevicesLoaded) {
        standin_log("db all devices loaded");
        return;
    }
    if (name != mBlockDevAdded && name != mBlockDevRemoved) return;
    usb_block_info *info = m.sysex.body.block.info;
    if (info == nullptr) return;
    logDrive(name == mBlockDevAdded ? "block added" : "block removed", *info);
    usb_block_info_destroy(info);
}

standin_module library{.name = "db",
                       .code = MODULE_DB,
                       .queue_name = "@db_in_q",
                       .before_announce = nullptr,
                       .more_msgs = kDriveMsgs,
                       .more_count = static_cast<int>(std::size(kDriveMsgs)),
                       .on_message = takeDriveReport};

} // namespace

int db_init() {
    standin_log("db_init");
    if (verbose) std::printf("DB: initializing\n");
    if (!standin_begin(library)) {
        std::printf("Error creating DB Thread\n");
        return -1;
    }
    standin_start(library, true);
    return 0;
}

void db_destroy() {
    standin_log("db_destroy");
    standin_stop(library);
}

void db_demo_content_init() {
    standin_log("db_demo_content_init");
    msg m{};
    msg_stuff_sysex0(&m, mDemoDeviceAdded);
    q_put(nullptr, &m, Q_PRIORITY, Q_WAIT_FOREVER);
}
