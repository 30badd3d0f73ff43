// The start-up of deckhost in its fixed order, the supervisor's loop and the teardown.
#include "bgn/bgn.h"

#include "bgn/bgn_exit.h"
#include "bgn/bgn_startup.h"
#include "bgn/modules.h"
#include "platform/platform.h"
#include "sys/globals.h"
#include "sys/sighand.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <unistd.h>

namespace {

constexpr int kBgnMsgCount = static_cast<int>(std::size(bgn_msgs));

// What the teardown has to stop.
struct Started {
    bool db = false;
    bool watchers = false; // the hot-plug listener and the update watcher
    bool snd = false;
};

void checkAnalysisProgram() {
    if (bgn_check_trackscan(bak_get_trackscan_path()) == BGN_TRACKSCAN_COMPATIBLE) return;
    std::fflush(stdout);
    raise(SIGABRT);
}

void setUpProcess() {
    bgn_reset();
    bgn_set_stack_limit();
    bgn_set_locale();
    bgn_set_io_priority();
}

msgq *createQueue() {
    msgq *qin = q_create(BGN_QUEUE_NAME, Q_TYPE_POLLABLE, BGN_QUEUE_DEPTH);
    q_register(qin, bgn_msgs, kBgnMsgCount);
    return qin;
}

// Supervises until the module's ready bit is set; shutdown ids met on the way are not acted on.
void waitForModule(msgq *qin, ModuleCode module) {
    while ((bgn_module_ready() & (1u << module)) == 0) bgn_loop(qin);
}

u16 superviseUntilShutdown(msgq *qin) {
    for (;;) {
        const u16 id = bgn_loop(qin);
        if (id != SHUTDOWN_ID_NOT_YET) return id;
    }
}

// A module failed to start. The modules already running end through the ordinary shutdown
// handshake before anything they use is torn down.
u16 failStart(msgq *qin, const char *text) {
    std::printf("%s\n", text);
    bgn_request_shutdown(BGN_SHUTDOWN_START_FAILED);
    if (bgn_module_ready() == (1u << MODULE_BGN)) return BGN_SHUTDOWN_START_FAILED;
    return superviseUntilShutdown(qin);
}

u16 startModulesAndSupervise(msgq *qin, Started &started) {
    if (db_init() != 0) return failStart(qin, "DB Init failed, exiting.");
    started.db = true;
    waitForModule(qin, MODULE_DB);
    udev_listener_init();
    sys_update_init();
    started.watchers = true;
    if (lcd_init() != 0) return failStart(qin, "LCD Init failed, exiting.");
    if (snd_init() != 0) return failStart(qin, "SND Init failed, exiting.");
    started.snd = true;
    ply_init();
    waitForModule(qin, MODULE_LCD);
    db_demo_content_init();
    dek_init();
    if (bak_init() != 0) return failStart(qin, "BAK Init failed, exiting.");
    // A shutdown that came while modules were still starting missed the ones started after it,
    // and its forced shutdown may have passed unheeded in a wait: it goes out again.
    if (bgn_shutdown_state() != SHUTDOWN_ID_NOT_YET) bgn_request_shutdown(bgn_shutdown_state());
    return superviseUntilShutdown(qin);
}

// The exit code is fixed before anything is torn down, so a crash or a hang of the teardown
// still ends the program with it.
int tearDown(msgq *qin, int lock_fd, u16 shutdown_id, const Started &started) {
    const int midi_channel = shutdown_id == SHUTDOWN_ID_MIDI_LAUNCH ? lcd_get_midi_channel() : 0;
    const int code = bgn_exit_code(shutdown_id, midi_channel);
    bgn_teardown_begin(shutdown_id == SHUTDOWN_ID_NOT_YET ? -1 : code, code, BGN_TEARDOWN_WATCHDOG_MS);
    if (started.snd) snd_destroy();
    if (started.watchers) {
        sys_update_destroy();
        udev_listener_destroy();
    }
    if (started.db) db_destroy();

    q_unregister(qin, bgn_msgs, kBgnMsgCount);
    q_destroy(qin);
    bgn_join_shutdown_helpers();
    sighand_destroy();
    dispatch_destroy();
    close(lock_fd);
    bgn_teardown_end();

    bgn_print_exit_diagnostics();
    return code;
}

} // namespace

int main_c(int argc, char **argv) {
    if (geteuid() != 0) return 0;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    const int lock_fd = bgn_lock_wait(platform_path(PLATFORM_LOCK_FILE));
    const std::string folder = bgn_link_folder("/proc/self/exe");
    bgn_show_startup_picture(folder);
    if (!bgn_parse_options(argc, argv)) return 0;
    WORKING_PATH = strdup(folder.c_str());
    std::printf("\nQuilo4\n");
    checkAnalysisProgram();

    setUpProcess();
    sighand_init();
    dispatch_init();
    msgq *qin = createQueue();
    Started started;
    const u16 shutdown_id = startModulesAndSupervise(qin, started);
    return tearDown(qin, lock_fd, shutdown_id, started);
}
