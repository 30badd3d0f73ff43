// The model's Q12.20 arithmetic: multiplies that saturate at +-0x7FFFFFFF and warn when a
// result comes near that limit, and sums taken in 64 bits and saturated, so that
// near-saturated values never wrap. Internal to the turntable.
#pragma once

#include "orvsys/orvfixed.h"
#include "turntable/turntable.h"

namespace orv::tt {

inline constexpr s64 kFracLimit = 0x7FFFFFFF;
// A multiply whose result reaches 1536.0 in magnitude warns.
inline constexpr s64 kWarnLevel = 0x5FFFFFFF;
inline constexpr frac_t kOne = 0x100000;

// Model constants in Q12.20 (the integers are the model; the values are for the reader).
inline constexpr frac_t kRadPerSecPerSpeed = 3656560;      // 3.487167 rad/s = 33.3 rpm
inline constexpr frac_t kSpeedPerRadPerSec = 300695;       // 0.286765, the output scale
inline constexpr frac_t kMotorConstant = 461373;           // 0.44: back-EMF per rad/s, torque per A
inline constexpr frac_t kErrorLimit = 0x400000;            // 4.0: speed error fed to the controller
inline constexpr frac_t kIntegLimit = 0x6400000;           // 100.0: integrator and derivative term
inline constexpr frac_t kVoltageLimit = 0xC00000;          // 12.0: motor voltage
inline constexpr frac_t kPlatterInertia = 16515;           // J_p 0.01575
inline constexpr frac_t kRecordInertia = 2123;             // J_r 0.0020247
inline constexpr frac_t kInvPlatterInertia = 66576244;     // 1 / J_p
inline constexpr frac_t kInvRecordInertia = 517815232;     // 1 / J_r
inline constexpr frac_t kInvTotalInertia = 58991608;       // 1 / (J_p + J_r)
inline constexpr frac_t kPlatterDamping = 15728;           // 0.015
inline constexpr frac_t kRecordDamping = 1048;             // 0.001
inline constexpr frac_t kJointDamping = 16777;             // 0.016, platter and record together
inline constexpr frac_t kRecordInertiaPlatterDamping = 31; // J_r * platter damping
inline constexpr frac_t kPlatterInertiaRecordDamping = 16; // J_p * record damping
inline constexpr frac_t kStaticFriction = 184968;          // 0.17640: slip mat holds below this
inline constexpr frac_t kKineticFriction = 147975;         // 0.14112: slip mat while slipping
inline constexpr frac_t kFingerFriction = 838860;          // 0.8
inline constexpr frac_t kFingerViscous = 52428;            // 0.05: coupling of a slipping finger
inline constexpr frac_t kLockedSlipShare = 0x80000;        // 0.5 of the slip removed per step
inline constexpr frac_t kGateTolerance = 5242;             // 0.005 relative
inline constexpr int kGateFrames = 5;                      // steps within tolerance to leave the gate

// x clamped to [-limit, limit].
constexpr frac_t saturate(s64 x, s64 limit) {
    return static_cast<frac_t>(x > limit ? limit : (x < -limit ? -limit : x));
}
// A sum or difference of frac_t values taken in 64 bits, saturated to the frac_t range.
constexpr frac_t fsum(s64 x) {
    return saturate(x, kFracLimit);
}
constexpr s8 sign(s64 x) {
    return static_cast<s8>(x > 0 ? 1 : (x < 0 ? -1 : 0));
}
// Wraps an angle once into +-pi.
constexpr s64 wrapAngle(s64 x) {
    constexpr s64 kPi = 3294198;
    constexpr s64 kTwoPi = 6588397;
    return x > kPi ? x - kTwoPi : (x < -kPi ? x + kTwoPi : x);
}

// Prints one near-saturation line for the operands and the saturated result, or counts it
// when the turntable printed a line less than a second of model time ago.
void warnNearSaturation(turntable_warnings &w, const frac_t *operands, int count, frac_t result);

// The multiplies of one turntable, reporting to its warning limiter.
class FracMath {
  public:
    explicit FracMath(turntable_warnings &w) : warnings_(w) {}

    // (x * y) >> 20, saturated.
    frac_t mul(frac_t x, frac_t y) {
        const s64 wide = mul64(x, y) >> 20;
        const frac_t operands[] = {x, y};
        return finish(wide, operands, 2);
    }
    // (((a * b) >> 20) * c) >> 20, saturated.
    frac_t mul3(frac_t a, frac_t b, frac_t c) {
        const s64 wide = mulSat64(mul64(a, b) >> 20, c) >> 20;
        const frac_t operands[] = {a, b, c};
        return finish(wide, operands, 3);
    }
    // (((a * b) >> 20) * ((c * d) >> 20)) >> 20, saturated.
    frac_t mul4(frac_t a, frac_t b, frac_t c, frac_t d) {
        const s64 wide = mulSat64(mul64(a, b) >> 20, mul64(c, d) >> 20) >> 20;
        const frac_t operands[] = {a, b, c, d};
        return finish(wide, operands, 4);
    }

  private:
    frac_t finish(s64 wide, const frac_t *operands, int count) {
        const frac_t result = saturate(wide, kFracLimit);
        if (wide > kWarnLevel || wide < -kWarnLevel) warnNearSaturation(warnings_, operands, count, result);
        return result;
    }

    turntable_warnings &warnings_;
};

} // namespace orv::tt
