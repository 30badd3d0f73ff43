// Stand-in for the update watcher: a thread that ends on mShutdownCmd.
#include "bgn/modules.h"
#include "standin/standin.h"

namespace {
standin_module watcher{"update", -1, "@update", nullptr};
}

void sys_update_init() {
    standin_log("sys_update_init");
    standin_read_behaviour(watcher);
    standin_start(watcher, true);
}

void sys_update_destroy() {
    standin_log("sys_update_destroy");
    standin_stop(watcher);
}
