// Events: act at once on a turntable's state, between steps.
#include "turntable/turntable.h"

#include "turntable/turntable_math.h"

using namespace orv::tt;

namespace {

void clearController(turntable *tt) {
    tt->pid.integ.filter_data = {};
    tt->pid.delay_diff_in = 0;
}

// Float to frac_t, truncated, saturated (NaN gives 0).
frac_t truncateToFrac(float x) {
    if (!(x == x)) return 0;
    if (x >= 2147483520.0f) return static_cast<frac_t>(kFracLimit);
    if (x <= -2147483520.0f) return static_cast<frac_t>(-kFracLimit);
    return static_cast<frac_t>(x);
}

} // namespace

void turntable_event_start(turntable *tt) {
    if (!tt) return;
    tt->gate.frames_within_tol = 0;
    tt->gate.enabled = true;
    tt->state.motor_target_speed = kRadPerSecPerSpeed;
    tt->state.power = true;
    tt->state.started = true;
    tt->state.needle_down = true;
}

void turntable_event_start_fast(turntable *tt) {
    if (!tt) return;
    if (tt->state.motor_target_incr == 0) {
        turntable_event_start(tt);
        return;
    }
    tt->gate.enabled = false;
    tt->state.needle_down = true;
    tt->state.power = true;
    tt->state.started = true;
}

void turntable_event_warmup(turntable *tt) {
    if (!tt) return;
    tt->state.started = true;
    tt->state.power = true;
}

void turntable_event_stop_slow(turntable *tt) {
    if (!tt) return;
    tt->gate.enabled = false;
    tt->state.power = false;
    tt->state.started = false;
    clearController(tt);
}

void turntable_event_stop_instant(turntable *tt) {
    if (!tt) return;
    turntable_state &s = tt->state;
    s.dir_finger_slip = sign(s.prev_finger_speed);
    s.dir_motor_slip = 0;
    s.motor_speed = 0;
    s.record_speed = 0;
    s.delay_motor_accel = 0;
    s.delay_record_accel = 0;
    s.friction_torque = 0;
    s.finger_torque = 0;
    s.platter_locked = false;
    s.started = false;
    s.power = false;
    tt->gate.enabled = false;
    s.motor_target_speed = 0;
    tt->motor.filter_data = {};
    clearController(tt);
}

void turntable_event_stop_fast(turntable *tt) {
    if (!tt) return;
    if (tt->state.motor_target_decr == 0) {
        turntable_event_stop_instant(tt);
        return;
    }
    tt->gate.enabled = false;
    tt->state.started = false;
}

void turntable_event_jump_speed(turntable *tt, frac_t delta) {
    if (!tt) return;
    turntable_state &s = tt->state;
    const frac_t step = FracMath(tt->warnings).mul(delta, kRadPerSecPerSpeed);
    const frac_t speed = fsum(s64{s.motor_speed} + step);
    if (s.motor_speed != 0) {
        // Keep the integrator's share of the drive proportional to the new speed.
        frac_t &integ = tt->pid.integ.filter_data.prev_out;
        const float ratio = static_cast<float>(speed) / static_cast<float>(s.motor_speed);
        integ = truncateToFrac(static_cast<float>(integ) * ratio);
    }
    s.motor_speed = speed;
    s.motor_target_speed = speed;
    s.record_speed = fsum(s64{s.record_speed} + step);
}
