// Where the profiler counts one duration in its log-scale histogram.
#pragma once

#include "orvsys/orvint.h"

#include <bit>

namespace orv {

struct HistogramCell {
    int row;    // significant bits of the duration, 0..31
    int column; // the bit just below the most significant one
};

// 2^31 ticks and more count in row 31, column 1; 0 (and a clock that went backwards) in
// row 0, column 0.
constexpr HistogramCell profilerHistogramCell(s64 d) {
    if (d >= (s64{1} << 31)) return {31, 1};
    if (d <= 0) return {0, 0};
    const int bits = std::bit_width(static_cast<u64>(d));
    return {bits, bits >= 2 ? static_cast<int>((d >> (bits - 2)) & 1) : 0};
}

} // namespace orv
