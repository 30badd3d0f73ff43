// Biquad section life cycle: creation, parameters, block processing and state.
#include "biquad/biquad.h"
#include "biquad/biquad_kernels.h"
#include "biquad/q27calc.h"

#include <new>

namespace {

constexpr float kDefaultFc = 100.0f;
constexpr float kDefaultQ = 1.0f;
constexpr float kDefaultGain = 0.0f;

struct ParamRange {
    float lo, hi;
    bool hasCeiling;
};

// Where a parameter's pending value goes, the value in use it is compared with, its change bit.
struct ParamSlot {
    float *pending;
    float inUse;
    u32 changeBit;
};

bool isResonant(biquad_type type) {
    return type == BIQUAD_TYPE_LPF2R || type == BIQUAD_TYPE_HPF2R;
}

ParamRange rangeOf(biquad_param_index index, biquad_type type) {
    switch (index) {
    case BIQUAD_PARAM_FC:
        return {20.0f, 20000.0f, true};
    case BIQUAD_PARAM_Q:
        return {0.1f, 10.0f, true};
    default:
        return isResonant(type) ? ParamRange{-2.0f, 0.0f, false} : ParamRange{-40.0f, 18.0f, true};
    }
}

// Clamps value into range; NaN, failing every comparison, takes the lower bound.
// Returns whether the value had to change.
bool clampInto(const ParamRange &range, float &value) {
    if (!(value >= range.lo)) {
        value = range.lo;
        return true;
    }
    if (range.hasCeiling && value > range.hi) {
        value = range.hi;
        return true;
    }
    return false;
}

void setPassThrough(biquad &b) {
    if (b.topo == BIQUAD_TOPO_DF1) {
        b.coef.df1 = df1_coef{BIQUAD_COEF_ONE, 0, 0, 0, 0};
    } else {
        b.coef.nl = nl_coef{BIQUAD_COEF_ONE, 0, 0, BIQUAD_COEF_ONE, 0, 0, 0, BIQUAD_COEF_ONE};
    }
}

} // namespace

namespace orv {

bool biquadApplyPending(biquad &b) {
    if (b.calcFun == nullptr || !b.calcFun(b.fc_, b.Q_, b.gain_, b.sampleRate, b.type, &b.coef)) return false;
    b.fc = b.fc_;
    b.Q = b.Q_;
    b.gain = b.gain_;
    return true;
}

} // namespace orv

biquad *biquad_new(u32 frameSize, biquad_topo topo, biquad_type type, u32 sampleRate) {
    if (frameSize % 8 != 0) return nullptr;
    biquad_procFun kernel = nullptr;
    biquad_calcFun calc = nullptr;
    if (topo == BIQUAD_TOPO_DF1) {
        kernel = orv::biquadKernelDF1(type);
        calc = orv::_calcCoef_DF1;
    } else if (topo == BIQUAD_TOPO_NL) {
        kernel = orv::biquadKernelNL(type);
        calc = orv::_calcCoef_NL;
    }
    if (kernel == nullptr) return nullptr; // unknown topology or type, or no lattice form

    biquad *b = new (std::nothrow) biquad{};
    if (b == nullptr) return nullptr;
    b->frameSize = frameSize;
    b->sampleRate = sampleRate;
    b->fc = b->fc_ = kDefaultFc;
    b->Q = b->Q_ = kDefaultQ;
    b->gain = b->gain_ = kDefaultGain;
    b->topo = topo;
    b->type = type;
    setPassThrough(*b);
    b->calcFun = calc;
    b->procFun = kernel;
    return b;
}

s32 biquad_setParam(biquad *b, biquad_param_index index, float value) {
    if (b == nullptr) return -1;
    ParamSlot slot{};
    switch (index) {
    case BIQUAD_PARAM_FC:
        slot = {&b->fc_, b->fc, BIQUAD_CHANGED_FC};
        break;
    case BIQUAD_PARAM_Q:
        slot = {&b->Q_, b->Q, BIQUAD_CHANGED_Q};
        break;
    case BIQUAD_PARAM_GAIN:
        slot = {&b->gain_, b->gain, BIQUAD_CHANGED_GAIN};
        break;
    default:
        return 0;
    }
    const bool clamped = clampInto(rangeOf(index, b->type), value);
    *slot.pending = value;
    if (value != slot.inUse) b->changeFlag |= slot.changeBit;
    return clamped ? -1 : 1;
}

void biquad_process(biquad *b, const audio24 *in, audio24 *out) {
    if (b == nullptr || in == nullptr || out == nullptr) return;
    if (b->changeFlag != 0) orv::biquadApplyPending(*b);
    if (b->procFun != nullptr) {
        for (u32 block = 0; block < b->frameSize / 8; ++block) {
            b->procFun(out, in, &b->coef, b->d);
            in += 16;
            out += 16;
        }
    }
    b->changeFlag = 0;
}

void biquad_reset(biquad *b) {
    if (b == nullptr) return;
    for (audio24 &word : b->d) word = 0;
}

void biquad_setCoef(biquad *b, const float *values) {
    if (b == nullptr || values == nullptr) return;
    orv::Q27Calc m;
    coef_t w[5];
    for (int i = 0; i < 5; ++i) w[i] = m.toCoef(values[i]);
    if (!m.ok()) return;
    if (b->topo == BIQUAD_TOPO_DF1) {
        b->coef.df1 = df1_coef{w[0], w[1], w[2], w[3], w[4]};
        return;
    }
    nl_coef &nl = b->coef.nl; // the first five words of the lattice layout
    nl.g = w[0];
    nl.k1 = w[1];
    nl.c1 = w[2];
    nl.k2 = w[3];
    nl.c2 = w[4];
}

biquad *biquad_destroy(biquad *b) {
    delete b;
    return nullptr;
}
