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
        for (int i = 0; i < n; i++) y[i] = orv::shlSat32(y[i], -shift);
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

void windowLong(PSInfoBase &ps, const ICSInfo &ics, int chOut, const s32 *y, short *out, int stride) {
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
            dst[j] = orv::sat32(static_cast<s64>(dst[j]) + win(unfold(yw, 128, j), rise[j]));
            dst[128 + j] =
                orv::sat32(static_cast<s64>(dst[128 + j]) + win(unfold(yw, 128, 128 + j), cur[127 - j]));
        }
    }
    s32 *overlap = ps.overlap[chOut];
    for (int n = 0; n < 1024; n++) {
        out[n * stride] = toPcm(static_cast<s64>(overlap[n]) + frame[n]);
        overlap[n] = frame[1024 + n];
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
    // First two stages: twiddles 1 and -i only.
    for (int i = 0; i < n; i += 4) {
        s32 *p = x + 2 * i;
        const s32 ar = p[0] + p[2], ai = p[1] + p[3];
        const s32 br = p[0] - p[2], bi = p[1] - p[3];
        const s32 cr = p[4] + p[6], ci = p[5] + p[7];
        const s32 dr = p[4] - p[6], di = p[5] - p[7];
        p[0] = ar + cr;
        p[1] = ai + ci;
        p[4] = ar - cr;
        p[5] = ai - ci;
        // b + (-i) d and b - (-i) d
        p[2] = br + di;
        p[3] = bi - dr;
        p[6] = br - di;
        p[7] = bi + dr;
    }
    for (int len = 8; len <= n; len <<= 1) {
        const int half = len >> 1;
        const int step = 512 / len;
        for (int start = 0; start < n; start += len) {
            s32 *a = x + 2 * start;
            s32 *b = a + 2 * half;
            for (int j = 0; j < half; j++) {
                const s64 c = kFftTwiddle512[2 * j * step];
                const s64 s = kFftTwiddle512[2 * j * step + 1];
                const s64 br = b[2 * j], bi = b[2 * j + 1];
                const s32 tr = mulRound31(br * c + bi * s);
                const s32 ti = mulRound31(bi * c - br * s);
                const s32 ar = a[2 * j], ai = a[2 * j + 1];
                a[2 * j] = ar + tr;
                a[2 * j + 1] = ai + ti;
                b[2 * j] = ar - tr;
                b[2 * j + 1] = ai - ti;
            }
        }
    }
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
