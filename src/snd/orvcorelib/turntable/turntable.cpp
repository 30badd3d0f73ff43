// Set-up of the turntable model: shared constants, life cycle, conversions and ramp times.
#include "turntable/turntable.h"

#include "turntable/turntable_math.h"

#include <cmath>
#include <limits>
#include <new>

using namespace orv::tt;

turntable_constants ttconst;

namespace {

struct ControllerGains {
    float upToFrameTime; // this row holds for frame times up to here
    frac_t p, i, d, fingerPos, fingerVel;
};
// Tuned per frame time: periods up to 192 and 384 frames at 44.1 kHz (the sound engine
// runs 256) and longer ones. The limits are the periods themselves in single precision, so
// that a period of exactly 384 frames gets its row.
constexpr ControllerGains kGains[] = {
    {192.0f / 44100.0f, 0x318F5C4, 0x8D5556, 0x4CCCC, 0x74120, 0x2ED38F0},
    {384.0f / 44100.0f, 0x153D70C, 0x855556, 0x26666, 0xB2824, 0x45B3058},
    {std::numeric_limits<float>::infinity(), 0x153D70C, 0x7D5556, 0x60000, 0xBCE07, 0x2905604},
};

// Frame times whose value or inverse would not fit Q12.20.
constexpr float kMinFrameTime = 1.0f / 2047.0f;
constexpr float kMaxFrameTime = 2047.0f;

float clampFrameTime(float t) {
    if (!(t >= kMinFrameTime)) return kMinFrameTime; // also NaN and negative times
    return t > kMaxFrameTime ? kMaxFrameTime : t;
}

// The motor's electrical filter, the bilinear transform of 1 / (R + L s) with R = 12, L = 0.25.
void setMotorFilter(frac_t ts) {
    const double t = static_cast<double>(ts) / 1048576.0;
    const double gain = t / (12.0 * t + 0.5);
    const double feedback = (12.0 * t - 0.5) / (12.0 * t + 0.5);
    ttconst.motor_filter.b[0] = turntable_to_frac(gain);
    ttconst.motor_filter.b[1] = turntable_to_frac(gain);
    ttconst.motor_filter.a[0] = turntable_to_frac(feedback);
}

// (ts << 20) / seconds: the per-step share of a change that takes `seconds`, clamped to the
// frac_t range for times too short to express.
frac_t perStepShare(frac_t seconds) {
    const s64 share = (static_cast<s64>(ttconst.ts) << 20) / seconds;
    return fsum(share);
}

} // namespace

frac_t turntable_to_frac(double x) {
    const double scaled = x * 1048576.0;
    if (std::isnan(scaled)) return 0;
    if (scaled >= static_cast<double>(kFracLimit)) return static_cast<frac_t>(kFracLimit);
    if (scaled <= -static_cast<double>(kFracLimit)) return static_cast<frac_t>(-kFracLimit);
    return static_cast<frac_t>(scaled);
}

double turntable_to_double(frac_t x) {
    return static_cast<double>(x) / 1048576.0;
}

void turntable_init(float frameTime) {
    const float t = clampFrameTime(frameTime);
    ttconst.ts = turntable_to_frac(t);
    ttconst.fs = turntable_to_frac(1.0f / t);
    for (const ControllerGains &row : kGains) {
        if (t <= row.upToFrameTime) {
            ttconst.pid = {row.p, row.i, row.d};
            ttconst.finger_pos_gain = row.fingerPos;
            ttconst.finger_vel_gain = row.fingerVel;
            break;
        }
    }
    setMotorFilter(ttconst.ts);
}

turntable *turntable_new() {
    return new (std::nothrow) turntable{};
}

turntable *turntable_destroy(turntable *tt) {
    delete tt;
    return nullptr;
}

void turntable_setPtrs(turntable *tt, frac_t *in_target_speed, frac_t *in_finger_radius,
                       frac_t *in_finger_angle, frac_t *in_finger_force, frac_t *out_record_speed) {
    if (!tt) return;
    tt->in_target_speed = in_target_speed;
    tt->in_finger_radius = in_finger_radius;
    tt->in_finger_angle = in_finger_angle;
    tt->in_finger_force = in_finger_force;
    tt->out_record_speed = out_record_speed;
}

void turntable_set_parameter(turntable *tt, turntable_param param, frac_t value) {
    if (!tt || value < 0) return;
    turntable_state &s = tt->state;
    FracMath m(tt->warnings);
    switch (param) {
    case TT_PARAM_STARTUP_TIME:
        s.motor_target_incr = value > 0 ? m.mul(perStepShare(value), kRadPerSecPerSpeed) : 0;
        break;
    case TT_PARAM_RAMP_TIME:
        s.motor_target_decr = value > 0 ? m.mul(perStepShare(value), kRadPerSecPerSpeed) : 0;
        break;
    case TT_PARAM_RELEASE_TIME:
        s.finger_incr = value > 0 ? perStepShare(value) : 0;
        if (value == 0) s.finger_scale = 0;
        break;
    }
}
