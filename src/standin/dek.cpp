// Stand-in for the front-panel controls.
#include "bgn/modules.h"
#include "standin/standin.h"

#include <csignal>
#include <cstdio>

namespace {
standin_module controls{"dek", MODULE_DEK, "@dek_in_q", nullptr};
}

int dek_init() {
    standin_log("dek_init");
    if (!standin_begin(controls)) {
        std::printf("Error creating DEK msg_in Thread\n");
        raise(SIGABRT);
        return 0;
    }
    standin_start(controls, false);
    return 0;
}
