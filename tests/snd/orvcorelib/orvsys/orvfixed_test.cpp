// The shared integer helpers at the edges of their ranges.
#include "orvsys/lebytes.h"
#include "orvsys/orvfixed.h"

#include <gtest/gtest.h>

#include <climits>
#include <limits>

namespace {

using namespace orv;

static_assert(sat16(40000) == 32767 && sat16(-40000) == -32768 && sat16(-5) == -5);
static_assert(sat32(s64{1} << 40) == INT_MAX && sat32(-(s64{1} << 40)) == INT_MIN);
static_assert(satBits(1 << 24, 24) == (1 << 23) - 1 && satBits(-(1 << 24), 24) == -(1 << 23));
static_assert(asr32(-1, 40) == -1 && asr32(5, 40) == 0 && asr32(-8, 2) == -2 && asr32(7, -3) == 7);
static_assert(lsr32(0x80000000u, 31) == 1 && lsr32(1, 32) == 0);
static_assert(shlSat32(1, 31) == INT_MAX && shlSat32(-1, 31) == INT_MIN && shlSat32(3, 2) == 12);
static_assert(shlSat32(1, 40) == INT_MAX && shlSat32(0, 40) == 0);
static_assert(mulQ15(32767, 32767) == 32766 && mulQ15(-32768, -32768) == 32768);
static_assert(mulQ31(INT_MIN, INT_MIN) == INT_MIN && mulShiftSat(INT_MIN, INT_MIN, 31) == INT_MAX);
static_assert(mulQ20(FRAC_ONE, 3 * FRAC_ONE) == 3 * FRAC_ONE);
static_assert(mulShiftRound(3, 1, 1) == 2 && mulShiftRound(-3, 1, 1) == -1);
static_assert(wrapAdd32(INT_MAX, 1) == INT_MIN && wrapSub32(INT_MIN, 1) == INT_MAX);
static_assert(wrapMul32(0x10000, 0x10000) == 0);
static_assert(truncSat16(-2.9) == -2 && truncSat16(32766.9) == 32766 && truncSat16(1e9) == 32767);
static_assert(truncSat16(-1e9) == -32768 && truncSat16(std::numeric_limits<double>::quiet_NaN()) == 0);
static_assert(mulSat64(s64{1} << 42, -(s64{1} << 20)) == -(s64{1} << 62));
static_assert(mulSat64(s64{1} << 42, s64{1} << 21) == LLONG_MAX);
static_assert(mulSat64(-(s64{1} << 42), s64{1} << 30) == LLONG_MIN);
static_assert(mulSat64(-(s64{1} << 42), -(s64{1} << 30)) == LLONG_MAX);
static_assert(mulSat64(LLONG_MIN, -1) == LLONG_MAX && mulSat64(LLONG_MIN, 1) == LLONG_MIN);
static_assert(truncSat32(-3.9f) == -3 && truncSat32(21.99f) == 21 && truncSat32(-0.5f) == 0);
static_assert(truncSat32(3.0e9f) == INT_MAX && truncSat32(-3.0e9f) == INT_MIN);
static_assert(truncSat32(__builtin_inff()) == INT_MAX && truncSat32(__builtin_nanf("")) == 0);
static_assert(truncSatU32(21.99f) == 21u && truncSatU32(-0.5f) == 0u && truncSatU32(-3.0e9f) == 0u);
static_assert(truncSatU32(3.0e9f) == 3000000000u && truncSatU32(5.0e9f) == UINT_MAX);
static_assert(truncSatU32(__builtin_inff()) == UINT_MAX && truncSatU32(__builtin_nanf("")) == 0u);
static_assert(fourccLE("RIFF") == 0x46464952u && fourccBE("FORM") == 0x464F524Du);

TEST(LeBytes, RoundTripsAndByteOrder) {
    u8 buf[8] = {};
    putLE32(buf, 0x11223344u);
    EXPECT_EQ(buf[0], 0x44);
    EXPECT_EQ(buf[3], 0x11);
    EXPECT_EQ(getLE32(buf), 0x11223344u);
    EXPECT_EQ(getBE32(buf), 0x44332211u);
    putLE64(buf, 0x0102030405060708ull);
    EXPECT_EQ(getLE64(buf), 0x0102030405060708ull);
    EXPECT_EQ(getBE64(buf), 0x0807060504030201ull);
    putLE16(buf, 0xBEEF);
    EXPECT_EQ(getLE16(buf), 0xBEEF);
    EXPECT_EQ(getBE16(buf), 0xEFBE);
}

} // namespace
