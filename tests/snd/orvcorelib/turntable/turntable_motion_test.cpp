// Start, stop, brake and touch sequences of the turntable model.
#include "turntable_test_support.h"

#include <cstdlib>

namespace {

using orvtest::kOne;
using orvtest::kStepsPerSecond;
using orvtest::Platter;

// 3656560 * 300695 >> 20: the ideal output at the target speed 1.0.
constexpr frac_t kIdealFullSpeed = 1048573;
// Output speed within this share of the given value.
bool near(frac_t value, frac_t expected, double share) {
    return std::abs(static_cast<double>(value) - expected) <= share * kOne;
}

TEST(TurntableMotion, WritesZeroUntilStarted) {
    Platter p;
    for (int i = 0; i < 10; ++i) EXPECT_EQ(p.step(), 0) << "step " << i;
    // Power alone does not put the needle down.
    turntable_event_warmup(p.tt);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(p.step(), 0) << "step " << i;
}

TEST(TurntableMotion, StartOutputsTheTargetUntilTheModelCatchesUp) {
    Platter p;
    turntable_event_start(p.tt);
    int gateSteps = 0;
    for (; gateSteps < kStepsPerSecond; ++gateSteps) {
        const frac_t out = p.step();
        if (!p.tt->gate.enabled) break;
        EXPECT_EQ(out, kIdealFullSpeed) << "step " << gateSteps;
    }
    // The gate lets go once the modelled record has stayed within 0.5 % for 5 steps.
    EXPECT_FALSE(p.tt->gate.enabled);
    EXPECT_GE(gateSteps, 5);
    EXPECT_LT(gateSteps, kStepsPerSecond / 2);
    EXPECT_TRUE(near(p.out, kOne, 0.005));
    // The platter then holds the speed on its own.
    for (int i = 0; i < 2 * kStepsPerSecond; ++i) EXPECT_TRUE(near(p.step(), kOne, 0.005)) << "step " << i;
}

TEST(TurntableMotion, StartUpRampReachesTheTargetWithinTheConfiguredTime) {
    struct Case {
        frac_t startupTime;
        int rampSteps; // steps for the target to rise by one full speed
    };
    const Case cases[] = {{kOne, 173}, {kOne / 2, 87}, {kOne / 4, 44}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.startupTime);
        Platter p;
        turntable_set_parameter(p.tt, TT_PARAM_STARTUP_TIME, c.startupTime);
        turntable_event_start_fast(p.tt);
        EXPECT_FALSE(p.tt->gate.enabled);
        frac_t previous = 0;
        for (int i = 0; i < c.rampSteps - 1; ++i) {
            p.step();
            EXPECT_LT(p.tt->state.motor_target_speed, 3656560);
            EXPECT_GE(p.out, previous - 2000) << "the output rises with the model, step " << i;
            previous = p.out;
        }
        EXPECT_TRUE(near(p.out, kOne, 0.1));
        p.step();
        EXPECT_EQ(p.tt->state.motor_target_speed, 3656560);
        EXPECT_TRUE(near(p.run(10), kOne, 0.03));
    }
}

TEST(TurntableMotion, LowerTargetIsTakenAtOnceAndHigherAlongTheRamp) {
    Platter p;
    turntable_set_parameter(p.tt, TT_PARAM_STARTUP_TIME, kOne);
    turntable_event_start_fast(p.tt);
    p.run(3 * kStepsPerSecond);
    p.target = kOne / 2;
    p.step();
    EXPECT_EQ(p.tt->state.motor_target_speed, 1828280);
    p.target = kOne;
    p.step();
    EXPECT_EQ(p.tt->state.motor_target_speed, 1828280 + 21222);
}

TEST(TurntableMotion, StopInstantZeroesEverySpeedAtOnce) {
    Platter p;
    turntable_event_start(p.tt);
    p.run(kStepsPerSecond);
    turntable_event_stop_instant(p.tt);
    EXPECT_EQ(p.tt->state.motor_speed, 0);
    EXPECT_EQ(p.tt->state.record_speed, 0);
    EXPECT_FALSE(p.tt->state.power);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(p.step(), 0) << "step " << i;
}

TEST(TurntableMotion, BrakeFollowsTheRampAndDecaysToZero) {
    Platter p;
    turntable_set_parameter(p.tt, TT_PARAM_RAMP_TIME, kOne / 2);
    turntable_event_start(p.tt);
    p.run(2 * kStepsPerSecond);
    turntable_event_stop_fast(p.tt);
    EXPECT_TRUE(p.tt->state.power) << "the motor brakes, powered";
    // Half-way down the ramp the record is near half speed.
    EXPECT_TRUE(near(p.run(kStepsPerSecond / 4), kOne / 2, 0.08));
    p.run(kStepsPerSecond / 4 + 2);
    EXPECT_EQ(p.tt->state.motor_target_speed, 0);
    EXPECT_LT(p.out, kOne / 20);
    // The speed controller's integrator lets the record crawl on briefly, then it stops.
    for (int i = 0; i < 12 * kStepsPerSecond; ++i) EXPECT_LT(p.step(), kOne / 20) << "step " << i;
    EXPECT_TRUE(near(p.out, 0, 0.001));
}

TEST(TurntableMotion, StopFastWithoutRampActsAsStopInstant) {
    Platter p;
    turntable_event_start(p.tt);
    p.run(kStepsPerSecond);
    turntable_event_stop_fast(p.tt);
    EXPECT_FALSE(p.tt->state.power);
    EXPECT_EQ(p.step(), 0);
}

TEST(TurntableMotion, StopSlowCoastsDown) {
    Platter p;
    turntable_event_start(p.tt);
    p.run(2 * kStepsPerSecond);
    turntable_event_stop_slow(p.tt);
    EXPECT_FALSE(p.tt->state.power);
    EXPECT_EQ(p.tt->pid.integ.filter_data.prev_out, 0);
    const frac_t afterHalfSecond = p.run(kStepsPerSecond / 2);
    EXPECT_LT(afterHalfSecond, kOne);
    EXPECT_GT(afterHalfSecond, kOne / 10) << "coasting takes time";
    EXPECT_TRUE(near(p.run(10 * kStepsPerSecond), 0, 0.0001));
}

TEST(TurntableMotion, HeldRecordStopsAndReleasedRecordRejoinsThePlatter) {
    Platter p;
    turntable_event_start(p.tt);
    p.run(2 * kStepsPerSecond);
    p.touch(1000);
    p.run(30);
    EXPECT_TRUE(near(p.out, 0, 0.002)) << "a finger that does not move holds the record";
    EXPECT_TRUE(p.tt->state.finger_locked);
    EXPECT_TRUE(near(p.tt->state.motor_speed, 3656560, 0.05)) << "the platter keeps turning";
    p.release();
    EXPECT_TRUE(near(p.step(), kOne, 0.01)) << "the platter carries the record at once";
}

// Moves the finger at `speed` (relative) for `steps` steps, wrapping its angle like a
// position sensor would; returns the last output.
frac_t dragFinger(Platter &p, double speed, int steps) {
    const double radPerStep = speed * 3.4871673 * 256.0 / 44100.0;
    double angle = 3.0;
    for (int i = 0; i < steps; ++i) {
        angle += radPerStep;
        if (angle > 3.14159265) angle -= 2 * 3.14159265;
        if (angle < -3.14159265) angle += 2 * 3.14159265;
        p.touch(turntable_to_frac(angle));
        p.step();
    }
    return p.out;
}

TEST(TurntableMotion, DraggedRecordFollowsTheFinger) {
    const double speeds[] = {0.5, -1.0, 2.0};
    for (double speed : speeds) {
        SCOPED_TRACE(speed);
        Platter p;
        turntable_event_start(p.tt);
        p.run(kStepsPerSecond);
        // Long enough to cross the +-pi seam of the angle several times at every speed.
        const frac_t out = dragFinger(p, speed, 3 * kStepsPerSecond);
        EXPECT_TRUE(near(out, static_cast<frac_t>(speed * kOne), 0.03)) << out;
    }
}

TEST(TurntableMotion, ReleaseTimeBlendsTheFingerSpeedIn) {
    Platter p;
    turntable_set_parameter(p.tt, TT_PARAM_RELEASE_TIME, kOne / 10);
    const frac_t incr = p.tt->state.finger_incr;
    turntable_event_start(p.tt);
    p.run(2 * kStepsPerSecond);
    p.touch(0);
    const int stepsToFull = (kOne + incr - 1) / incr;
    for (int i = 1; i <= stepsToFull + 3; ++i) {
        p.step();
        EXPECT_EQ(p.tt->state.finger_scale, i < stepsToFull ? i * incr : kOne) << "step " << i;
    }
    EXPECT_TRUE(near(p.run(kStepsPerSecond), 0, 0.01)) << "a still finger holds the record";
    p.release();
    frac_t previous = p.out;
    for (int i = 1; i <= stepsToFull + 3; ++i) {
        p.step();
        if (i <= stepsToFull) {
            EXPECT_GT(p.out, previous) << "the output returns along the release time, step " << i;
        }
        previous = p.out;
        EXPECT_EQ(p.tt->state.finger_scale, i < stepsToFull ? kOne - i * incr : 0) << "step " << i;
    }
    EXPECT_TRUE(near(p.run(kStepsPerSecond), kOne, 0.08)) << "the slip mat brings the record back";
}

TEST(TurntableMotion, JumpSpeedMovesMotorTargetAndRecordTogether) {
    Platter p;
    turntable_event_start(p.tt);
    p.run(2 * kStepsPerSecond);
    const turntable_state before = p.tt->state;
    const frac_t integ = p.tt->pid.integ.filter_data.prev_out;
    turntable_event_jump_speed(p.tt, kOne / 2);
    const frac_t step = 1828280; // frac_mul(0.5, 3656560)
    EXPECT_EQ(p.tt->state.motor_speed, before.motor_speed + step);
    EXPECT_EQ(p.tt->state.motor_target_speed, before.motor_speed + step);
    EXPECT_EQ(p.tt->state.record_speed, before.record_speed + step);
    const double ratio = static_cast<double>(before.motor_speed + step) / before.motor_speed;
    EXPECT_NEAR(p.tt->pid.integ.filter_data.prev_out, integ * ratio, 2.0);
}

} // namespace
