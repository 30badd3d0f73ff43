// Drives one turntable through arbitrary inputs, events and parameters: the model must stay
// defined (no overflow) whatever the deck feeds it.
#include "turntable/turntable.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool initialised = [] {
        turntable_init(256.0f / 44100.0f);
        return true;
    }();
    (void)initialised;
    turntable *tt = turntable_new();
    if (!tt) return 0;
    frac_t target = 0x100000, radius = 62914, angle = 0, force = 0, out = 0;
    turntable_setPtrs(tt, &target, &radius, &angle, &force, &out);
    size_t at = 0;
    auto next32 = [&]() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | (at < size ? data[at++] : 0u);
        return static_cast<frac_t>(v);
    };
    while (at < size) {
        const uint8_t op = data[at++];
        switch (op % 16) {
        case 0:
            target = next32();
            break;
        case 1:
            radius = next32();
            break;
        case 2:
            angle = next32();
            break;
        case 3:
            force = next32();
            break;
        case 4:
            turntable_event_start(tt);
            break;
        case 5:
            turntable_event_start_fast(tt);
            break;
        case 6:
            turntable_event_warmup(tt);
            break;
        case 7:
            turntable_event_stop_slow(tt);
            break;
        case 8:
            turntable_event_stop_instant(tt);
            break;
        case 9:
            turntable_event_stop_fast(tt);
            break;
        case 10:
            turntable_event_jump_speed(tt, next32());
            break;
        case 11:
            turntable_set_parameter(tt, static_cast<turntable_param>(op % 3), next32());
            break;
        default:
            for (int i = 0; i < 1 + op / 16; ++i) turntable_process(tt);
            break;
        }
    }
    turntable_destroy(tt);
    std::fflush(stdout);
    return 0;
}
