#include "fft/c4096.h"

#include "orvmath/constexpr_trig.h"

namespace {

constexpr std::array<audio16, 2 * C4096_PAIRS> makeC4096() {
    std::array<audio16, 2 * C4096_PAIRS> table{};
    for (u32 j = 0; j < C4096_PAIRS; ++j) {
        // A conversion to an integer type truncates toward zero, as the table wants.
        table[2 * j] = static_cast<audio16>(32767.0 * orv::constexprCosPi(j, C4096_PAIRS));
        table[2 * j + 1] = static_cast<audio16>(-(32767.0 * orv::constexprSinPi(j, C4096_PAIRS)));
    }
    return table;
}

} // namespace

constexpr std::array<audio16, 2 *C4096_PAIRS> C4096 = makeC4096();
