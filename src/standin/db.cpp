// Stand-in for the music library.
#include "bgn/modules.h"
#include "standin/standin.h"
#include "sys/verbose.h"

#include <cstdio>

namespace {
standin_module library{"db", MODULE_DB, "@db_in_q", nullptr};
}

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
