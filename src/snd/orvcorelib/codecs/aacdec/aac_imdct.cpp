// Inverse transform: DCT-IV through a complex FFT of half the size with pre- and
// post-twiddle, then windowing and overlap-add down to 16-bit samples.
#include "codecs/aacdec/aac_internal.h"
#include "orvsys/orvfixed.h"

#include <array>
#include <cstring>

namespace aacdec {

namespace {

// The FFT input is brought to this many guard bits: a 512-point FFT grows by at most 9 bits
// and the complex rotations by half a bit more, so nothing can overflow.
constexpr int kFftGuardBits = 11;
// Output samples carry three fraction bits until the final rounding.
constexpr int kOutFracBits = 3;

template <int N>
constexpr std::array<u16, N> bitReverseTable() {
    std::array<u16, N> t{};
    int bits = 0;
    while ((1 << bits) < N) bits++;
    for (int i = 0; i < N; i++) {
        int r = 0;
        for (int b = 0; b < bits; b++) r |= ((i >> b) & 1) << (bits - 1 - b);
        t[i] = static_cast<u16>(r);
    }
    return t;
}

constexpr auto kBitRev512 = bitReverseTable<512>();
constexpr auto kBitRev64 = bitReverseTable<64>();

inline s32 mulRound31(s64 a) {
    return static_cast<s32>((a + (s64{1} << 30)) >> 31);
}

// x * w with a Q31 window value.
inline s32 win(s32 x, s32 w) {
    return mulRound31(static_cast<s64>(x) * w);
}

const s32 *longWindow(int shape) {
    return shape ? kKbdWindowLong : kSineWindowLong;
}
const s32 *shortWindow(int shape) {
    return shape ? kKbdWindowShort : kSineWindowShort;
}

// Rotates the pairs (x[2n], x[M-1-2n]) by the pre-twiddle into complex values in place,
// scaling by 2^up (negative: down).
void preTwiddle(s32 *x, int m, const s32 *tw, int up) {
    const int half = m / 2;
    auto rotate = [&](int n, s64 re, s64 im, s32 &outRe, s32 &outIm) {
        const s64 c = tw[2 * n];
        const s64 s = tw[2 * n + 1];
        outRe = mulRound31(re * c + im * s);
        outIm = mulRound31(im * c - re * s);
    };
    auto scaled = [up](s32 v) -> s64 {
        return up >= 0 ? static_cast<s64>(v) * (s64{1} << up) : static_cast<s64>(v) >> -up;
    };
    for (int n = 0; n < half / 2; n++) {
        const int k = half - 1 - n;
        const s64 a = scaled(x[2 * n]), b = scaled(x[m - 1 - 2 * n]);
        const s64 c = scaled(x[2 * k]), d = scaled(x[m - 1 - 2 * k]);
        rotate(n, a, b, x[2 * n], x[2 * n + 1]);
        rotate(k, c, d, x[2 * k], x[2 * k + 1]);
    }
}

// Rotates the FFT output by the post-twiddle and unfolds it into the DCT-IV order.
void postTwiddle(s32 *x, int m, const s32 *tw) {
    const int half = m / 2;
    for (int n = 0; n < half / 2; n++) {
        const int k = half - 1 - n;
        const s64 re0 = x[2 * n], im0 = x[2 * n + 1];
        const s64 re1 = x[2 * k], im1 = x[2 * k + 1];
        const s64 c0 = tw[2 * n], s0 = tw[2 * n + 1];
        const s64 c1 = tw[2 * k], s1 = tw[2 * k + 1];
        x[2 * n] = mulRound31(re0 * c0 + im0 * s0);
        x[m - 1 - 2 * n] = -mulRound31(im0 * c0 - re0 * s0);
        x[2 * k] = mulRound31(re1 * c1 + im1 * s1);
        x[m - 1 - 2 * k] = -mulRound31(im1 * c1 - re1 * s1);
    }
}

// y >> shift with rounding (negative shift: left, saturated).
void rescale(s32 *y, int n, int shift) {
    if (shift > 0) {
        const s64 round = s64{1} << (shift - 1);
        for (int i = 0; i < n; i++) y[i] = static_cast<s32>((y[i] + round) >> shift);
    } else if (shift < 0) {
        for (int i = 0; i < n; i++) y[i] = satSym32(static_cast<s64>(y[i]) * (s64{1} << -shift));
    }
}

// The IMDCT output sample j (0 .. 2M-1) of a DCT-IV result y of size m.
inline s32 unfold(const s32 *y, int m, int j) {
    const int h = m / 2;
    if (j < h) return y[h + j];
    if (j < m + h) return -y[m + h - 1 - j];
    return -y[j - m - h];
}

inline s16 toPcm(s64 v) {
    return orv::sat16((v + (1 << (kOutFracBits - 1))) >> kOutFracBits);
}

// The common long window: no flat parts, so the unfolding goes straight into the loops.
void windowOnlyLong(PSInfoBase &ps, const ICSInfo &ics, int chOut, const s32 *y, short *out, int stride) {
    s32 *overlap = ps.overlap[chOut];
    const s32 *rise = longWindow(ps.prevWinShape[chOut]);
    const s32 *fall = longWindow(ics.winShape);
    for (int n = 0; n < 512; n++) {
        const s32 first = win(y[512 + n], rise[n]);
        out[n * stride] = toPcm(static_cast<s64>(overlap[n]) + first);
        overlap[n] = -win(y[511 - n], fall[1023 - n]);
    }
    for (int n = 512; n < 1024; n++) {
        const s32 first = -win(y[1535 - n], rise[n]);
        out[n * stride] = toPcm(static_cast<s64>(overlap[n]) + first);
        overlap[n] = -win(y[n - 512], fall[1023 - n]);
    }
}

void windowLong(PSInfoBase &ps, const ICSInfo &ics, int chOut, const s32 *y, short *out, int stride) {
    if (ics.winSequence == kWinSeqOnlyLong) {
        windowOnlyLong(ps, ics, chOut, y, out, stride);
        return;
    }
    s32 *overlap = ps.overlap[chOut];
    const s32 *rise = longWindow(ps.prevWinShape[chOut]);
    const s32 *fall = longWindow(ics.winShape);
    const s32 *riseShort = shortWindow(ps.prevWinShape[chOut]);
    const s32 *fallShort = shortWindow(ics.winShape);
    const int seq = ics.winSequence;
    for (int n = 0; n < 1024; n++) {
        const s32 a = unfold(y, 1024, n);
        const s32 b = unfold(y, 1024, 1024 + n);
        s32 first;
        if (seq == kWinSeqLongStop) {
            first = n < 448 ? 0 : (n < 576 ? win(a, riseShort[n - 448]) : a);
        } else {
            first = win(a, rise[n]);
        }
        s32 second;
        if (seq == kWinSeqLongStart) {
            second = n < 448 ? b : (n < 576 ? win(b, fallShort[127 - (n - 448)]) : 0);
        } else {
            second = win(b, fall[1023 - n]);
        }
        out[n * stride] = toPcm(static_cast<s64>(overlap[n]) + first);
        overlap[n] = second;
    }
}

void windowShort(PSInfoBase &ps, const ICSInfo &ics, int chOut, const s32 *y, short *out, int stride) {
    std::array<s32, 2048> frame{};
    const s32 *cur = shortWindow(ics.winShape);
    for (int w = 0; w < 8; w++) {
        const s32 *yw = y + 128 * w;
        const s32 *rise = w == 0 ? shortWindow(ps.prevWinShape[chOut]) : cur;
        s32 *dst = frame.data() + 448 + 128 * w;
        for (int j = 0; j < 128; j++) {
            dst[j] = satSym32(static_cast<s64>(dst[j]) + win(unfold(yw, 128, j), rise[j]));
            dst[128 + j] =
                satSym32(static_cast<s64>(dst[128 + j]) + win(unfold(yw, 128, 128 + j), cur[127 - j]));
        }
    }
    s32 *overlap = ps.overlap[chOut];
    for (int n = 0; n < 1024; n++) {
        out[n * stride] = toPcm(static_cast<s64>(overlap[n]) + frame[n]);
        overlap[n] = frame[1024 + n];
    }
}

} // namespace

namespace {

struct Cplx {
    s32 re, im;
};

// (re + i im) * e^(-i angle) with the angle's (cos, sin) in Q31.
inline Cplx rotate(s32 re, s32 im, const s32 *cs) {
    const s64 c = cs[0], s = cs[1];
    return {mulRound31(re * c + im * s), mulRound31(im * c - re * s)};
}

// One radix-4 pass over blocks of 4q points whose quarters hold the DFTs of the inputs
// n = 0, 2, 1, 3 (mod 4) (the radix-2 bit-reversed order).
void radix4Pass(s32 *x, int n, int q) {
    const int step = 512 / (4 * q);
    for (int start = 0; start < n; start += 4 * q) {
        s32 *p0 = x + 2 * start;
        s32 *p1 = p0 + 2 * q; // residue 2
        s32 *p2 = p1 + 2 * q; // residue 1
        s32 *p3 = p2 + 2 * q; // residue 3
        for (int j = 0; j < q; j++) {
            const Cplx a0 = {p0[2 * j], p0[2 * j + 1]};
            const Cplx a1 =
                j ? rotate(p2[2 * j], p2[2 * j + 1], kFftTwiddle512 + 2 * j * step) : Cplx{p2[0], p2[1]};
            const Cplx a2 =
                j ? rotate(p1[2 * j], p1[2 * j + 1], kFftTwiddle512 + 4 * j * step) : Cplx{p1[0], p1[1]};
            const Cplx a3 =
                j ? rotate(p3[2 * j], p3[2 * j + 1], kFftTwiddle512 + 6 * j * step) : Cplx{p3[0], p3[1]};
            const s32 s02r = a0.re + a2.re, s02i = a0.im + a2.im;
            const s32 d02r = a0.re - a2.re, d02i = a0.im - a2.im;
            const s32 s13r = a1.re + a3.re, s13i = a1.im + a3.im;
            const s32 d13r = a1.re - a3.re, d13i = a1.im - a3.im;
            p0[2 * j] = s02r + s13r;
            p0[2 * j + 1] = s02i + s13i;
            p2[2 * j] = s02r - s13r;
            p2[2 * j + 1] = s02i - s13i;
            // -i (a1 - a3) and +i (a1 - a3)
            p1[2 * j] = d02r + d13i;
            p1[2 * j + 1] = d02i - d13r;
            p3[2 * j] = d02r - d13i;
            p3[2 * j + 1] = d02i + d13r;
        }
    }
}

} // namespace

void laac_R4FFT(int tabidx, s32 *x) {
    const int n = tabidx ? 512 : 64;
    const u16 *rev = tabidx ? kBitRev512.data() : kBitRev64.data();
    for (int i = 0; i < n; i++) {
        const int j = rev[i];
        if (j > i) {
            std::swap(x[2 * i], x[2 * j]);
            std::swap(x[2 * i + 1], x[2 * j + 1]);
        }
    }
    int q = 1;
    if (n == 512) {
        // 512 = 2 x 4^4: one radix-2 pass first.
        for (int i = 0; i < n; i += 2) {
            s32 *p = x + 2 * i;
            const s32 ar = p[0], ai = p[1];
            p[0] = ar + p[2];
            p[1] = ai + p[3];
            p[2] = ar - p[2];
            p[3] = ai - p[3];
        }
        q = 2;
    }
    for (; q < n; q *= 4) radix4Pass(x, n, q);
}

int laac_DCT4(int tabidx, s32 *coef, int gb) {
    const int m = tabidx ? 1024 : 128;
    const int up = gb - kFftGuardBits;
    preTwiddle(coef, m, tabidx ? kPreTwiddle1024 : kPreTwiddle128, up);
    laac_R4FFT(tabidx, coef);
    postTwiddle(coef, m, tabidx ? kPostTwiddle1024 : kPostTwiddle128);
    // The inverse transform's 2 / N with N = 2M, and one more bit from the spectrum's two
    // fraction bits to the output's three: 2^-9 for long windows, 2^-6 for short ones.
    return (tabidx ? 9 : 6) + up;
}

int laac_IMDCT(AACDecInfo *dec, int ch, int chOut, short *outbuf) {
    if (!dec || !dec->psInfoBase) return -1;
    PSInfoBase &ps = *dec->psInfoBase;
    const ICSInfo &ics = ps.icsInfo[ch];
    refreshGuardBits(ps, ch);
    s32 *coef = ps.coef[ch];
    const int stride = dec->nChans;
    if (ics.winSequence == kWinSeqEightShort) {
        for (int w = 0; w < 8; w++) {
            const int shift = laac_DCT4(0, coef + 128 * w, ps.gbCurrent[ch]);
            rescale(coef + 128 * w, 128, shift);
        }
        windowShort(ps, ics, chOut, coef, outbuf + chOut, stride);
    } else {
        rescale(coef, 1024, laac_DCT4(1, coef, ps.gbCurrent[ch]));
        windowLong(ps, ics, chOut, coef, outbuf + chOut, stride);
    }
    ps.prevWinShape[chOut] = ics.winShape;
    dec->rawSampleBuf[0] = nullptr;
    dec->rawSampleBytes = 0;
    dec->rawSampleFBits = 0;
    return ERR_AAC_NONE;
}

} // namespace aacdec
