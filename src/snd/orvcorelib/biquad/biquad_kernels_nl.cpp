// Normalised-lattice kernels: 8 stereo frames per call, left and right with their own state,
// truncating Q4.27 products, results wrapping in 32 bits.
#include "biquad/biquad_kernels.h"

#include "orvsys/orvfixed.h"

#include <array>

namespace orv {
namespace {

struct LatticeState {
    audio24 s1, s2;
};

template <typename Step>
inline void runLattice8(audio24 *out, const audio24 *in, audio24 *d, Step step) {
    LatticeState left{d[0], d[2]};
    LatticeState right{d[1], d[3]};
    for (int i = 0; i < 16; i += 2) {
        out[i] = step(in[i], left);
        out[i + 1] = step(in[i + 1], right);
    }
    d[0] = left.s1;
    d[1] = right.s1;
    d[2] = left.s2;
    d[3] = right.s2;
}

// First-order lattice allpass: (k1 + z^-1) / (1 + k1 z^-1).
inline audio24 allpass1(const nl_coef &c, audio24 x, LatticeState &s) {
    const audio24 y = wrapAdd32(mulQ27(c.c1, s.s1), mulQ27(c.k1, x));
    s.s1 = wrapSub32(mulQ27(c.c1, x), mulQ27(c.k1, s.s1));
    return y;
}

// The signals of the two nested lattice stages: the inner stage's allpass output u, its new
// state s1, and the outer stage's allpass output t.
struct LatticeTaps {
    audio24 u, s1, t;
};

inline LatticeTaps lattice2(const nl_coef &c, audio24 x, LatticeState &s) {
    const audio24 f = wrapSub32(mulQ27(c.c2, x), mulQ27(c.k2, s.s2));
    LatticeTaps taps{};
    taps.u = wrapAdd32(mulQ27(c.k1, f), mulQ27(c.c1, s.s1));
    taps.s1 = wrapSub32(mulQ27(c.c1, f), mulQ27(c.k1, s.s1));
    taps.t = wrapAdd32(mulQ27(c.c2, s.s2), mulQ27(c.k2, x));
    s.s2 = taps.u;
    s.s1 = taps.s1;
    return taps;
}

inline audio24 allpass2(const nl_coef &c, audio24 x, LatticeState &s) {
    return lattice2(c, x, s).t;
}

// ((1 + g)/2) x + ((1 - g)/2) a.
inline audio24 mixPlus(coef_t g, audio24 x, audio24 a) {
    return wrapAdd32(mulQ27(g >> 1, wrapSub32(x, a)), wrapAdd32(a, x) >> 1);
}
// ((1 + g)/2) x - ((1 - g)/2) a.
inline audio24 mixMinus(coef_t g, audio24 x, audio24 a) {
    return wrapAdd32(mulQ27(g >> 1, wrapAdd32(x, a)), wrapSub32(x, a) >> 1);
}

} // namespace

void _process8_NL_1_allpass(audio24 *out, const audio24 *in, const biquad_coef *coef, audio24 *d) {
    const nl_coef c = coef->nl;
    runLattice8(out, in, d, [&c](audio24 x, LatticeState &s) { return allpass1(c, x, s); });
}

void _process8_NL_1p_allpass(audio24 *out, const audio24 *in, const biquad_coef *coef, audio24 *d) {
    const nl_coef c = coef->nl;
    runLattice8(out, in, d, [&c](audio24 x, LatticeState &s) { return mixPlus(c.g, x, allpass1(c, x, s)); });
}

void _process8_NL_1n_allpass(audio24 *out, const audio24 *in, const biquad_coef *coef, audio24 *d) {
    const nl_coef c = coef->nl;
    runLattice8(out, in, d, [&c](audio24 x, LatticeState &s) { return mixMinus(c.g, x, allpass1(c, x, s)); });
}

void _process8_NL_2_allpass(audio24 *out, const audio24 *in, const biquad_coef *coef, audio24 *d) {
    const nl_coef c = coef->nl;
    runLattice8(out, in, d, [&c](audio24 x, LatticeState &s) { return allpass2(c, x, s); });
}

void _process8_NL_2p_allpass(audio24 *out, const audio24 *in, const biquad_coef *coef, audio24 *d) {
    const nl_coef c = coef->nl;
    runLattice8(out, in, d, [&c](audio24 x, LatticeState &s) { return mixPlus(c.g, x, allpass2(c, x, s)); });
}

void _process8_NL_2n_allpass(audio24 *out, const audio24 *in, const biquad_coef *coef, audio24 *d) {
    const nl_coef c = coef->nl;
    runLattice8(out, in, d, [&c](audio24 x, LatticeState &s) { return mixMinus(c.g, x, allpass2(c, x, s)); });
}

void _process8_NL_2(audio24 *out, const audio24 *in, const biquad_coef *coef, audio24 *d) {
    const nl_coef c = coef->nl;
    runLattice8(out, in, d, [&c](audio24 x, LatticeState &s) {
        const LatticeTaps taps = lattice2(c, x, s);
        return wrapAdd32(wrapAdd32(mulQ27(c.v1, taps.u), mulQ27(c.v0, taps.s1)), mulQ27(c.v2, taps.t));
    });
}

biquad_procFun biquadKernelNL(biquad_type type) {
    constexpr std::array<biquad_procFun, BIQUAD_TYPE_COUNT> kernels{
        _process8_NL_1p_allpass, // LPF1
        _process8_NL_1n_allpass, // HPF1
        _process8_NL_2,          // BPF
        _process8_NL_1_allpass,  // AP1
        _process8_NL_2_allpass,  // AP2
        _process8_NL_2p_allpass, // PKF
        _process8_NL_1p_allpass, // HSF1
        _process8_NL_1n_allpass, // LSF1
        _process8_NL_2,          // LPF2
        _process8_NL_2,          // HPF2
        _process8_NL_2,          // HSF2
        _process8_NL_2,          // LSF2
        nullptr,                 // LPF2R
        nullptr,                 // HPF2R
    };
    if (type < 0 || type >= BIQUAD_TYPE_COUNT) return nullptr;
    return kernels[static_cast<std::size_t>(type)];
}

} // namespace orv
