// Shared constants, conversions and ramp parameters of the turntable model.
#include "turntable_test_support.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

using orvtest::kOne;
using orvtest::Platter;

TEST(TurntableInit, DeckFrameTimeGivesTheTabledConstants) {
    turntable_init(256.0f / 44100.0f);
    EXPECT_EQ(ttconst.ts, 6086);
    EXPECT_EQ(ttconst.fs, 180633600); // 172.265625
    EXPECT_EQ(ttconst.pid.p, 0x153D70C);
    EXPECT_EQ(ttconst.pid.i, 0x855556);
    EXPECT_EQ(ttconst.pid.d, 0x26666);
    EXPECT_EQ(ttconst.finger_pos_gain, 0xB2824);
    EXPECT_EQ(ttconst.finger_vel_gain, 0x45B3058);
    EXPECT_EQ(ttconst.motor_filter.b[0], 10683);
    EXPECT_EQ(ttconst.motor_filter.b[1], 10683);
    EXPECT_EQ(ttconst.motor_filter.a[0], -792165);
}

TEST(TurntableInit, GainRowFollowsTheFrameTime) {
    struct Case {
        float frameTime;
        frac_t ts, p, i, d, fingerPos, fingerVel;
    };
    const Case cases[] = {
        {128.0f / 44100.0f, 3043, 0x318F5C4, 0x8D5556, 0x4CCCC, 0x74120, 0x2ED38F0},
        {192.0f / 44100.0f, 4565, 0x318F5C4, 0x8D5556, 0x4CCCC, 0x74120, 0x2ED38F0},
        {384.0f / 44100.0f, 9130, 0x153D70C, 0x855556, 0x26666, 0xB2824, 0x45B3058},
        {512.0f / 44100.0f, 12173, 0x153D70C, 0x7D5556, 0x60000, 0xBCE07, 0x2905604},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.frameTime);
        turntable_init(c.frameTime);
        EXPECT_EQ(ttconst.ts, c.ts);
        EXPECT_EQ(ttconst.fs, static_cast<frac_t>(1.0f / c.frameTime * 1048576.0));
        EXPECT_EQ(ttconst.pid.p, c.p);
        EXPECT_EQ(ttconst.pid.i, c.i);
        EXPECT_EQ(ttconst.pid.d, c.d);
        EXPECT_EQ(ttconst.finger_pos_gain, c.fingerPos);
        EXPECT_EQ(ttconst.finger_vel_gain, c.fingerVel);
    }
    turntable_init(orvtest::kDeckFrameTime);
}

TEST(TurntableInit, FrameTimesOutsideQ12_20AreClamped) {
    const float bad[] = {0.0f,
                         -1.0f,
                         1e-9f,
                         5000.0f,
                         std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity()};
    for (float t : bad) {
        SCOPED_TRACE(t);
        turntable_init(t);
        EXPECT_GT(ttconst.ts, 0);
        EXPECT_GT(ttconst.fs, 0);
        EXPECT_LT(ttconst.ts, 0x7FFFFFFF);
        EXPECT_LT(ttconst.fs, 0x7FFFFFFF);
    }
    turntable_init(orvtest::kDeckFrameTime);
}

TEST(TurntableConversions, TruncateTowardZeroAndSaturate) {
    EXPECT_EQ(turntable_to_frac(1.0), kOne);
    EXPECT_EQ(turntable_to_frac(0.06), 62914);
    EXPECT_EQ(turntable_to_frac(-0.06), -62914);
    EXPECT_EQ(turntable_to_frac(1e9), 0x7FFFFFFF);
    EXPECT_EQ(turntable_to_frac(-1e9), -0x7FFFFFFF);
    EXPECT_EQ(turntable_to_frac(std::nan("")), 0);
    EXPECT_DOUBLE_EQ(turntable_to_double(0x180000), 1.5);
    EXPECT_DOUBLE_EQ(turntable_to_double(-kOne), -1.0);
}

TEST(TurntableLifecycle, NewIsZeroedAndDestroyAcceptsNull) {
    turntable *tt = turntable_new();
    ASSERT_NE(tt, nullptr);
    EXPECT_FALSE(tt->state.power || tt->state.started || tt->state.needle_down || tt->gate.enabled);
    EXPECT_EQ(tt->in_target_speed, nullptr);
    EXPECT_EQ(tt->state.motor_speed, 0);
    EXPECT_EQ(turntable_destroy(tt), nullptr);
    EXPECT_EQ(turntable_destroy(nullptr), nullptr);
}

TEST(TurntableParameters, RampTimesGivePerStepChanges) {
    Platter p;
    turntable_set_parameter(p.tt, TT_PARAM_STARTUP_TIME, kOne);
    EXPECT_EQ(p.tt->state.motor_target_incr, 21222); // frac_mul(6086, 3656560)
    turntable_set_parameter(p.tt, TT_PARAM_RAMP_TIME, kOne / 2);
    EXPECT_EQ(p.tt->state.motor_target_decr, 42445);
    turntable_set_parameter(p.tt, TT_PARAM_RELEASE_TIME, kOne);
    EXPECT_EQ(p.tt->state.finger_incr, 6086);
    turntable_set_parameter(p.tt, TT_PARAM_RELEASE_TIME, kOne / 4);
    EXPECT_EQ(p.tt->state.finger_incr, 24344);

    p.tt->state.finger_scale = kOne / 2;
    turntable_set_parameter(p.tt, TT_PARAM_STARTUP_TIME, 0);
    turntable_set_parameter(p.tt, TT_PARAM_RAMP_TIME, 0);
    EXPECT_EQ(p.tt->state.motor_target_incr, 0);
    EXPECT_EQ(p.tt->state.motor_target_decr, 0);
    EXPECT_EQ(p.tt->state.finger_scale, kOne / 2);
    turntable_set_parameter(p.tt, TT_PARAM_RELEASE_TIME, 0);
    EXPECT_EQ(p.tt->state.finger_incr, 0);
    EXPECT_EQ(p.tt->state.finger_scale, 0);
}

TEST(TurntableParameters, NegativeTimesAndUnknownParamsChangeNothing) {
    Platter p;
    turntable_set_parameter(p.tt, TT_PARAM_STARTUP_TIME, kOne);
    turntable_set_parameter(p.tt, TT_PARAM_RELEASE_TIME, kOne);
    p.tt->state.finger_scale = kOne / 3;
    turntable before;
    std::memcpy(&before, p.tt, sizeof before);
    turntable_set_parameter(p.tt, TT_PARAM_STARTUP_TIME, -1);
    turntable_set_parameter(p.tt, TT_PARAM_RAMP_TIME, -kOne);
    turntable_set_parameter(p.tt, TT_PARAM_RELEASE_TIME, -5);
    turntable_set_parameter(p.tt, static_cast<turntable_param>(7), kOne);
    EXPECT_EQ(std::memcmp(&before, p.tt, sizeof before), 0);
}

TEST(TurntableParameters, TinyTimesClampInsteadOfOverflowing) {
    Platter p;
    testing::internal::CaptureStdout();
    turntable_set_parameter(p.tt, TT_PARAM_STARTUP_TIME, 1);
    turntable_set_parameter(p.tt, TT_PARAM_RELEASE_TIME, 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(p.tt->state.motor_target_incr, 0x7FFFFFFF);
    EXPECT_EQ(p.tt->state.finger_incr, 0x7FFFFFFF);
    // The clamped ramps still run: the target is reached in one step.
    turntable_event_start_fast(p.tt);
    p.step();
    EXPECT_EQ(p.tt->state.motor_target_speed, 3656560);
}

} // namespace
