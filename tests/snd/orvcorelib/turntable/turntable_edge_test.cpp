// Worked examples and edge cases of the turntable step: output rounding, finger angle seam,
// slip reversals, negative targets, saturation warnings and hostile inputs.
#include "turntable_test_support.h"

#include <climits>
#include <string>
#include <vector>

namespace {

using orvtest::kOne;
using orvtest::kStepsPerSecond;
using orvtest::Platter;

constexpr frac_t kPi = 3294198;

std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        out.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return out;
}

TEST(TurntableOutput, SpeedRoundingToMinusOneIsWrittenAsZero) {
    Platter p;
    // A release time of one step puts the whole weight on the finger's tracked speed at once.
    turntable_set_parameter(p.tt, TT_PARAM_RELEASE_TIME, 6086);
    turntable_event_start(p.tt);
    const frac_t m1 = kOne;
    // The tracker sees a move of -1, then +1 against its prediction: its speed goes 0, -70, -1.
    const frac_t angles[] = {m1, m1 - 1, m1 - 1};
    const frac_t speeds[] = {0, -70, -1};
    const frac_t outputs[] = {0, -21, 0}; // -1 * 0.286765 floors to -1, written as 0
    for (int i = 0; i < 3; ++i) {
        p.touch(angles[i]);
        EXPECT_EQ(p.step(), outputs[i]) << "step " << i;
        EXPECT_EQ(p.tt->state.prev_finger_speed, speeds[i]) << "step " << i;
    }
}

TEST(TurntableFinger, AngleSeamIsASmallForwardMove) {
    Platter p;
    p.touch(kPi - 198);
    p.step();
    p.touch(-kPi + 198);
    p.step();
    // Residual -6588000 wraps to +397: speed frac_mul(397, 69.6993), position past +pi wraps.
    EXPECT_EQ(p.tt->state.prev_finger_speed, 27670);
    EXPECT_EQ(p.tt->state.prev_finger_pos, kPi - 198 + 276 - 6588397);
}

TEST(TurntableClutch, ReversedSlipCountsAsMatchingVelocities) {
    struct Case {
        frac_t recordSpeed; // finger and platter stand still, so the slip is -recordSpeed
        s8 previousDir;
        bool locks;
    };
    const Case cases[] = {
        {1000, 1, true}, {-1000, -1, true}, {1000, -1, false}, {-1000, 1, false}, {0, 0, true}, {0, 1, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.recordSpeed << " after " << int{c.previousDir});
        {
            Platter finger;
            turntable_set_parameter(finger.tt, TT_PARAM_RELEASE_TIME, kOne);
            finger.tt->state.record_speed = c.recordSpeed;
            finger.tt->state.dir_finger_slip = c.previousDir;
            finger.touch(0);
            finger.step();
            EXPECT_EQ(finger.tt->state.finger_locked, c.locks);
            EXPECT_EQ(finger.tt->state.dir_finger_slip, c.recordSpeed > 0 ? -1 : (c.recordSpeed < 0 ? 1 : 0));
        }
        {
            Platter platter;
            turntable_set_parameter(platter.tt, TT_PARAM_RELEASE_TIME, kOne);
            platter.tt->state.record_speed = c.recordSpeed;
            platter.tt->state.dir_motor_slip = c.previousDir;
            platter.step();
            EXPECT_EQ(platter.tt->state.platter_locked, c.locks);
        }
    }
}

TEST(TurntableGate, NegativeTargetKeepsTheGateUntilATouch) {
    Platter p;
    p.target = -kOne;
    turntable_event_start(p.tt);
    for (int i = 0; i < 3 * kStepsPerSecond; ++i) ASSERT_EQ(p.step(), -1048574) << "step " << i;
    EXPECT_TRUE(p.tt->gate.enabled);
    p.touch(0);
    p.step();
    EXPECT_FALSE(p.tt->gate.enabled);
}

TEST(TurntableWarnings, AtMostOneLinePerTurntablePerSecondWithACount) {
    Platter p;
    p.target = 1000 * kOne; // 3487 rad/s: beyond the model's range
    turntable_event_start(p.tt);
    testing::internal::CaptureStdout();
    p.run(3 * kStepsPerSecond);
    const std::vector<std::string> printed = lines(testing::internal::GetCapturedStdout());
    ASSERT_EQ(printed.size(), 3u);
    EXPECT_EQ(printed[0], "WARNING: TT near saturation: 1000.000000 * 3.487167 = 2047.999999 (max 2048)");
    for (size_t i = 1; i < printed.size(); ++i) {
        const size_t at = printed[i].find(" [");
        ASSERT_NE(at, std::string::npos) << printed[i];
        EXPECT_EQ(printed[i].compare(0, 29, "WARNING: TT near saturation: "), 0);
        const unsigned leftOut = std::stoul(printed[i].substr(at + 2));
        EXPECT_GE(leftOut, static_cast<unsigned>(kStepsPerSecond - 1));
        EXPECT_EQ(printed[i].substr(printed[i].size() - 15), " more left out]");
    }
}

TEST(TurntableWarnings, EachTurntableHasItsOwnLimitAndNormalPlayIsSilent) {
    Platter quiet;
    turntable_event_start(quiet.tt);
    Platter a, b;
    a.target = b.target = 1000 * kOne;
    turntable_event_start(a.tt);
    turntable_event_start(b.tt);
    testing::internal::CaptureStdout();
    for (int i = 0; i < 2 * kStepsPerSecond; ++i) {
        quiet.step();
        if (i < 10) {
            a.step();
            b.step();
        }
    }
    EXPECT_EQ(lines(testing::internal::GetCapturedStdout()).size(), 2u);
}

TEST(TurntableHostileInputs, ExtremeInputsSaturateAndTheModelRecovers) {
    struct Case {
        frac_t target, radius, angle, force;
        frac_t releaseTime;
    };
    const Case cases[] = {
        {INT_MAX, INT_MAX, INT_MAX, INT_MAX, 0}, {INT_MIN, INT_MIN, INT_MIN, INT_MAX, kOne},
        {INT_MAX, INT_MIN, INT_MIN, INT_MAX, 1}, {INT_MIN, INT_MAX, INT_MAX, 1, kOne / 10},
        {-2048 * kOne + 1, kOne, 0, INT_MAX, 1}, {0, INT_MAX, INT_MIN, INT_MAX, kOne},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.target << " " << c.radius << " " << c.angle << " " << c.force);
        Platter p;
        testing::internal::CaptureStdout();
        turntable_set_parameter(p.tt, TT_PARAM_STARTUP_TIME, 1);
        turntable_set_parameter(p.tt, TT_PARAM_RAMP_TIME, 1);
        turntable_set_parameter(p.tt, TT_PARAM_RELEASE_TIME, c.releaseTime);
        turntable_event_start(p.tt);
        p.target = c.target;
        p.radius = c.radius;
        for (int i = 0; i < kStepsPerSecond; ++i) {
            // The finger taps and jumps across its whole range.
            p.force = (i / 7) % 2 ? c.force : 0;
            p.angle = (i % 3) ? c.angle : -c.angle / 2;
            p.step();
            if (i % 50 == 0) turntable_event_jump_speed(p.tt, c.target);
        }
        turntable_event_stop_fast(p.tt);
        p.run(10);
        turntable_event_stop_instant(p.tt);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(p.tt->state.motor_speed, 0);
        // Sane inputs again: the model plays as if nothing had happened.
        p.target = kOne;
        p.force = 0;
        turntable_set_parameter(p.tt, TT_PARAM_STARTUP_TIME, 0);
        turntable_set_parameter(p.tt, TT_PARAM_RELEASE_TIME, 0);
        turntable_event_start(p.tt);
        const frac_t out = p.run(3 * kStepsPerSecond);
        EXPECT_NEAR(out, kOne, 0.01 * kOne);
    }
}

TEST(TurntableHostileInputs, UnboundInputsAndNullTurntablesAreIgnored) {
    turntable *tt = turntable_new();
    ASSERT_NE(tt, nullptr);
    turntable_process(tt);
    turntable_process(nullptr);
    turntable_event_start(nullptr);
    turntable_event_jump_speed(nullptr, kOne);
    turntable_set_parameter(nullptr, TT_PARAM_RAMP_TIME, kOne);
    EXPECT_EQ(tt->state.motor_speed, 0);
    turntable_destroy(tt);
}

} // namespace
