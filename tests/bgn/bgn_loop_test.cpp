// The supervisor step: ready bits, shutdown requests, the end of the handshake, the forced
// shutdown and the restart of the display server.
#include "bgn/bgn.h"
#include "platform/platform.h"
#include "support/tempdir.h"
#include "sys/dispatch_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <future>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

namespace {

using systest::OwnedQueue;

msg named(u16 name, u16 id) {
    msg m{};
    msg_stuff_sysex(&m, name, id);
    return m;
}

// The supervisor's queue under a name of this test process, and a listener that hears what the
// supervisor broadcasts.
class Supervisor : public testing::Test {
  protected:
    Supervisor()
        : qin_(systest::pollName("bgn"), Q_TYPE_POLLABLE, BGN_QUEUE_DEPTH),
          listener_("@bgn_listen", Q_TYPE_FAST, 64) {
        q_register(qin_.get(), bgn_msgs, kCount);
        q_register(listener_.get(), kHeard, 2);
        bgn_reset();
    }
    ~Supervisor() override {
        bgn_reset();
        q_unregister(qin_.get(), bgn_msgs, kCount);
        q_unregister(listener_.get(), kHeard, 2);
        bgn_join_shutdown_helpers();
    }

    void put(u16 name, u16 id) {
        const msg m = named(name, id);
        q_put(qin_.get(), &m, Q_PRIORITY, 0);
    }
    // Puts one message and runs one step.
    u16 step(u16 name, u16 id) {
        put(name, id);
        return bgn_loop(qin_.get());
    }
    // A shutdown request, taken in one step; the command it broadcasts comes back to the
    // supervisor too, and that second step changes nothing.
    void request(u16 id) {
        EXPECT_EQ(step(mShutdownReq, id), SHUTDOWN_ID_NOT_YET);
        bgn_join_shutdown_helpers();
        EXPECT_EQ(bgn_loop(qin_.get()), SHUTDOWN_ID_NOT_YET);
    }
    // The names of what the supervisor broadcast so far, with their ids.
    std::vector<std::pair<u16, u16>> heard() {
        bgn_join_shutdown_helpers();
        std::vector<std::pair<u16, u16>> seen;
        msg m{};
        while (q_get(listener_.get(), &m, nullptr, 0) > 0) seen.emplace_back(msg_get_name(&m), m.sysex.id);
        return seen;
    }

    static constexpr int kCount = static_cast<int>(std::size(bgn_msgs));
    static constexpr u16 kHeard[] = {mShutdownCmd, mForceShutdownCmd};
    OwnedQueue qin_;
    OwnedQueue listener_;
};

TEST_F(Supervisor, ModulesAnnounceThemselvesIntoTheReadyBits) {
    EXPECT_EQ(bgn_module_ready(), 0x1u);
    EXPECT_EQ(step(mModuleInit, MODULE_DB), SHUTDOWN_ID_NOT_YET);
    EXPECT_EQ(step(mModuleInit, MODULE_LCD), SHUTDOWN_ID_NOT_YET);
    EXPECT_EQ(bgn_module_ready(), 0x61u);
    // Codes that name no module bit change nothing (and never shift past the word).
    for (u16 bad : {u16{0}, u16{32}, u16{0xFFFF}}) EXPECT_EQ(step(mModuleInit, bad), SHUTDOWN_ID_NOT_YET);
    EXPECT_EQ(bgn_module_ready(), 0x61u);
    EXPECT_EQ(step(mAllDevicesLoaded, MSG_NO_ID), SHUTDOWN_ID_NOT_YET);
    EXPECT_EQ(step(mModuleWake, MODULE_DB), SHUTDOWN_ID_NOT_YET);
    EXPECT_TRUE(heard().empty());
}

TEST_F(Supervisor, TheShutdownEndsWhenEveryAnnouncedModuleHasDied) {
    step(mModuleInit, MODULE_DB);
    step(mModuleInit, MODULE_SND);
    testing::internal::CaptureStdout();
    request(SHUTDOWN_ID_FACTORY_RESET);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "BGN: Sending Shutdown message.\n");
    EXPECT_EQ(bgn_shutdown_state(), SHUTDOWN_ID_FACTORY_RESET);
    EXPECT_TRUE(bgn_forced_shutdown_armed());
    EXPECT_EQ(heard(), (std::vector<std::pair<u16, u16>>{{mShutdownCmd, 0}}));

    EXPECT_EQ(step(mModuleDeath, MODULE_SND), SHUTDOWN_ID_NOT_YET);
    EXPECT_EQ(step(mModuleDeath, MODULE_DB), SHUTDOWN_ID_FACTORY_RESET);
    EXPECT_EQ(bgn_module_ready(), 0x1u);
    EXPECT_FALSE(bgn_forced_shutdown_armed());
}

TEST_F(Supervisor, TheNewestRequestDecides) {
    step(mModuleInit, MODULE_LCD);
    testing::internal::CaptureStdout();
    request(SHUTDOWN_ID_UPDATE);
    request(SHUTDOWN_ID_MIDI_LAUNCH);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(heard(), (std::vector<std::pair<u16, u16>>{{mShutdownCmd, 0}, {mShutdownCmd, 0}}));
    EXPECT_TRUE(bgn_forced_shutdown_armed());
    EXPECT_EQ(step(mModuleDeath, MODULE_LCD), SHUTDOWN_ID_MIDI_LAUNCH);
}

TEST_F(Supervisor, TheForcedShutdownEndsWithTheModulesStillRunning) {
    step(mModuleInit, MODULE_SND);
    step(mModuleInit, MODULE_DB);
    testing::internal::CaptureStdout();
    request(7);
    step(mModuleDeath, MODULE_DB);
    const u16 id = step(mForceShutdownCmd, 0);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(id, 7);
    EXPECT_NE(printed.find("BGN: ForceShutdownCmd received.  (ready = 0x5)\n"), std::string::npos) << printed;
}

TEST_F(Supervisor, AnUnrequestedShutdownCommandRunsTheExitShutdown) {
    step(mModuleInit, MODULE_PLY);
    testing::internal::CaptureStdout();
    EXPECT_EQ(step(mShutdownCmd, 0), SHUTDOWN_ID_NOT_YET);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(bgn_shutdown_state(), SHUTDOWN_ID_EXIT);
    EXPECT_TRUE(bgn_forced_shutdown_armed());
    // The modules already have the command: it is not sent again.
    EXPECT_TRUE(heard().empty());
    EXPECT_EQ(step(mModuleDeath, MODULE_PLY), SHUTDOWN_ID_EXIT);
}

TEST_F(Supervisor, ADeathBeforeAnyShutdownGoesOn) {
    step(mModuleInit, MODULE_DEK);
    EXPECT_EQ(step(mModuleDeath, MODULE_DEK), SHUTDOWN_ID_NOT_YET);
    EXPECT_EQ(step(mModuleDeath, 0), SHUTDOWN_ID_NOT_YET);
    EXPECT_EQ(bgn_module_ready(), 0x1u);
}

TEST_F(Supervisor, ARequestWithTheSupervisorsQueueFullDoesNotBlock) {
    step(mModuleInit, MODULE_BAK);
    for (long i = 0; i < BGN_QUEUE_DEPTH; ++i) put(mAllDevicesLoaded, MSG_NO_ID);
    testing::internal::CaptureStdout();
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> returned = done->get_future();
    std::thread([done] {
        bgn_request_shutdown(SHUTDOWN_ID_EXECUTE_SCRIPT);
        done->set_value();
    }).detach();
    const bool in_time = returned.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(in_time) << "the shutdown broadcast waits for the supervisor's own queue";
    // The supervisor drains its queue; its own command arrives after the waiting messages.
    for (long i = 0; i < BGN_QUEUE_DEPTH; ++i) EXPECT_EQ(bgn_loop(qin_.get()), SHUTDOWN_ID_NOT_YET);
    EXPECT_EQ(bgn_loop(qin_.get()), SHUTDOWN_ID_NOT_YET);
    EXPECT_EQ(heard(), (std::vector<std::pair<u16, u16>>{{mShutdownCmd, 0}}));
    EXPECT_EQ(step(mModuleDeath, MODULE_BAK), SHUTDOWN_ID_EXECUTE_SCRIPT);
}

TEST_F(Supervisor, TheDisplayWatchdogRestartsTheXServer) {
    orvtest::TempDir dir;
    const std::string log = dir.file("log");
    for (const char *tool : {"killall", "Xfbdev"}) {
        std::ofstream(dir.file(tool)) << "#!/bin/sh\necho \"$(basename \"$0\") $*\" >> '" << log << "'\n";
        chmod(dir.file(tool).c_str(), 0755);
    }
    setenv("DECKHOST_TOOL_DIR", dir.path().c_str(), 1);
    platform_reload();
    testing::internal::CaptureStdout();
    EXPECT_EQ(step(mModuleWake, MODULE_LCD), SHUTDOWN_ID_NOT_YET);
    const std::string printed = testing::internal::GetCapturedStdout();
    unsetenv("DECKHOST_TOOL_DIR");
    platform_reload();

    EXPECT_EQ(printed.rfind("BGN: Xfbdev killed and restarted. (", 0), 0u) << printed;
    const int pid = std::atoi(printed.c_str() + std::strlen("BGN: Xfbdev killed and restarted. ("));
    ASSERT_GT(pid, 0);
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid); // no signal handling runs here to reap it
    std::ifstream in(log);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(text, "killall Xfbdev\nXfbdev -keybd keyboard -screen 480x272x16\n");
}

} // namespace
