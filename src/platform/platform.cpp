// The table of paths and tools, and the runners that start the tools from an argument list.
#include "platform/platform.h"

#include "sys/childproc.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Setting {
    const char *env;      // the override, or null when there is none
    const char *fallback; // the unit's value
};

constexpr std::array<Setting, PLATFORM_PATH_COUNT> kPaths{{
    {"DECKHOST_LOCK_FILE", "/tmp/quilo.lock"},
    {"DECKHOST_FB_DEVICE", "/dev/fb0"},
    {"DECKHOST_MOUNTS", "/proc/self/mounts"},
    {"DECKHOST_SYSFS_ROOT", "/sys"},
    {"DECKHOST_PLAYER_MOUNTS", "/mnt/ipod"},
    {"DECKHOST_UPDATE_FIFO", "/tmp/update-notify"},
    {"DECKHOST_UPDATE_LINK", "/tmp/deckhost-requested-fwupdate"},
}};

constexpr std::array<Setting, PLATFORM_TOOL_COUNT> kTools{{
    {nullptr, "dd"},
    {nullptr, "killall"},
    {"DECKHOST_XSERVER", "/usr/bin/Xfbdev"},
    {nullptr, "uuidgen"},
    {nullptr, "/usr/bin/ifuse"},
    {nullptr, "modprobe"},
    {nullptr, "umount"},
}};

constexpr const char *kToolDirEnv = "DECKHOST_TOOL_DIR";

struct Values {
    std::array<std::string, PLATFORM_PATH_COUNT> paths;
    std::array<std::string, PLATFORM_TOOL_COUNT> tools;
    std::string tool_dir; // empty: tools come from their own paths
};

Values values;
std::once_flag loaded;

std::string fromEnvironment(const Setting &setting) {
    const char *value = setting.env != nullptr ? std::getenv(setting.env) : nullptr;
    return value != nullptr && *value != '\0' ? value : setting.fallback;
}

void load() {
    for (std::size_t i = 0; i < kPaths.size(); ++i) values.paths[i] = fromEnvironment(kPaths[i]);
    for (std::size_t i = 0; i < kTools.size(); ++i) values.tools[i] = fromEnvironment(kTools[i]);
    const char *dir = std::getenv(kToolDirEnv);
    values.tool_dir = dir != nullptr ? dir : "";
}

const Values &current() {
    std::call_once(loaded, load);
    return values;
}

int waitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return status;
}

} // namespace

void platform_reload() {
    std::call_once(loaded, [] {});
    load();
}

const char *platform_path(platform_path_id id) {
    return current().paths[static_cast<std::size_t>(id)].c_str();
}

const char *platform_base_name(const char *path) {
    const char *slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

std::string platform_tool_path(platform_tool tool) {
    const Values &v = current();
    const std::string &program = v.tools[static_cast<std::size_t>(tool)];
    if (v.tool_dir.empty()) return program;
    return v.tool_dir + "/" + platform_base_name(program.c_str());
}

int platform_run_wait(platform_tool tool, const char *const args[]) {
    const std::string path = platform_tool_path(tool);
    const pid_t pid = fork();
    if (pid == 0) sys_exec_child(path.c_str(), args);
    if (pid < 0) return -1;
    return waitFor(pid);
}

int platform_run_detached(platform_tool tool, const char *const args[]) {
    const std::string path = platform_tool_path(tool);
    const pid_t pid = fork();
    if (pid == 0) {
        // The middle process ends at once, so the tool is handed to the system's reaper.
        const pid_t tool_pid = fork();
        if (tool_pid == 0) sys_exec_child(path.c_str(), args);
        _exit(tool_pid < 0 ? 1 : 0);
    }
    if (pid < 0) return -1;
    const int status = waitFor(pid);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : -1;
}
