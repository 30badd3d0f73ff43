// Every topology, type and parameter corner at odd sample rates, on full-scale 32-bit noise:
// no undefined arithmetic (the sanitizers watch), and after every block the section either uses
// the new design or still the previous one, never a partial one.
#include "biquad/biquad.h"
#include "biquad/biquad_kernels.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <limits>
#include <random>

namespace {

bool sameCoefficients(const biquad_coef &a, const biquad_coef &b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(BiquadRobustness, ParameterCornersAndOddSampleRates) {
    const float inf = std::numeric_limits<float>::infinity();
    constexpr std::array<u32, 7> rates{0, 1, 8000, 11025, 44100, 192000, 0xFFFFFFFF};
    constexpr std::array<float, 5> corners{20.0f, 5990.0f, 6000.0f, 11025.0f, 20000.0f};
    constexpr std::array<float, 2> qs{0.1f, 10.0f};
    const std::array<float, 5> gains{-40.0f, -2.0f, 18.0f, 1e30f, inf};

    std::mt19937 rng(11);
    std::uniform_int_distribution<s32> dist(std::numeric_limits<s32>::min(), std::numeric_limits<s32>::max());
    std::array<audio24, 32> block{};
    int refused = 0, taken = 0;
    for (s32 topo = 0; topo < BIQUAD_TOPO_COUNT; ++topo)
        for (s32 type = 0; type < BIQUAD_TYPE_COUNT; ++type)
            for (u32 fs : rates) {
                biquad *b =
                    biquad_new(16, static_cast<biquad_topo>(topo), static_cast<biquad_type>(type), fs);
                if (b == nullptr) continue; // the lattice has no resonant types
                for (float fc : corners)
                    for (float Q : qs)
                        for (float gain : gains) {
                            biquad_setParam(b, BIQUAD_PARAM_FC, fc);
                            biquad_setParam(b, BIQUAD_PARAM_Q, Q);
                            biquad_setParam(b, BIQUAD_PARAM_GAIN, gain);
                            const biquad_coef before = b->coef;
                            biquad candidate = *b;
                            const bool designed = orv::biquadApplyPending(candidate);
                            for (auto &x : block) x = dist(rng);
                            biquad_process(b, block.data(), block.data());
                            ASSERT_EQ(b->changeFlag, 0u);
                            if (designed) {
                                ++taken;
                                EXPECT_TRUE(sameCoefficients(b->coef, candidate.coef));
                                EXPECT_EQ(b->fc, b->fc_);
                            } else {
                                ++refused;
                                EXPECT_TRUE(sameCoefficients(b->coef, before));
                            }
                        }
                biquad_destroy(b);
            }
    EXPECT_GT(taken, 0);
    EXPECT_GT(refused, 0);
}

} // namespace
