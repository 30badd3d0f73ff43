// Exit codes, and the guards of the teardown: a crash or a hang still ends with the code.
#include "bgn/bgn_exit.h"
#include "sys/msgvocab.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <thread>

namespace {

struct ExitCase {
    unsigned shutdown_id;
    int midi_channel;
    int code;
};

TEST(BgnExitCode, FollowsTheShutdownIdAndTheMidiChannel) {
    const ExitCase cases[] = {
        {SHUTDOWN_ID_EXIT, 0, 0},
        {SHUTDOWN_ID_EXIT, 5, 0},
        {SHUTDOWN_ID_MIDI_LAUNCH, 0, 16},
        {SHUTDOWN_ID_MIDI_LAUNCH, 5, 21},
        {SHUTDOWN_ID_MIDI_LAUNCH, 15, 31},
        // Only the channel's low 4 bits count: the code stays within 16 to 31.
        {SHUTDOWN_ID_MIDI_LAUNCH, 0x25, 21},
        {SHUTDOWN_ID_MIDI_LAUNCH, -1, 31},
        {SHUTDOWN_ID_UPDATE, 0, 64},
        {SHUTDOWN_ID_FACTORY_RESET, 0, 68},
        {SHUTDOWN_ID_EXECUTE_SCRIPT, 0, 69},
        {SHUTDOWN_ID_NOT_YET, 0, 99},
        {7, 0, 99},
        {0x63, 0, 99},
        {0xFFFF, 0, 99},
    };
    for (const ExitCase &c : cases) {
        EXPECT_EQ(bgn_exit_code(c.shutdown_id, c.midi_channel), c.code)
            << "id " << c.shutdown_id << " channel " << c.midi_channel;
    }
}

class BgnTeardown : public testing::Test {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(BgnTeardown, ACrashEndsWithThePendingShutdownsCode) {
    EXPECT_EXIT(
        {
            bgn_teardown_begin(64, 64, 60000);
            raise(SIGSEGV);
            std::_Exit(1);
        },
        testing::ExitedWithCode(64), "^Segmentation fault during shutdown\n$");
}

TEST_F(BgnTeardown, ARealFaultIsCaughtToo) {
    EXPECT_EXIT(
        {
            bgn_teardown_begin(0, 0, 60000);
            volatile std::uintptr_t wild = 16;
            *reinterpret_cast<volatile int *>(wild) = 1;
            std::_Exit(1);
        },
        testing::ExitedWithCode(0), "Segmentation fault during shutdown");
}

TEST_F(BgnTeardown, ACrashWithNoShutdownPendingEndsByTheSignal) {
    EXPECT_EXIT(
        {
            bgn_teardown_begin(-1, 99, 60000);
            raise(SIGSEGV);
            std::_Exit(1);
        },
        testing::KilledBySignal(SIGSEGV), "");
}

TEST_F(BgnTeardown, AHungTeardownEndsWithItsCode) {
    EXPECT_EXIT(
        {
            bgn_teardown_begin(68, 68, 100);
            std::this_thread::sleep_for(std::chrono::seconds(30));
            std::_Exit(1);
        },
        testing::ExitedWithCode(68), "");
}

TEST_F(BgnTeardown, AFinishedTeardownStopsTheWatchdog) {
    EXPECT_EXIT(
        {
            bgn_teardown_begin(5, 5, 100);
            bgn_teardown_end();
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
