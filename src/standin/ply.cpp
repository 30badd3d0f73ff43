// Stand-in for the player.
#include "bgn/modules.h"
#include "standin/standin.h"
#include "sys/verbose.h"

#include <csignal>
#include <cstdio>

namespace {
standin_module player{"ply", MODULE_PLY, "@ply_in_q", nullptr};
}

int ply_init() {
    standin_log("ply_init");
    if (!standin_begin(player)) {
        if (verbose) std::printf("Error creating PLY msg_in Thread\n");
        raise(SIGABRT);
        return 0;
    }
    standin_start(player, false);
    return 0;
}
