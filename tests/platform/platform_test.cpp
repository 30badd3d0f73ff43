// Paths and tools: the unit's defaults, the DECKHOST_ overrides, the tool folder that replaces
// the PATH, and the two ways of running a tool.
#include "platform/platform.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char *kVariables[] = {
    "DECKHOST_LOCK_FILE",     "DECKHOST_FB_DEVICE",   "DECKHOST_XSERVER",
    "DECKHOST_TOOL_DIR",      "DECKHOST_MOUNTS",      "DECKHOST_SYSFS_ROOT",
    "DECKHOST_PLAYER_MOUNTS", "DECKHOST_UPDATE_FIFO", "DECKHOST_UPDATE_LINK"};

// Each test starts from a clean environment and leaves one behind.
class Platform : public testing::Test {
  protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }

    static void clear() {
        for (const char *name : kVariables) unsetenv(name);
        platform_reload();
    }
    static void set(const char *name, const std::string &value) {
        setenv(name, value.c_str(), 1);
        platform_reload();
    }
};

// A tool in dir that appends "<name> <args>" and its parent's pid to log.
void writeLoggingTool(const orvtest::TempDir &dir, const std::string &name, const std::string &log) {
    const std::string path = dir.file(name);
    std::ofstream(path) << "#!/bin/sh\necho \"$(basename \"$0\") $*\" >> '" << log
                        << "'\necho \"ppid $PPID\" >> '" << log << "'\nexit 5\n";
    chmod(path.c_str(), 0755);
}

std::string readText(const std::string &path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(Platform, TheUnitsValuesAreTheDefaults) {
    EXPECT_STREQ(platform_path(PLATFORM_LOCK_FILE), "/tmp/quilo.lock");
    EXPECT_STREQ(platform_path(PLATFORM_FB_DEVICE), "/dev/fb0");
    EXPECT_EQ(platform_tool_path(PLATFORM_TOOL_DD), "dd");
    EXPECT_EQ(platform_tool_path(PLATFORM_TOOL_KILLALL), "killall");
    EXPECT_EQ(platform_tool_path(PLATFORM_TOOL_XSERVER), "/usr/bin/Xfbdev");
    EXPECT_STREQ(platform_path(PLATFORM_MOUNTS), "/proc/self/mounts");
    EXPECT_STREQ(platform_path(PLATFORM_SYSFS_ROOT), "/sys");
    EXPECT_STREQ(platform_path(PLATFORM_PLAYER_MOUNTS), "/mnt/ipod");
    EXPECT_STREQ(platform_path(PLATFORM_UPDATE_FIFO), "/tmp/update-notify");
    EXPECT_STREQ(platform_path(PLATFORM_UPDATE_LINK), "/tmp/deckhost-requested-fwupdate");
    EXPECT_EQ(platform_tool_path(PLATFORM_TOOL_UUIDGEN), "uuidgen");
    EXPECT_EQ(platform_tool_path(PLATFORM_TOOL_IFUSE), "/usr/bin/ifuse");
    EXPECT_EQ(platform_tool_path(PLATFORM_TOOL_MODPROBE), "modprobe");
    EXPECT_EQ(platform_tool_path(PLATFORM_TOOL_UMOUNT), "umount");
}

TEST_F(Platform, TheHotPlugAndUpdatePathsAreOverridable) {
    struct Case {
        const char *variable;
        platform_path_id id;
    };
    const Case cases[] = {{"DECKHOST_MOUNTS", PLATFORM_MOUNTS},
                          {"DECKHOST_SYSFS_ROOT", PLATFORM_SYSFS_ROOT},
                          {"DECKHOST_PLAYER_MOUNTS", PLATFORM_PLAYER_MOUNTS},
                          {"DECKHOST_UPDATE_FIFO", PLATFORM_UPDATE_FIFO},
                          {"DECKHOST_UPDATE_LINK", PLATFORM_UPDATE_LINK}};
    for (const Case &c : cases) {
        set(c.variable, std::string("/test/") + c.variable);
        EXPECT_EQ(platform_path(c.id), std::string("/test/") + c.variable);
    }
    set("DECKHOST_TOOL_DIR", "/stand/ins");
    EXPECT_EQ(platform_tool_path(PLATFORM_TOOL_IFUSE), "/stand/ins/ifuse");
    EXPECT_EQ(platform_tool_path(PLATFORM_TOOL_UUIDGEN), "/stand/ins/uuidgen");
}

TEST_F(Platform, VariablesOverrideAndAnEmptyOneKeepsTheDefault) {
    set("DECKHOST_LOCK_FILE", "/run/test/lock");
    set("DECKHOST_FB_DEVICE", "");
    set("DECKHOST_XSERVER", "/opt/x/Xvfb");
    EXPECT_STREQ(platform_path(PLATFORM_LOCK_FILE), "/run/test/lock");
    EXPECT_STREQ(platform_path(PLATFORM_FB_DEVICE), "/dev/fb0");
    EXPECT_EQ(platform_tool_path(PLATFORM_TOOL_XSERVER), "/opt/x/Xvfb");
}

TEST_F(Platform, TheToolFolderHoldsEveryToolUnderItsBaseName) {
    set("DECKHOST_TOOL_DIR", "/stand/ins");
    set("DECKHOST_XSERVER", "/opt/x/Xvfb");
    EXPECT_EQ(platform_tool_path(PLATFORM_TOOL_DD), "/stand/ins/dd");
    EXPECT_EQ(platform_tool_path(PLATFORM_TOOL_KILLALL), "/stand/ins/killall");
    EXPECT_EQ(platform_tool_path(PLATFORM_TOOL_XSERVER), "/stand/ins/Xvfb");
}

TEST_F(Platform, BaseNames) {
    EXPECT_STREQ(platform_base_name("/usr/bin/Xfbdev"), "Xfbdev");
    EXPECT_STREQ(platform_base_name("killall"), "killall");
    EXPECT_STREQ(platform_base_name("/trailing/"), "");
}

TEST_F(Platform, RunWaitGivesTheToolsStatusAndItsArguments) {
    orvtest::TempDir dir;
    const std::string log = dir.file("log");
    writeLoggingTool(dir, "killall", log);
    set("DECKHOST_TOOL_DIR", dir.path().string());
    const char *const args[] = {"killall", "Xfbdev", nullptr};
    const int status = platform_run_wait(PLATFORM_TOOL_KILLALL, args);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 5);
    EXPECT_EQ(readText(log), "killall Xfbdev\nppid " + std::to_string(getpid()) + "\n");
}

TEST_F(Platform, AToolMissingFromTheToolFolderIsNotTakenFromThePath) {
    orvtest::TempDir dir;
    set("DECKHOST_TOOL_DIR", dir.path().string());
    const char *const args[] = {"dd", "--version", nullptr};
    testing::internal::CaptureStderr();
    const int status = platform_run_wait(PLATFORM_TOOL_DD, args);
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
}

TEST_F(Platform, ADetachedToolIsNotAChildOfThisProcess) {
    orvtest::TempDir dir;
    const std::string log = dir.file("log");
    writeLoggingTool(dir, "dd", log);
    set("DECKHOST_TOOL_DIR", dir.path().string());
    const char *const args[] = {"dd", "if=a", "of=b", nullptr};
    ASSERT_EQ(platform_run_detached(PLATFORM_TOOL_DD, args), 0);
    // Nothing is left to wait for here, even before the tool has run.
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    for (int i = 0; i < 1000 && readText(log).find("ppid") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::string text = readText(log);
    EXPECT_EQ(text.rfind("dd if=a of=b\n", 0), 0u) << text;
    EXPECT_EQ(text.find("ppid " + std::to_string(getpid()) + "\n"), std::string::npos);
}

} // namespace
