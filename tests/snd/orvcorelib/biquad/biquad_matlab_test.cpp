// The text description of a section for a numerical workspace.
#include "biquad/biquad.h"
#include "biquad/biquad_kernels.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

namespace {

struct MatlabCase {
    biquad_topo topo;
    biquad_type type;
    float fc, Q, gain;
    const char *text;
};

const std::array<MatlabCase, 9> kCases{{
    {BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF2, 1000.0f, 0.7071f, 0.0f,
     "b = [0.004604 0.009208 0.004604]; a = [1.0 -1.799095 0.817511];"},
    {BIQUAD_TOPO_DF1, BIQUAD_TYPE_PKF, 2000.0f, 2.0f, -6.0f,
     "b = [0.954955 -1.746023 0.864435]; a = [1.0 -1.746023 0.819389];"},
    {BIQUAD_TOPO_DF1, BIQUAD_TYPE_HSF1, 1000.0f, 1.0f, 6.0f,
     "b = [1.000000 0.000000 0.000000]; a = [1.0 0.000000 0.000000];"},
    {BIQUAD_TOPO_NL, BIQUAD_TYPE_AP1, 2000.0f, 1.0f, 0.0f, "k = [-0.749096];\nHd = dfilt.latticeallpass(k);"},
    {BIQUAD_TOPO_NL, BIQUAD_TYPE_AP2, 2000.0f, 1.0f, 0.0f,
     "k = [-0.959675 0.753531];\nHd = dfilt.latticeallpass(k);"},
    {BIQUAD_TOPO_NL, BIQUAD_TYPE_LPF1, 2000.0f, 1.0f, 0.0f,
     "g = 0.000000; k = [-0.749096];\nHap = dfilt.latticeallpass(k);\nHscale1 = dfilt.scalar((1+g)/2);\n"
     "Hscale2 = dfilt.scalar((1-g)/2);\nHd = dfilt.parallel(Hscale1, dfilt.cascade(Hscale2, Hap));"},
    {BIQUAD_TOPO_NL, BIQUAD_TYPE_LSF1, 2000.0f, 1.0f, 6.0f,
     "g = 1.995262; k = [-0.749096];\nHap = dfilt.latticeallpass(k);\nHscale1 = dfilt.scalar((1+g)/2);\n"
     "Hscale2 = dfilt.scalar(-(1-g)/2);\nHd = dfilt.parallel(Hscale1, dfilt.cascade(Hscale2, Hap));"},
    {BIQUAD_TOPO_NL, BIQUAD_TYPE_PKF, 2000.0f, 1.0f, 6.0f,
     "g = 1.995262; k = [-0.959675 0.672202];\nHap = dfilt.latticeallpass(k);\nHscale1 = "
     "dfilt.scalar((1+g)/2);\n"
     "Hscale2 = dfilt.scalar((1-g)/2);\nHd = dfilt.parallel(Hscale1, dfilt.cascade(Hscale2, Hap));"},
    {BIQUAD_TOPO_NL, BIQUAD_TYPE_LPF2, 1000.0f, 0.7071f, 0.0f,
     "k = [-0.989867 0.817511]; v = [0.031522 0.017491 0.004604];\nHd = dfilt.latticearma(k,v);"},
}};

biquad *configured(const MatlabCase &c) {
    biquad *b = biquad_new(8, c.topo, c.type, 44100);
    biquad_setParam(b, BIQUAD_PARAM_FC, c.fc);
    biquad_setParam(b, BIQUAD_PARAM_Q, c.Q);
    biquad_setParam(b, BIQUAD_PARAM_GAIN, c.gain);
    return b;
}

// The description comes from the pending values, which become the values in use while the
// change bits stay for the next block.
TEST(BiquadMatlab, DescribesThePendingDesign) {
    for (const auto &c : kCases) {
        SCOPED_TRACE(::testing::Message() << "topo " << c.topo << " type " << c.type);
        biquad *b = configured(c);
        const u32 pendingBits = b->changeFlag;
        char text[512];
        biquad_getMatlabString(b, text, sizeof text);
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(b->fc, c.fc);
        EXPECT_EQ(b->Q, c.Q);
        EXPECT_EQ(b->gain, c.gain);
        EXPECT_EQ(b->changeFlag, pendingBits);
        biquad_destroy(b);
    }
}

TEST(BiquadMatlab, UnselectedKernelAndUnknownTopology) {
    biquad *b = configured(kCases[7]);
    b->procFun = orv::_process8_NL_2n_allpass; // the minus form no type selects
    char text[512];
    biquad_getMatlabString(b, text, sizeof text);
    EXPECT_STREQ(text, "g = 1.995262; k = [-0.959675 0.672202];\nHap = dfilt.latticeallpass(k);\n"
                       "Hscale1 = dfilt.scalar((1+g)/2);\nHscale2 = dfilt.scalar(-(1-g)/2);\n"
                       "Hd = dfilt.parallel(Hscale1, dfilt.cascade(Hscale2, Hap));");
    b->topo = static_cast<biquad_topo>(7);
    biquad_getMatlabString(b, text, sizeof text);
    EXPECT_STREQ(text, "I don't know how to represent biquad_topo==7\n");
    biquad_destroy(b);
}

TEST(BiquadMatlab, StaysWithinTheBuffer) {
    biquad *b = configured(kCases[0]);
    std::array<char, 12> text;
    text.fill('#');
    biquad_getMatlabString(b, text.data(), 10);
    EXPECT_STREQ(text.data(), "b = [0.00");
    EXPECT_EQ(text[10], '#');
    text.fill('#');
    biquad_getMatlabString(b, text.data(), 0);
    EXPECT_EQ(text[0], '#');
    biquad_getMatlabString(b, nullptr, 10);
    biquad_getMatlabString(nullptr, text.data(), text.size());
    EXPECT_EQ(text[0], '#');
    biquad_destroy(b);
}

} // namespace
