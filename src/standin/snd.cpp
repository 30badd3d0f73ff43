// Stand-in for the sound engine.
#include "bgn/modules.h"
#include "standin/standin.h"

#include <cstdio>

namespace {
standin_module engine{"snd", MODULE_SND, "@snd_in_q", nullptr};
}

int snd_init() {
    standin_log("snd_init");
    if (!standin_begin(engine)) {
        std::printf("Failed to create mixer\n");
        return -1;
    }
    standin_start(engine, true);
    return 0;
}

int snd_destroy() {
    standin_log("snd_destroy");
    standin_stop(engine);
    return 0;
}
