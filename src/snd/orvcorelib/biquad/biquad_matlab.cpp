// Text description of a section for a numerical workspace, a debugging aid.
#include "biquad/biquad.h"
#include "biquad/biquad_kernels.h"

#include <cstdio>

namespace {

double real(s64 word) {
    return static_cast<double>(word) / 134217728.0;
}

void describeDF1(const df1_coef &c, char *buffer, std::size_t len) {
    // a1 and a2 are stored negated; the description shows the true denominator.
    std::snprintf(buffer, len, "b = [%f %f %f]; a = [1.0 %f %f];", real(c.b0), real(c.b1), real(c.b2),
                  real(-s64{c.a1}), real(-s64{c.a2}));
}

constexpr const char *kMixedFirst = "g = %f; k = [%f];\nHap = dfilt.latticeallpass(k);\n"
                                    "Hscale1 = dfilt.scalar((1+g)/2);\nHscale2 = dfilt.scalar(%s(1-g)/2);\n"
                                    "Hd = dfilt.parallel(Hscale1, dfilt.cascade(Hscale2, Hap));";
constexpr const char *kMixedSecond = "g = %f; k = [%f %f];\nHap = dfilt.latticeallpass(k);\n"
                                     "Hscale1 = dfilt.scalar((1+g)/2);\nHscale2 = dfilt.scalar(%s(1-g)/2);\n"
                                     "Hd = dfilt.parallel(Hscale1, dfilt.cascade(Hscale2, Hap));";

// Returns false when the kernel has no description.
bool describeNL(biquad_procFun kernel, const nl_coef &c, char *buffer, std::size_t len) {
    using namespace orv;
    if (kernel == _process8_NL_1_allpass) {
        std::snprintf(buffer, len, "k = [%f];\nHd = dfilt.latticeallpass(k);", real(c.k1));
    } else if (kernel == _process8_NL_2_allpass) {
        std::snprintf(buffer, len, "k = [%f %f];\nHd = dfilt.latticeallpass(k);", real(c.k1), real(c.k2));
    } else if (kernel == _process8_NL_1p_allpass || kernel == _process8_NL_1n_allpass) {
        const char *sign = kernel == _process8_NL_1n_allpass ? "-" : "";
        std::snprintf(buffer, len, kMixedFirst, real(c.g), real(c.k1), sign);
    } else if (kernel == _process8_NL_2p_allpass || kernel == _process8_NL_2n_allpass) {
        const char *sign = kernel == _process8_NL_2n_allpass ? "-" : "";
        std::snprintf(buffer, len, kMixedSecond, real(c.g), real(c.k1), real(c.k2), sign);
    } else if (kernel == _process8_NL_2) {
        std::snprintf(buffer, len, "k = [%f %f]; v = [%f %f %f];\nHd = dfilt.latticearma(k,v);", real(c.k1),
                      real(c.k2), real(c.v0) * real(c.c1), real(c.v1) * real(c.c2), real(c.v2));
    } else {
        return false;
    }
    return true;
}

} // namespace

void biquad_getMatlabString(biquad *b, char *buffer, std::size_t len) {
    if (b == nullptr || buffer == nullptr) return;
    orv::biquadApplyPending(*b);
    if (b->topo == BIQUAD_TOPO_DF1) {
        describeDF1(b->coef.df1, buffer, len);
        return;
    }
    if (b->topo == BIQUAD_TOPO_NL && describeNL(b->procFun, b->coef.nl, buffer, len)) return;
    std::snprintf(buffer, len, "I don't know how to represent biquad_topo==%i\n", static_cast<int>(b->topo));
}
