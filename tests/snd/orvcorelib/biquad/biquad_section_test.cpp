// Life cycle of a biquad section: creation and its refusals, defaults and pass-through,
// parameters and their clamps, when coefficients change, state, and the kernels' structure.
#include "biquad/biquad.h"
#include "biquad/biquad_kernels.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace {

struct SectionDeleter {
    void operator()(biquad *b) const { biquad_destroy(b); }
};
using Section = std::unique_ptr<biquad, SectionDeleter>;

Section makeSection(u32 frameSize, biquad_topo topo, biquad_type type, u32 fs = 44100) {
    return Section(biquad_new(frameSize, topo, type, fs));
}

std::vector<audio24> randomBlock(std::size_t values, u32 seed, s32 lo, s32 hi) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<s32> dist(lo, hi);
    std::vector<audio24> v(values);
    for (auto &x : v) x = dist(rng);
    return v;
}

constexpr std::array<biquad_type, BIQUAD_TYPE_COUNT> kAllTypes{
    BIQUAD_TYPE_LPF1, BIQUAD_TYPE_HPF1, BIQUAD_TYPE_BPF,   BIQUAD_TYPE_AP1,   BIQUAD_TYPE_AP2,
    BIQUAD_TYPE_PKF,  BIQUAD_TYPE_HSF1, BIQUAD_TYPE_LSF1,  BIQUAD_TYPE_LPF2,  BIQUAD_TYPE_HPF2,
    BIQUAD_TYPE_HSF2, BIQUAD_TYPE_LSF2, BIQUAD_TYPE_LPF2R, BIQUAD_TYPE_HPF2R,
};

bool isFirstOrder(biquad_type t) {
    return t == BIQUAD_TYPE_LPF1 || t == BIQUAD_TYPE_HPF1 || t == BIQUAD_TYPE_AP1 || t == BIQUAD_TYPE_HSF1 ||
           t == BIQUAD_TYPE_LSF1;
}

TEST(BiquadNew, RefusesWhatCannotBeProcessed) {
    struct Case {
        u32 frameSize;
        s32 topo, type;
        bool accepted;
    };
    constexpr std::array<Case, 14> cases{{
        {8, BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF2, true},
        {0, BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF2, true},
        {128, BIQUAD_TOPO_NL, BIQUAD_TYPE_PKF, true},
        {4, BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF2, false},
        {12, BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF2, false},
        {129, BIQUAD_TOPO_NL, BIQUAD_TYPE_LPF1, false},
        {8, BIQUAD_TOPO_COUNT, BIQUAD_TYPE_LPF2, false},
        {8, -1, BIQUAD_TYPE_LPF2, false},
        {8, BIQUAD_TOPO_DF1, BIQUAD_TYPE_COUNT, false},
        {8, BIQUAD_TOPO_NL, -1, false},
        {8, BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF2R, true},
        {8, BIQUAD_TOPO_DF1, BIQUAD_TYPE_HPF2R, true},
        {8, BIQUAD_TOPO_NL, BIQUAD_TYPE_LPF2R, false},
        {8, BIQUAD_TOPO_NL, BIQUAD_TYPE_HPF2R, false},
    }};
    for (const auto &c : cases) {
        Section b =
            makeSection(c.frameSize, static_cast<biquad_topo>(c.topo), static_cast<biquad_type>(c.type));
        EXPECT_EQ(b != nullptr, c.accepted)
            << "frameSize " << c.frameSize << " topo " << c.topo << " type " << c.type;
    }
}

TEST(BiquadNew, DefaultsAndKernelChoice) {
    for (biquad_type type : kAllTypes) {
        SCOPED_TRACE(type);
        Section b = makeSection(64, BIQUAD_TOPO_DF1, type, 48000);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->frameSize, 64u);
        EXPECT_EQ(b->sampleRate, 48000u);
        EXPECT_EQ(b->changeFlag, 0u);
        EXPECT_EQ(b->fc, 100.0f);
        EXPECT_EQ(b->fc_, 100.0f);
        EXPECT_EQ(b->Q, 1.0f);
        EXPECT_EQ(b->Q_, 1.0f);
        EXPECT_EQ(b->gain, 0.0f);
        EXPECT_EQ(b->gain_, 0.0f);
        EXPECT_EQ(b->type, type);
        EXPECT_EQ(b->coef.df1.b0, 0x8000000);
        EXPECT_EQ(b->coef.df1.b1 | b->coef.df1.b2 | b->coef.df1.a1 | b->coef.df1.a2, 0);
        for (audio24 w : b->d) EXPECT_EQ(w, 0);
        EXPECT_EQ(b->calcFun, &orv::_calcCoef_DF1);
        EXPECT_EQ(b->procFun, isFirstOrder(type) ? &orv::_process8_DF1_1 : &orv::_process8_DF1_2);
    }
    struct NLCase {
        biquad_type type;
        biquad_procFun kernel;
    };
    const std::array<NLCase, 12> nlCases{{
        {BIQUAD_TYPE_LPF1, orv::_process8_NL_1p_allpass},
        {BIQUAD_TYPE_HPF1, orv::_process8_NL_1n_allpass},
        {BIQUAD_TYPE_BPF, orv::_process8_NL_2},
        {BIQUAD_TYPE_AP1, orv::_process8_NL_1_allpass},
        {BIQUAD_TYPE_AP2, orv::_process8_NL_2_allpass},
        {BIQUAD_TYPE_PKF, orv::_process8_NL_2p_allpass},
        {BIQUAD_TYPE_HSF1, orv::_process8_NL_1p_allpass},
        {BIQUAD_TYPE_LSF1, orv::_process8_NL_1n_allpass},
        {BIQUAD_TYPE_LPF2, orv::_process8_NL_2},
        {BIQUAD_TYPE_HPF2, orv::_process8_NL_2},
        {BIQUAD_TYPE_HSF2, orv::_process8_NL_2},
        {BIQUAD_TYPE_LSF2, orv::_process8_NL_2},
    }};
    for (const auto &c : nlCases) {
        SCOPED_TRACE(c.type);
        Section b = makeSection(8, BIQUAD_TOPO_NL, c.type);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->procFun, c.kernel);
        EXPECT_EQ(b->calcFun, &orv::_calcCoef_NL);
        const nl_coef &nl = b->coef.nl;
        EXPECT_EQ(nl.g, 0x8000000);
        EXPECT_EQ(nl.k2, 0x8000000);
        EXPECT_EQ(nl.v2, 0x8000000);
        EXPECT_EQ(nl.k1 | nl.c1 | nl.c2 | nl.v0 | nl.v1, 0);
    }
}

// Until a parameter differs from its default, a new direct-form-I section passes audio through:
// exactly for first order, with the two lowest bits cleared for second order (so 16-bit
// material carried as value * 256 passes exactly). Values well beyond 24 bits pass too, up to
// the second-order kernel's 32-bit limit of 2^28.
TEST(BiquadProcess, NewSectionPassesAudioThrough) {
    constexpr u32 kFrames = 64;
    const std::vector<audio24> wide = randomBlock(2 * kFrames, 1, -(1 << 28), (1 << 28) - 1);
    std::vector<audio24> sixteenBit = randomBlock(2 * kFrames, 2, -32768, 32767);
    for (auto &x : sixteenBit) x *= 256;
    for (biquad_type type : kAllTypes) {
        SCOPED_TRACE(type);
        Section b = makeSection(kFrames, BIQUAD_TOPO_DF1, type);
        biquad_setParam(b.get(), BIQUAD_PARAM_FC, 100.0f); // the defaults change nothing
        biquad_setParam(b.get(), BIQUAD_PARAM_Q, 1.0f);
        biquad_setParam(b.get(), BIQUAD_PARAM_GAIN, 0.0f);
        std::vector<audio24> out(2 * kFrames);
        for (int block = 0; block < 3; ++block) {
            biquad_process(b.get(), wide.data(), out.data());
            for (std::size_t i = 0; i < out.size(); ++i) {
                const audio24 expected = isFirstOrder(type) ? wide[i] : static_cast<audio24>(wide[i] & ~3);
                ASSERT_EQ(out[i], expected) << "block " << block << " value " << i;
            }
        }
        biquad_process(b.get(), sixteenBit.data(), out.data());
        EXPECT_EQ(out, sixteenBit);
    }
}

TEST(BiquadSetParam, ClampsAndChangeBits) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        biquad_type type;
        s32 index;
        float value;
        s32 result;
        float stored; // the pending value afterwards
        u32 changeFlag;
    };
    const std::array<Case, 24> cases{{
        {BIQUAD_TYPE_LPF2, BIQUAD_PARAM_FC, 1000.0f, 1, 1000.0f, BIQUAD_CHANGED_FC},
        {BIQUAD_TYPE_LPF2, BIQUAD_PARAM_FC, 100.0f, 1, 100.0f, 0},
        {BIQUAD_TYPE_LPF2, BIQUAD_PARAM_FC, 25000.0f, -1, 20000.0f, BIQUAD_CHANGED_FC},
        {BIQUAD_TYPE_LPF2, BIQUAD_PARAM_FC, 20000.0f, 1, 20000.0f, BIQUAD_CHANGED_FC},
        {BIQUAD_TYPE_LPF2, BIQUAD_PARAM_FC, 5.0f, -1, 20.0f, BIQUAD_CHANGED_FC},
        {BIQUAD_TYPE_LPF2, BIQUAD_PARAM_FC, nan, -1, 20.0f, BIQUAD_CHANGED_FC},
        {BIQUAD_TYPE_LPF2, BIQUAD_PARAM_FC, inf, -1, 20000.0f, BIQUAD_CHANGED_FC},
        {BIQUAD_TYPE_LPF2, BIQUAD_PARAM_FC, -inf, -1, 20.0f, BIQUAD_CHANGED_FC},
        {BIQUAD_TYPE_BPF, BIQUAD_PARAM_Q, 1.0f, 1, 1.0f, 0},
        {BIQUAD_TYPE_BPF, BIQUAD_PARAM_Q, 0.05f, -1, 0.1f, BIQUAD_CHANGED_Q},
        {BIQUAD_TYPE_BPF, BIQUAD_PARAM_Q, 12.0f, -1, 10.0f, BIQUAD_CHANGED_Q},
        {BIQUAD_TYPE_BPF, BIQUAD_PARAM_Q, nan, -1, 0.1f, BIQUAD_CHANGED_Q},
        {BIQUAD_TYPE_BPF, BIQUAD_PARAM_Q, 0.7071f, 1, 0.7071f, BIQUAD_CHANGED_Q},
        {BIQUAD_TYPE_PKF, BIQUAD_PARAM_GAIN, 0.0f, 1, 0.0f, 0},
        {BIQUAD_TYPE_PKF, BIQUAD_PARAM_GAIN, 18.0f, 1, 18.0f, BIQUAD_CHANGED_GAIN},
        {BIQUAD_TYPE_PKF, BIQUAD_PARAM_GAIN, 30.0f, -1, 18.0f, BIQUAD_CHANGED_GAIN},
        {BIQUAD_TYPE_PKF, BIQUAD_PARAM_GAIN, -50.0f, -1, -40.0f, BIQUAD_CHANGED_GAIN},
        {BIQUAD_TYPE_PKF, BIQUAD_PARAM_GAIN, nan, -1, -40.0f, BIQUAD_CHANGED_GAIN},
        {BIQUAD_TYPE_LPF2R, BIQUAD_PARAM_GAIN, 30.0f, 1, 30.0f, BIQUAD_CHANGED_GAIN},
        {BIQUAD_TYPE_LPF2R, BIQUAD_PARAM_GAIN, -5.0f, -1, -2.0f, BIQUAD_CHANGED_GAIN},
        {BIQUAD_TYPE_LPF2R, BIQUAD_PARAM_GAIN, nan, -1, -2.0f, BIQUAD_CHANGED_GAIN},
        {BIQUAD_TYPE_HPF2R, BIQUAD_PARAM_GAIN, inf, 1, inf, BIQUAD_CHANGED_GAIN},
        {BIQUAD_TYPE_HPF2R, BIQUAD_PARAM_Q, 20.0f, -1, 10.0f, BIQUAD_CHANGED_Q},
        {BIQUAD_TYPE_LPF2, BIQUAD_PARAM_COUNT, 1000.0f, 0, 0.0f, 0},
    }};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "type " << c.type << " index " << c.index << " value " << c.value);
        Section b = makeSection(8, BIQUAD_TOPO_DF1, c.type);
        EXPECT_EQ(biquad_setParam(b.get(), static_cast<biquad_param_index>(c.index), c.value), c.result);
        EXPECT_EQ(b->changeFlag, c.changeFlag);
        const float pending[3] = {b->fc_, b->Q_, b->gain_};
        const float defaults[3] = {100.0f, 1.0f, 0.0f};
        for (s32 i = 0; i < 3; ++i)
            EXPECT_EQ(pending[i], i == c.index ? c.stored : defaults[i]) << "param " << i;
    }
    EXPECT_EQ(biquad_setParam(nullptr, BIQUAD_PARAM_FC, 1000.0f), -1);
    Section b = makeSection(8, BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF2);
    EXPECT_EQ(biquad_setParam(b.get(), static_cast<biquad_param_index>(-1), 1000.0f), 0);
    EXPECT_EQ(b->changeFlag, 0u);
}

// The change bit compares with the value in use, which only a processed block updates.
TEST(BiquadSetParam, ComparesWithTheValueInUse) {
    Section b = makeSection(8, BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF2);
    std::array<audio24, 16> block{};
    EXPECT_EQ(biquad_setParam(b.get(), BIQUAD_PARAM_FC, 500.0f), 1);
    EXPECT_EQ(biquad_setParam(b.get(), BIQUAD_PARAM_GAIN, 3.0f), 1);
    EXPECT_EQ(b->changeFlag, BIQUAD_CHANGED_FC | BIQUAD_CHANGED_GAIN);
    biquad_process(b.get(), block.data(), block.data());
    EXPECT_EQ(b->changeFlag, 0u);
    EXPECT_EQ(b->fc, 500.0f);
    EXPECT_EQ(b->gain, 3.0f);
    biquad_setParam(b.get(), BIQUAD_PARAM_FC, 500.0f);
    EXPECT_EQ(b->changeFlag, 0u);
    biquad_setParam(b.get(), BIQUAD_PARAM_FC, 100.0f); // the old default differs from the value in use
    EXPECT_EQ(b->changeFlag, BIQUAD_CHANGED_FC);
}

// A value equal to the one in use triggers no recomputation: coefficients written by hand
// survive such a block, and the next real change overwrites them.
TEST(BiquadProcess, RecomputesOnlyAfterARealChange) {
    Section b = makeSection(8, BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF2);
    std::array<audio24, 16> block{};
    const float handMade[5] = {0.5f, 0.25f, 0.125f, 0.0f, 0.0f};
    biquad_setCoef(b.get(), handMade);
    biquad_setParam(b.get(), BIQUAD_PARAM_FC, 100.0f);
    biquad_setParam(b.get(), BIQUAD_PARAM_Q, 1.0f);
    biquad_process(b.get(), block.data(), block.data());
    EXPECT_EQ(b->coef.df1.b0, 0x4000000);
    EXPECT_EQ(b->coef.df1.b2, 0x1000000);
    biquad_setParam(b.get(), BIQUAD_PARAM_FC, 2000.0f);
    EXPECT_EQ(b->coef.df1.b0, 0x4000000) << "nothing changes before the next block";
    biquad_process(b.get(), block.data(), block.data());
    df1_coef expected{};
    ASSERT_TRUE(orv::biquadDesignDF1(2000.0f, 1.0f, 0.0f, 44100, BIQUAD_TYPE_LPF2, &expected));
    EXPECT_EQ(b->coef.df1.b0, expected.b0);
    EXPECT_EQ(b->coef.df1.a2, expected.a2);
}

// A parameter set between blocks takes effect for the whole next block, without interpolation,
// and the filter state runs on across the change.
TEST(BiquadProcess, ChangesTakeEffectAtTheNextBlock) {
    constexpr u32 kFrames = 32;
    const std::vector<audio24> in = randomBlock(4 * kFrames, 3, -(1 << 23), (1 << 23) - 1);
    for (biquad_topo topo : {BIQUAD_TOPO_DF1, BIQUAD_TOPO_NL}) {
        SCOPED_TRACE(topo);
        Section b = makeSection(kFrames, topo, BIQUAD_TYPE_LPF2);
        biquad_setParam(b.get(), BIQUAD_PARAM_FC, 3000.0f);
        std::vector<audio24> out(4 * kFrames);
        biquad_process(b.get(), in.data(), out.data());

        // The state after the first block, with the coefficients of the new setting.
        biquad carried = *b;
        Section probe = makeSection(kFrames, topo, BIQUAD_TYPE_LPF2);
        biquad_setParam(probe.get(), BIQUAD_PARAM_FC, 700.0f);
        biquad_process(probe.get(), in.data(), out.data() + 2 * kFrames);
        carried.coef = probe->coef;

        const biquad_coef before = b->coef;
        biquad_setParam(b.get(), BIQUAD_PARAM_FC, 700.0f);
        EXPECT_EQ(b->coef.df1.b0, before.df1.b0);
        biquad_process(b.get(), in.data() + 2 * kFrames, out.data() + 2 * kFrames);
        std::vector<audio24> expected(2 * kFrames);
        biquad_process(&carried, in.data() + 2 * kFrames, expected.data());
        EXPECT_EQ(std::vector<audio24>(out.begin() + 2 * kFrames, out.end()), expected);
        EXPECT_EQ(b->fc, 700.0f);
    }
}

// One call of frameSize frames equals frameSize/8 calls of 8 frames; in-place processing
// equals separate buffers.
TEST(BiquadProcess, BlockSizeAndInPlaceDoNotMatter) {
    const std::vector<audio24> in = randomBlock(2 * 128, 4, -(1 << 23), (1 << 23) - 1);
    struct Case {
        biquad_topo topo;
        biquad_type type;
    };
    constexpr std::array<Case, 8> cases{{
        {BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF1},
        {BIQUAD_TOPO_DF1, BIQUAD_TYPE_PKF},
        {BIQUAD_TOPO_DF1, BIQUAD_TYPE_HPF2R},
        {BIQUAD_TOPO_NL, BIQUAD_TYPE_HSF1},
        {BIQUAD_TOPO_NL, BIQUAD_TYPE_AP1},
        {BIQUAD_TOPO_NL, BIQUAD_TYPE_AP2},
        {BIQUAD_TOPO_NL, BIQUAD_TYPE_PKF},
        {BIQUAD_TOPO_NL, BIQUAD_TYPE_LSF2},
    }};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << "topo " << c.topo << " type " << c.type);
        auto configure = [&c](biquad *b) {
            biquad_setParam(b, BIQUAD_PARAM_FC, 1500.0f);
            biquad_setParam(b, BIQUAD_PARAM_Q, 2.0f);
            biquad_setParam(b, BIQUAD_PARAM_GAIN, 6.0f);
        };
        Section whole = makeSection(128, c.topo, c.type);
        Section pieces = makeSection(8, c.topo, c.type);
        configure(whole.get());
        configure(pieces.get());
        std::vector<audio24> a(in.size()), p(in.size()), inPlace = in;
        biquad_process(whole.get(), in.data(), a.data());
        for (std::size_t off = 0; off < in.size(); off += 16)
            biquad_process(pieces.get(), in.data() + off, p.data() + off);
        EXPECT_EQ(a, p);
        Section third = makeSection(128, c.topo, c.type);
        configure(third.get());
        biquad_process(third.get(), inPlace.data(), inPlace.data());
        EXPECT_EQ(a, inPlace);
    }
}

// Left and right are filtered independently and alike.
TEST(BiquadProcess, ChannelsAreIndependent) {
    constexpr u32 kFrames = 64;
    for (biquad_topo topo : {BIQUAD_TOPO_DF1, BIQUAD_TOPO_NL}) {
        for (biquad_type type : {BIQUAD_TYPE_HPF1, BIQUAD_TYPE_LSF2}) {
            SCOPED_TRACE(::testing::Message() << "topo " << topo << " type " << type);
            std::vector<audio24> left(2 * kFrames, 0), right(2 * kFrames, 0);
            left[0] = 1 << 22;
            right[1] = 1 << 22;
            Section a = makeSection(kFrames, topo, type), b = makeSection(kFrames, topo, type);
            for (biquad *s : {a.get(), b.get()}) {
                biquad_setParam(s, BIQUAD_PARAM_FC, 2000.0f);
                biquad_setParam(s, BIQUAD_PARAM_GAIN, -9.0f);
            }
            std::vector<audio24> outL(2 * kFrames), outR(2 * kFrames);
            biquad_process(a.get(), left.data(), outL.data());
            biquad_process(b.get(), right.data(), outR.data());
            for (u32 i = 0; i < kFrames; ++i) {
                EXPECT_EQ(outL[2 * i + 1], 0) << i;
                EXPECT_EQ(outR[2 * i], 0) << i;
                EXPECT_EQ(outL[2 * i], outR[2 * i + 1]) << i;
            }
            EXPECT_NE(outL[2], 0);
        }
    }
}

// Second-order output carries the quarter-scale state shifted back: always a multiple of 4.
TEST(BiquadProcess, SecondOrderOutputIsAMultipleOfFour) {
    const std::vector<audio24> in = randomBlock(2 * 256, 5, -(1 << 23), (1 << 23) - 1);
    for (biquad_type type :
         {BIQUAD_TYPE_BPF, BIQUAD_TYPE_AP2, BIQUAD_TYPE_PKF, BIQUAD_TYPE_HSF2, BIQUAD_TYPE_LPF2R}) {
        Section b = makeSection(256, BIQUAD_TOPO_DF1, type);
        biquad_setParam(b.get(), BIQUAD_PARAM_FC, 3333.0f);
        biquad_setParam(b.get(), BIQUAD_PARAM_GAIN, 5.0f);
        std::vector<audio24> out(in.size());
        biquad_process(b.get(), in.data(), out.data());
        for (audio24 y : out) ASSERT_EQ(y % 4, 0) << "type " << type;
    }
}

// Direct-form-I HSF1 and LSF1 are pass-through designs whatever their parameters.
TEST(BiquadProcess, FirstOrderShelvesPassThroughInDirectForm) {
    const std::vector<audio24> in = randomBlock(2 * 64, 6, -(1 << 23), (1 << 23) - 1);
    for (biquad_type type : {BIQUAD_TYPE_HSF1, BIQUAD_TYPE_LSF1}) {
        Section b = makeSection(64, BIQUAD_TOPO_DF1, type);
        biquad_setParam(b.get(), BIQUAD_PARAM_FC, 1234.0f);
        biquad_setParam(b.get(), BIQUAD_PARAM_Q, 5.0f);
        biquad_setParam(b.get(), BIQUAD_PARAM_GAIN, 12.0f);
        std::vector<audio24> out(in.size());
        biquad_process(b.get(), in.data(), out.data());
        EXPECT_EQ(out, in) << "type " << type;
        EXPECT_EQ(b->fc, 1234.0f);
    }
}

// The kernels' difference equations, with coefficients and inputs whose products are exact so
// that every output word is known: y = b0 x + b1 x1 + b2 x2 + a1 y1 + a2 y2 (a1, a2 as stored).
TEST(BiquadKernels, DirectFormDifferenceEquations) {
    struct Case {
        biquad_type type; // selects the first- or second-order kernel
        std::array<float, 5> coef;
    };
    constexpr std::array<Case, 4> cases{{
        {BIQUAD_TYPE_LPF1, {0.5f, 0.25f, 0.0f, 0.5f, 0.0f}},
        {BIQUAD_TYPE_HPF1, {-1.0f, 2.0f, 0.0f, -0.75f, 0.0f}},
        {BIQUAD_TYPE_LPF2, {0.5f, 0.25f, 0.125f, 0.5f, -0.25f}},
        {BIQUAD_TYPE_PKF, {2.0f, -1.0f, 0.5f, 1.0f, -0.5f}},
    }};
    constexpr u32 kFrames = 16;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.type);
        Section b = makeSection(kFrames, BIQUAD_TOPO_DF1, c.type);
        biquad_setCoef(b.get(), c.coef.data());
        std::vector<audio24> in(2 * kFrames, 0), out(2 * kFrames);
        in[0] = 1 << 20;    // left impulse
        in[3] = -(1 << 19); // right impulse one frame later
        biquad_process(b.get(), in.data(), out.data());
        for (int ch = 0; ch < 2; ++ch) {
            double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
            for (u32 n = 0; n < 10; ++n) {
                const double x = in[2 * n + ch];
                const double y =
                    c.coef[0] * x + c.coef[1] * x1 + c.coef[2] * x2 + c.coef[3] * y1 + c.coef[4] * y2;
                ASSERT_EQ(y, std::floor(y / 4) * 4) << "the case must keep every product exact";
                EXPECT_EQ(out[2 * n + ch], static_cast<audio24>(y)) << "channel " << ch << " n " << n;
                x2 = x1, x1 = x, y2 = y1, y1 = y;
            }
        }
    }
}

// State words: first order x1 in d[0], d[1] and y1 in d[4], d[5]; second order q1, q2, w1, w2 in
// pairs d[0..7], at quarter scale.
TEST(BiquadKernels, StateLayout) {
    std::array<audio24, 16> in{};
    std::array<audio24, 16> out{};
    in[14] = 4000;
    in[15] = -8000;
    Section first = makeSection(8, BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF1);
    const float half[5] = {0.5f, 0.0f, 0.0f, 0.0f, 0.0f};
    biquad_setCoef(first.get(), half);
    biquad_process(first.get(), in.data(), out.data());
    EXPECT_EQ(first->d[0], 4000);
    EXPECT_EQ(first->d[1], -8000);
    EXPECT_EQ(first->d[4], 2000);
    EXPECT_EQ(first->d[5], -4000);

    Section second = makeSection(8, BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF2);
    biquad_setCoef(second.get(), half);
    in[12] = 400;
    in[13] = -800;
    biquad_process(second.get(), in.data(), out.data());
    const std::array<audio24, 8> expected{1000, -2000, 100, -200, 500, -1000, 50, -100};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(second->d[i], expected[i]) << "d[" << i << "]";
}

TEST(BiquadReset, ClearsStateKeepsCoefficientsAndParameters) {
    const std::vector<audio24> noise = randomBlock(2 * 32, 7, -(1 << 22), 1 << 22);
    std::vector<audio24> impulse(2 * 32, 0), fresh(2 * 32), afterReset(2 * 32), scratch(2 * 32);
    impulse[0] = 1 << 21;
    for (biquad_topo topo : {BIQUAD_TOPO_DF1, BIQUAD_TOPO_NL}) {
        Section used = makeSection(32, topo, BIQUAD_TYPE_HSF2),
                clean = makeSection(32, topo, BIQUAD_TYPE_HSF2);
        for (biquad *s : {used.get(), clean.get()}) {
            biquad_setParam(s, BIQUAD_PARAM_FC, 5000.0f);
            biquad_setParam(s, BIQUAD_PARAM_GAIN, 9.0f);
        }
        biquad_process(used.get(), noise.data(), scratch.data());
        const biquad_coef coef = used->coef;
        biquad_reset(used.get());
        for (audio24 w : used->d) EXPECT_EQ(w, 0);
        EXPECT_EQ(used->fc, 5000.0f);
        EXPECT_EQ(used->gain, 9.0f);
        EXPECT_EQ(used->coef.nl.v0, coef.nl.v0);
        biquad_process(used.get(), impulse.data(), afterReset.data());
        biquad_process(clean.get(), impulse.data(), fresh.data());
        EXPECT_EQ(afterReset, fresh) << "topo " << topo;
    }
    biquad_reset(nullptr);
}

TEST(BiquadSetCoef, WritesTruncatedWordsOrNothing) {
    Section b = makeSection(8, BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF2);
    biquad_setParam(b.get(), BIQUAD_PARAM_FC, 900.0f);
    const float values[5] = {0.5f, -0.25f, 1.0f / 3.0f, -1.0f / 3.0f, 15.5f};
    biquad_setCoef(b.get(), values);
    EXPECT_EQ(b->coef.df1.b0, 0x4000000);
    EXPECT_EQ(b->coef.df1.b1, -0x2000000);
    EXPECT_EQ(b->coef.df1.b2, 44739244); // float 1/3 is 11184811 / 2^25
    EXPECT_EQ(b->coef.df1.a1, -44739244);
    EXPECT_EQ(b->coef.df1.a2, 0x7C000000);
    EXPECT_EQ(b->changeFlag, BIQUAD_CHANGED_FC) << "the pending change stays";

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::array<std::array<float, 5>, 3> refused{{
        {0.0f, 0.0f, 0.0f, 0.0f, 16.0f},
        {nan, 0.0f, 0.0f, 0.0f, 0.0f},
        {0.0f, -16.5f, 0.0f, 0.0f, 0.0f},
    }};
    for (const auto &r : refused) {
        biquad_setCoef(b.get(), r.data());
        EXPECT_EQ(b->coef.df1.b0, 0x4000000);
        EXPECT_EQ(b->coef.df1.a2, 0x7C000000);
    }
    biquad_setCoef(b.get(), nullptr);
    biquad_setCoef(nullptr, values);

    std::array<audio24, 16> block{};
    biquad_process(b.get(), block.data(), block.data());
    EXPECT_NE(b->coef.df1.b0, 0x4000000) << "a pending change overwrites hand-made coefficients";

    Section lattice = makeSection(8, BIQUAD_TOPO_NL, BIQUAD_TYPE_LPF2);
    biquad_setCoef(lattice.get(), values);
    EXPECT_EQ(lattice->coef.nl.g, 0x4000000);
    EXPECT_EQ(lattice->coef.nl.c2, 0x7C000000);
    EXPECT_EQ(lattice->coef.nl.v2, 0x8000000) << "only the first five words";
}

TEST(BiquadNullArguments, AreIgnored) {
    std::array<audio24, 16> block{};
    biquad_process(nullptr, block.data(), block.data());
    Section b = makeSection(8, BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF2);
    biquad_setParam(b.get(), BIQUAD_PARAM_FC, 1000.0f);
    biquad_process(b.get(), nullptr, block.data());
    biquad_process(b.get(), block.data(), nullptr);
    EXPECT_EQ(b->changeFlag, BIQUAD_CHANGED_FC);
    EXPECT_EQ(biquad_destroy(nullptr), nullptr);
    EXPECT_EQ(biquad_destroy(b.release()), nullptr);
}

} // namespace
