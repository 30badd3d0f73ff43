// Stand-in for the background analysis scheduler; the analysis program's path is the real one.
#include "bgn/modules.h"
#include "standin/standin.h"
#include "sys/globals.h"

#include <climits>
#include <cstdio>
#include <pthread.h>

namespace {

standin_module scheduler{"bak", MODULE_BAK, "@bak_in_q", nullptr};

pthread_mutex_t path_lock = PTHREAD_MUTEX_INITIALIZER;
// Room for any path the program's folder can have.
char trackscan_path[PATH_MAX + 64];
bool path_built = false;

} // namespace

int bak_init() {
    standin_log("bak_init");
    if (verbose) std::printf("BAK: initalizing BAK Module\n");
    if (!standin_begin(scheduler)) {
        if (verbose) std::printf("Error creating BAK listener Thread\n");
        return -1;
    }
    standin_start(scheduler, false);
    return 0;
}

const char *bak_get_trackscan_path() {
    pthread_mutex_lock(&path_lock);
    if (!path_built) {
        std::snprintf(trackscan_path, sizeof trackscan_path, "%s/../../trackscan/%s/trackscan",
                      WORKING_PATH != nullptr ? WORKING_PATH : ".", "mx35r");
        path_built = true;
    }
    pthread_mutex_unlock(&path_lock);
    return trackscan_path;
}
