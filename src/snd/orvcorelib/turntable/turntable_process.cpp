// One step of the turntable model: motor target, speed controller, motor, slip mat, finger,
// integration, start-up gate, finger weight and output, in that order.
#include "turntable/turntable.h"

#include "turntable/turntable_math.h"

using namespace orv::tt;

namespace {

// The bound inputs of one step.
struct StepInputs {
    frac_t targetSpeed;
    frac_t fingerRadius;
    frac_t fingerAngle;
    bool touching;
    frac_t fingerForce;
};

// previously locked ? not unlock : lock
bool isLocked(bool lock, bool unlock, bool previouslyLocked) {
    return previouslyLocked ? !unlock : lock;
}

class Step {
  public:
    Step(turntable &tt, const StepInputs &in) : tt_(tt), s_(tt.state), in_(in), m_(tt.warnings) {}

    frac_t run() {
        advanceMotorTarget();
        const frac_t voltage = s_.power ? speedControlLoop() : 0;
        const frac_t motorTorque = motorFilterRun(voltage);
        platterClutch(motorTorque);
        fingerClutch();
        integrate(motorTorque);
        frac_t speed = startupGate();
        speed = blendFinger(speed);
        return output(speed);
    }

  private:
    // The target follows the input at once or rises along the start-up ramp; once stopped it
    // falls along the brake ramp.
    void advanceMotorTarget() {
        if (s_.started) {
            const frac_t target = m_.mul(in_.targetSpeed, kRadPerSecPerSpeed);
            const frac_t next = fsum(s64{s_.motor_target_speed} + s_.motor_target_incr);
            s_.motor_target_speed = (next > target || s_.motor_target_incr == 0) ? target : next;
        } else {
            const frac_t next = fsum(s64{s_.motor_target_speed} - s_.motor_target_decr);
            s_.motor_target_speed = (next < 0 || s_.motor_target_decr == 0) ? 0 : next;
        }
    }

    // PID controller on the motor speed; returns the motor voltage.
    frac_t speedControlLoop() {
        const frac_t err = saturate(s64{s_.motor_target_speed} - s_.motor_speed, kErrorLimit);
        const frac_t p = m_.mul(err, ttconst.pid.p);
        const frac_t i = m_.mul(integratorRun(err), ttconst.pid.i);
        const frac_t diff = fsum(s64{err} - tt_.pid.delay_diff_in);
        const frac_t d = saturate(m_.mul3(diff, ttconst.fs, ttconst.pid.d), kIntegLimit);
        tt_.pid.delay_diff_in = err;
        return saturate(s64{p} + i + d, kVoltageLimit);
    }

    // Adds the previous step's error; returns the integrator output.
    frac_t integratorRun(frac_t err) {
        turntable_filter_data &f = tt_.pid.integ.filter_data;
        const frac_t out = saturate(s64{f.prev_out} + m_.mul(ttconst.ts, f.prev_in), kIntegLimit);
        f.prev_in = err;
        f.prev_out = out;
        return out;
    }

    // The motor's current through its electrical filter; returns the motor torque.
    frac_t motorFilterRun(frac_t voltage) {
        turntable_filter_data &f = tt_.motor.filter_data;
        const frac_t u = fsum(s64{voltage} - m_.mul(s_.motor_speed, kMotorConstant));
        const frac_t current =
            fsum(s64{m_.mul(u, ttconst.motor_filter.b[0])} + m_.mul(f.prev_in, ttconst.motor_filter.b[1]) -
                 m_.mul(f.prev_out, ttconst.motor_filter.a[0]));
        f.prev_out = current;
        f.prev_in = u;
        return m_.mul(current, kMotorConstant);
    }

    // The slip-mat friction needed to carry the record along with the platter:
    // (J_r Tm - J_p Tf - (J_r B_p - J_p B_r) w) / (J_p + J_r).
    frac_t frictionTransferCalc(frac_t motorTorque) {
        const frac_t w = s_.motor_speed;
        const frac_t sum =
            fsum(s64{m_.mul(motorTorque, kRecordInertia)} - m_.mul(s_.finger_torque, kPlatterInertia) -
                 m_.mul(w, kRecordInertiaPlatterDamping) + m_.mul(w, kPlatterInertiaRecordDamping));
        return m_.mul(sum, kInvTotalInertia);
    }

    // Stick or slip of the record on the platter; uses the previous step's finger torque.
    void platterClutch(frac_t motorTorque) {
        const frac_t f = frictionTransferCalc(motorTorque);
        const s8 dir = sign(s64{s_.motor_speed} - s_.record_speed);
        const bool match = dir + s_.dir_motor_slip == 0;
        s_.dir_motor_slip = dir;
        const s64 magnitude = f < 0 ? -s64{f} : s64{f};
        const bool below = magnitude <= kStaticFriction;
        const bool above = magnitude >= kStaticFriction;
        const bool lock = match && below && !s_.finger_locked;
        const bool unlock = above || s_.finger_locked;
        const bool locked = isLocked(lock, unlock, s_.platter_locked);
        if (s_.finger_incr == 0) {
            // Simple finger model: the platter carries the record whenever the finger is off.
            s_.platter_locked = !in_.touching;
            s_.friction_torque = 0;
            return;
        }
        s_.platter_locked = locked;
        if (locked)
            s_.friction_torque = f;
        else
            s_.friction_torque = kKineticFriction * (dir != 0 ? dir : sign(s_.motor_speed));
    }

    // Tracks the finger's angle and speed, decides whether it holds the record and sets the
    // finger torque.
    void fingerClutch() {
        s64 pos = 0;
        frac_t v = 0;
        if (s_.scratching) {
            pos = s64{s_.prev_finger_pos} + m_.mul(s_.prev_finger_speed, ttconst.ts);
            v = s_.prev_finger_speed;
        }
        if (in_.touching) {
            if (s_.scratching) {
                const frac_t residual = fsum(wrapAngle(s64{in_.fingerAngle} - pos));
                pos += m_.mul(residual, ttconst.finger_pos_gain);
                v = fsum(s64{v} + m_.mul(residual, ttconst.finger_vel_gain));
            } else {
                pos = in_.fingerAngle;
                v = 0;
                s_.scratching = true;
            }
            pos = wrapAngle(pos);
        } else {
            s_.scratching = false;
        }
        s_.prev_finger_pos = fsum(pos);
        s_.prev_finger_speed = v;
        if (in_.touching && s_.finger_incr != 0)
            v = fsum(s64{m_.mul(v, s_.finger_scale)} +
                     m_.mul(fsum(s64{kOne} - s_.finger_scale), s_.motor_speed));

        const frac_t slip = fsum(s64{v} - s_.record_speed);
        const s8 dir = sign(slip);
        const bool match = dir + s_.dir_finger_slip == 0;
        s_.dir_finger_slip = dir;
        bool locked = s_.finger_locked ? in_.touching : (in_.touching && match);
        if (s_.finger_incr == 0) locked = in_.touching;

        frac_t torque = 0;
        if (locked) {
            // Removes half the slip in one step, net of the slip-mat friction.
            torque =
                fsum(s64{m_.mul4(slip, kLockedSlipShare, kRecordInertia, ttconst.fs)} - s_.friction_torque);
        } else if (in_.touching) {
            frac_t grip = m_.mul3(in_.fingerRadius, kFingerFriction, in_.fingerForce);
            if (s_.friction_torque > 0) grip = fsum(-s64{grip});
            const s64 limit = s_.friction_torque < 0 ? -s64{s_.friction_torque} : s64{s_.friction_torque};
            torque = fsum(s64{saturate(grip, limit)} + m_.mul(slip, kFingerViscous));
        }
        s_.finger_locked = locked;
        s_.finger_torque = torque;
    }

    // Each speed moves by the change computed one step earlier.
    void integrate(frac_t motorTorque) {
        const frac_t tf = s_.finger_torque;
        if (s_.platter_locked) {
            const frac_t torque = fsum(s64{motorTorque} - m_.mul(s_.motor_speed, kJointDamping) + tf);
            const frac_t delta = m_.mul3(torque, kInvTotalInertia, ttconst.ts);
            const frac_t speed = fsum(s64{s_.motor_speed} + s_.delay_motor_accel);
            s_.motor_speed = speed;
            s_.record_speed = speed;
            s_.delay_motor_accel = delta;
            s_.delay_record_accel = delta;
            return;
        }
        const frac_t motorSide =
            fsum(s64{motorTorque} - s_.friction_torque - m_.mul(s_.motor_speed, kPlatterDamping));
        const frac_t deltaMotor = m_.mul3(motorSide, kInvPlatterInertia, ttconst.ts);
        s_.motor_speed = fsum(s64{s_.motor_speed} + s_.delay_motor_accel);
        s_.delay_motor_accel = deltaMotor;
        const frac_t recordSide =
            fsum(s64{tf} + s_.friction_torque - m_.mul(s_.record_speed, kRecordDamping));
        const frac_t deltaRecord = m_.mul3(recordSide, kInvRecordInertia, ttconst.ts);
        s_.record_speed = fsum(s64{s_.record_speed} + s_.delay_record_accel);
        s_.delay_record_accel = deltaRecord;
    }

    // While the gate is on, the output is the ideal target; it turns off once the model has
    // stayed within tolerance for kGateFrames steps, or at the first touch.
    frac_t startupGate() {
        if (!tt_.gate.enabled) return s_.record_speed;
        if (in_.touching) {
            tt_.gate.enabled = false;
            return s_.record_speed;
        }
        const s64 diff = s64{s_.motor_target_speed} - s_.record_speed;
        const s64 distance = diff < 0 ? -diff : diff;
        if (distance < m_.mul(s_.motor_target_speed, kGateTolerance)) {
            if (++tt_.gate.frames_within_tol >= kGateFrames) tt_.gate.enabled = false;
        } else {
            tt_.gate.frames_within_tol = 0;
        }
        return tt_.gate.enabled ? s_.motor_target_speed : s_.record_speed;
    }

    // Blends the finger's own speed into the output over the release time.
    frac_t blendFinger(frac_t speed) {
        const s64 scale =
            in_.touching ? s64{s_.finger_scale} + s_.finger_incr : s64{s_.finger_scale} - s_.finger_incr;
        s_.finger_scale = static_cast<frac_t>(scale > kOne ? kOne : (scale < 0 ? 0 : scale));
        return fsum(s64{m_.mul(speed, kOne - s_.finger_scale)} +
                    m_.mul(s_.finger_scale, s_.prev_finger_speed));
    }

    frac_t output(frac_t speed) {
        if (!s_.needle_down) return 0;
        const frac_t out = m_.mul(speed, kSpeedPerRadPerSec);
        return out == -1 ? 0 : out;
    }

    turntable &tt_;
    turntable_state &s_;
    const StepInputs &in_;
    FracMath m_;
};

} // namespace

void turntable_process(turntable *tt) {
    if (!tt || !tt->in_target_speed || !tt->in_finger_radius || !tt->in_finger_angle ||
        !tt->in_finger_force || !tt->out_record_speed)
        return;
    if (tt->warnings.quiet_steps > 0) --tt->warnings.quiet_steps;
    const frac_t force = *tt->in_finger_force;
    const StepInputs in{*tt->in_target_speed, *tt->in_finger_radius, *tt->in_finger_angle, force > 0, force};
    *tt->out_record_speed = Step(*tt, in).run();
}
