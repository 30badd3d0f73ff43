// Sine and cosine of rational multiples of pi, evaluable at compile time, so that the
// library's fixed-point tables can be constexpr data computed from their defining formula
// rather than pasted numbers. The reduction to the first octant is done on the integers,
// so the only rounding is that of pi itself and of a short series: the results agree with
// the C library's sin and cos to within a few units in the last place.
#pragma once

#include "orvsys/orvint.h"

#include <numbers>

namespace orv {

namespace detail {

// sin(x) for |x| <= pi/4 by its Taylor series (the omitted terms are below 1e-22).
constexpr double sinSeries(double x) {
    const double x2 = x * x;
    // Horner form of x - x^3/3! + x^5/5! - ...: term ratios are -x^2 / ((k-1) k).
    double term = 1.0;
    for (int k = 21; k >= 3; k -= 2) term = 1.0 - term * x2 / ((k - 1) * k);
    return x * term;
}

// cos(x) for |x| <= pi/4 by its Taylor series.
constexpr double cosSeries(double x) {
    const double x2 = x * x;
    double term = 1.0;
    for (int k = 22; k >= 2; k -= 2) term = 1.0 - term * x2 / ((k - 1) * k);
    return term;
}

} // namespace detail

// sin(pi * num / den). Needs den > 0.
constexpr double constexprSinPi(s64 num, s64 den) {
    s64 t = num % (2 * den); // sin has period 2 pi
    if (t < 0) t += 2 * den;
    double sign = 1.0;
    if (t >= den) { // sin(x + pi) = -sin(x)
        t -= den;
        sign = -1.0;
    }
    if (2 * t > den) t = den - t; // sin(pi - x) = sin(x); now t/den is in [0, 1/2]
    if (4 * t <= den) return sign * detail::sinSeries(std::numbers::pi * static_cast<double>(t) / den);
    // sin(x) = cos(pi/2 - x), with pi/2 - x = pi (den - 2t) / (2 den) in [0, pi/4)
    return sign * detail::cosSeries(std::numbers::pi * static_cast<double>(den - 2 * t) / (2 * den));
}

// cos(pi * num / den) = sin(pi * (num / den + 1/2)). Needs den > 0.
constexpr double constexprCosPi(s64 num, s64 den) {
    return constexprSinPi(2 * num + den, 2 * den);
}

} // namespace orv
