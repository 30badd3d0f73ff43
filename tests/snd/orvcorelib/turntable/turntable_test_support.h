// A turntable bound to its own input and output variables, as the sound engine binds a deck's.
#pragma once

#include "turntable/turntable.h"

#include <gtest/gtest.h>

namespace orvtest {

inline constexpr float kDeckFrameTime = 256.0f / 44100.0f;
inline constexpr frac_t kOne = 0x100000;
// Steps per second at the deck's frame time (172.27).
inline constexpr int kStepsPerSecond = 172;

class Platter {
  public:
    Platter() {
        turntable_init(kDeckFrameTime);
        tt = turntable_new();
        EXPECT_NE(tt, nullptr);
        turntable_setPtrs(tt, &target, &radius, &angle, &force, &out);
    }
    ~Platter() { turntable_destroy(tt); }
    Platter(const Platter &) = delete;
    Platter &operator=(const Platter &) = delete;

    frac_t step() {
        turntable_process(tt);
        return out;
    }
    frac_t run(int steps) {
        for (int i = 0; i < steps; ++i) step();
        return out;
    }
    void touch(frac_t at) {
        force = kOne;
        angle = at;
    }
    void release() { force = 0; }

    turntable *tt = nullptr;
    frac_t target = kOne;
    frac_t radius = 62914; // 0.06, the engine's scratch radius
    frac_t angle = 0;
    frac_t force = 0;
    frac_t out = 12345; // anything but 0, so a written 0 is seen
};

} // namespace orvtest
