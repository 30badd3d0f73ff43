// Stand-in for the hot-plug listener: a thread that ends on mShutdownCmd.
#include "bgn/modules.h"
#include "standin/standin.h"

namespace {
standin_module listener{"udev", -1, "@udev", nullptr};
}

void udev_listener_init() {
    standin_log("udev_listener_init");
    standin_read_behaviour(listener);
    standin_start(listener, true);
}

void udev_listener_destroy() {
    standin_log("udev_listener_destroy");
    standin_stop(listener);
}
