// Physical model of a direct-drive turntable: a motor-driven platter, a record on a slip mat
// and a finger that can touch the record. Once per audio period turntable_process takes the
// wanted speed and the finger's input and computes the record speed the deck plays at, so
// starts and stops take time and the finger can hold, drag and scratch the record.
//
// Units: frac_t Q12.20 throughout (1.0 = 0x100000). Inside the model speeds are rad/s; the
// target speed input and the record speed output are relative speeds, 1.0 = 33.3 rpm.
// The per-period step is integer-only, has no loops and allocates nothing; it runs in the
// caller's (real-time) thread. Events and parameters must come from that thread or between
// its calls.
#pragma once

#include "orvsys/orvint.h"

// The model's event input: declared for the input pointer, never bound or read.
enum turntable_event : int {};

enum turntable_param {
    TT_PARAM_STARTUP_TIME = 0, // seconds for the motor target to rise by one full speed
    TT_PARAM_RAMP_TIME = 1,    // seconds for the motor target to fall by one full speed
    TT_PARAM_RELEASE_TIME = 2, // seconds for the finger's weight in the output to go 0 -> 1.0
};

// Constants shared by all turntables, written only by turntable_init.
struct turntable_constants {
    frac_t ts; // frame time in seconds
    frac_t fs; // its inverse
    struct {
        frac_t p, i, d;
    } pid; // gains of the motor speed controller
    struct {
        frac_t b[2];
        frac_t a[1];
    } motor_filter; // the motor's electrical filter 1 / (R + L s)
    frac_t finger_pos_gain;
    frac_t finger_vel_gain;
};
extern turntable_constants ttconst;

struct turntable_filter_data {
    frac_t prev_in;
    frac_t prev_out;
};

struct turntable_state {
    frac_t motor_speed;  // rad/s
    frac_t record_speed; // rad/s
    // Speed changes computed in the previous step and applied in this one.
    frac_t delay_motor_accel;
    frac_t delay_record_accel;
    frac_t friction_torque;   // slip-mat torque on the record (the platter feels its negative)
    frac_t finger_torque;     // torque of the finger on the record
    frac_t prev_finger_pos;   // rad, kept within +-pi
    frac_t prev_finger_speed; // rad/s
    s8 dir_finger_slip;       // -1, 0, +1: finger against record
    s8 dir_motor_slip;        // -1, 0, +1: platter against record
    bool finger_locked;
    bool platter_locked;
    bool scratching;
    bool power;
    bool started;
    bool needle_down;
    frac_t motor_target_speed; // rad/s, the ramped target
    frac_t motor_target_incr;  // rad/s per step; 0 = no start-up ramp
    frac_t motor_target_decr;  // rad/s per step; 0 = no brake ramp
    frac_t finger_scale;       // 0 .. 1.0: weight of the finger's own speed in the output
    frac_t finger_incr;        // per step; 0 = instant release (simple finger model)
};

// Near-saturation warnings run in the real-time thread, so each turntable prints at most one
// line per second of model time and counts the ones it leaves out.
struct turntable_warnings {
    u32 quiet_steps; // steps left before the next line may be printed
    u32 left_out;    // warnings not printed since the last line
};

struct turntable {
    turntable_event *in_event;
    frac_t *in_target_speed;  // wanted speed, 1.0 = 33.3 rpm
    frac_t *in_finger_radius; // radius of the finger contact
    frac_t *in_finger_angle;  // finger angle on the record, rad
    frac_t *in_finger_force;  // 0 or less: not touching
    frac_t *out_record_speed; // 1.0 = 33.3 rpm
    turntable_state state;
    struct {
        bool enabled;
        int frames_within_tol;
    } gate; // start-up gate: output the ideal target until the model has caught up
    struct {
        turntable_filter_data filter_data;
    } motor;
    struct {
        frac_t delay_diff_in; // previous speed error
        struct {
            turntable_filter_data filter_data;
        } integ;
    } pid;
    turntable_warnings warnings;
};

// Sets ttconst for a step of frameTime seconds (the sound engine uses 256/44100). Frame times
// whose value or inverse would not fit Q12.20 are clamped into [1/2047, 2047] s. Call once
// before any turntable runs and never while one does.
void turntable_init(float frameTime);

// A zeroed turntable (power off, gate off, needle up, inputs unbound); null when memory runs out.
turntable *turntable_new();

// Frees tt; accepts null. Returns null.
turntable *turntable_destroy(turntable *tt);

// Binds the caller's variables; must precede the first turntable_process. The pointers must
// stay valid while the turntable runs.
void turntable_setPtrs(turntable *tt, frac_t *in_target_speed, frac_t *in_finger_radius,
                       frac_t *in_finger_angle, frac_t *in_finger_force, frac_t *out_record_speed);

// x * 2^20 truncated toward zero, saturated to +-0x7FFFFFFF (NaN gives 0).
frac_t turntable_to_frac(double x);
// x * 2^-20.
double turntable_to_double(frac_t x);

// Events: each acts at once on the state, between steps.
// Motor on at the full input speed; the start-up gate outputs the target until the model has
// caught up.
void turntable_event_start(turntable *tt);
// Motor on along the start-up ramp (without a ramp: turntable_event_start).
void turntable_event_start_fast(turntable *tt);
// Motor powered and started; the needle stays where it is.
void turntable_event_warmup(turntable *tt);
// Power off: the platter coasts down.
void turntable_event_stop_slow(turntable *tt);
// Every speed and torque to 0 at once.
void turntable_event_stop_instant(turntable *tt);
// Brake along the ramp with the motor powered (without a ramp: turntable_event_stop_instant).
void turntable_event_stop_fast(turntable *tt);
// Adds delta (relative speed) to the motor, its target and the record at once.
void turntable_event_jump_speed(turntable *tt, frac_t delta);

// Sets a ramp time in seconds (frac_t). 0 means no ramp (for the release time also a zero
// finger weight); a negative value or an unknown param changes nothing. Times so short that
// the per-step change would not fit Q12.20 are clamped.
void turntable_set_parameter(turntable *tt, turntable_param param, frac_t value);

// One model step: reads the bound inputs, writes *out_record_speed. Needs turntable_init and
// turntable_setPtrs first.
void turntable_process(turntable *tt);
