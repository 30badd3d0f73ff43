#include "bgn/bgn_xserver.h"

#include "platform/platform.h"
#include "sys/childproc.h"

#include <cstdio>
#include <string>

void bgn_restart_xserver() {
    const std::string xserver = platform_tool_path(PLATFORM_TOOL_XSERVER);
    const char *const kill_args[] = {"killall", platform_base_name(xserver.c_str()), nullptr};
    platform_run_wait(PLATFORM_TOOL_KILLALL, kill_args);

    const char *const xserver_args[] = {xserver.c_str(), "-keybd",     "keyboard",
                                        "-screen",       "480x272x16", nullptr};
    const pid_t pid = sys_do_safe_vfork_exec_unwaited(xserver.c_str(), xserver_args);
    std::printf("BGN: Xfbdev killed and restarted. (%d)\n", static_cast<int>(pid));
}
