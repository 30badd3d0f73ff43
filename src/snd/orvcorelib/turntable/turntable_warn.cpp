#include "turntable/turntable_math.h"

#include <cstdio>

namespace orv::tt {

namespace {

// One second of model time in steps; at least one step before ttconst is set.
u32 stepsPerSecond() {
    const s32 steps = ttconst.fs >> 20;
    return steps > 0 ? static_cast<u32>(steps) : 1u;
}

} // namespace

void warnNearSaturation(turntable_warnings &w, const frac_t *operands, int count, frac_t result) {
    if (w.quiet_steps > 0) {
        if (w.left_out < 0xFFFFFFFFu) ++w.left_out;
        return;
    }
    // Formatted into the stack and written with one call: no allocation, one stdio lock.
    char line[256];
    int len = std::snprintf(line, sizeof line, "WARNING: TT near saturation: ");
    for (int i = 0; i < count; ++i)
        len += std::snprintf(line + len, sizeof line - static_cast<size_t>(len), i ? " * %lf" : "%lf",
                             turntable_to_double(operands[i]));
    len += std::snprintf(line + len, sizeof line - static_cast<size_t>(len), " = %lf (max 2048)",
                         turntable_to_double(result));
    if (w.left_out > 0)
        len += std::snprintf(line + len, sizeof line - static_cast<size_t>(len), " [%u more left out]",
                             w.left_out);
    std::snprintf(line + len, sizeof line - static_cast<size_t>(len), "\n");
    std::fputs(line, stdout);
    w.left_out = 0;
    w.quiet_steps = stepsPerSecond();
}

} // namespace orv::tt
