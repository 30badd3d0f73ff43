#include "fft/fftdouble.h"

#include <cmath>
#include <math.h> // sincos
#include <numbers>
#include <utility>

namespace {

struct Complex {
    double re;
    double im;
};

Complex operator+(Complex a, Complex b) {
    return {a.re + b.re, a.im + b.im};
}
Complex operator-(Complex a, Complex b) {
    return {a.re - b.re, a.im - b.im};
}
Complex operator*(Complex a, Complex b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
Complex timesI(Complex a) {
    return {-a.im, a.re};
}
Complex conj(Complex a) {
    return {a.re, -a.im};
}

Complex load(const double *a, int j) {
    return {a[j], a[j + 1]};
}
void store(double *a, int j, Complex v) {
    a[j] = v.re;
    a[j + 1] = v.im;
}

int log2Of(int n) {
    int bits = 0;
    while ((1 << (bits + 1)) <= n) ++bits;
    return bits;
}

// Reversal of `bits` low bits, from a table of reversals over `low` = bits / 2 bits.
int reverseBits(int i, int bits, const int *lowTable) {
    const int low = bits / 2;
    const int high = bits - low;
    const int h = i >> low;
    const int reversedHigh = high == low ? lowTable[h] : ((h & 1) << low) | lowTable[h >> 1];
    return (lowTable[i & ((1 << low) - 1)] << high) | reversedHigh;
}

// The twiddles of block b of a radix-4 stage: w1 from the bit-reversed table, w2 = w1^2 from
// the table's entry b/2 (a quarter turn further for odd b), w3 = w1^3 by the triple-angle rule.
struct Twiddles {
    Complex w1, w2, w3;
};
Twiddles twiddlesOfBlock(const double *w, int b) {
    const Complex w1 = load(w, 2 * b);
    const Complex halfAngle = load(w, 2 * (b / 2));
    const Complex w2 = b % 2 == 0 ? halfAngle : timesI(halfAngle);
    const Complex w3 = {w1.re - 2 * w2.im * w1.im, 2 * w2.im * w1.re - w1.im};
    return {w1, w2, w3};
}

// Radix-4 butterfly over the legs j, j + l, j + 2l, j + 3l (l in doubles). The legs hold the
// 4-point inputs in bit-reversed order; the outputs, in natural order, are turned by
// 1, w1, w2, w3.
void butterfly4(double *a, int j, int l, const Twiddles *t) {
    const Complex a0 = load(a, j);
    const Complex a1 = load(a, j + l);
    const Complex a2 = load(a, j + 2 * l);
    const Complex a3 = load(a, j + 3 * l);
    const Complex x0 = a0 + a1;
    const Complex x1 = a0 - a1;
    const Complex x2 = a2 + a3;
    const Complex x3 = a2 - a3;
    const Complex y1 = x1 + timesI(x3);
    const Complex y2 = x0 - x2;
    const Complex y3 = x1 - timesI(x3);
    store(a, j, x0 + x2);
    store(a, j + l, t ? t->w1 * y1 : y1);
    store(a, j + 2 * l, t ? t->w2 * y2 : y2);
    store(a, j + 3 * l, t ? t->w3 * y3 : y3);
}

void conjugateRange(double *a, int from, int count) {
    for (int j = from; j < from + count; j += 2) a[j + 1] = -a[j + 1];
}

// The last stage: one block of span l, radix 4 when 4 l = n, else radix 2; no twiddles.
void lastStage(int n, int l, double *a) {
    if (4 * l == n) {
        for (int j = 0; j < l; j += 2) butterfly4(a, j, l, nullptr);
        return;
    }
    for (int j = 0; j < l; j += 2) {
        const Complex a0 = load(a, j);
        const Complex a1 = load(a, j + l);
        store(a, j, a0 + a1);
        store(a, j + l, a0 - a1);
    }
}

// All stages but the last; returns the span (in doubles) of the last one.
int leadingStages(int n, double *a, const double *w) {
    int l = 2;
    if (n > 8) {
        cft1st(n, a, w);
        l = 8;
        while (4 * l < n) {
            cftmdl(n, l, a, w);
            l *= 4;
        }
    }
    return l;
}

// The real-transform weight of bin j/2 of n points: (1 - sin, cos) / 2 of 2 pi (j/2) / n,
// read from the half-scaled cosine table.
Complex realWeight(const double *c, int nc, int kk) {
    return {0.5 - c[nc - kk], c[kk]};
}

} // namespace

void makewt(int nw, int *ip, double *w) {
    ip[0] = nw;
    ip[1] = 1;
    if (nw < 2) return;
    w[0] = 1.0;
    w[1] = 0.0;
    if (nw < 4) return;
    // Unit vectors at the angles pi p / nw, p < nw / 2: the first and last eighth of a turn
    // mirror each other about pi / 4.
    const int half = nw / 2;
    w[half] = std::cos(std::numbers::pi / 4);
    w[half + 1] = w[half];
    for (int p = 1; 2 * p < half; ++p) {
        double s = 0.0;
        double c = 0.0;
        ::sincos(std::numbers::pi * p / nw, &s, &c);
        w[2 * p] = c;
        w[2 * p + 1] = s;
        w[nw - 2 * p] = s;
        w[nw - 2 * p + 1] = c;
    }
    bitrv2(nw, ip + 2, w);
}

void makect(int nc, int *ip, double *c) {
    ip[1] = nc;
    if (nc < 2) return;
    const int half = nc / 2;
    c[0] = std::cos(std::numbers::pi / 4);
    c[half] = 0.5 * c[0];
    for (int j = 1; j < half; ++j) {
        double s = 0.0;
        double co = 0.0;
        ::sincos(std::numbers::pi * j / (2 * nc), &s, &co);
        c[j] = 0.5 * co;
        c[nc - j] = 0.5 * s;
    }
}

void bitrv2(int n, int *ip, double *a) {
    const int count = n / 2;
    if (count < 4) return; // one or two values stay where they are
    const int bits = log2Of(count);
    // Reversals over the low half of the bits; the high half reuses them.
    const int low = bits / 2;
    ip[0] = 0;
    for (int size = 1, top = 1 << (low - 1); size < (1 << low); size *= 2, top /= 2)
        for (int t = 0; t < size; ++t) ip[t + size] = ip[t] + top;
    for (int i = 0; i < count; ++i) {
        const int r = reverseBits(i, bits, ip);
        if (i < r) {
            std::swap(a[2 * i], a[2 * r]);
            std::swap(a[2 * i + 1], a[2 * r + 1]);
        }
    }
}

void cftfsub(int n, double *a, const double *w) {
    if (n < 4) return;
    const int l = leadingStages(n, a, w);
    lastStage(n, l, a);
}

void cftbsub(int n, double *a, const double *w) {
    if (n < 4) return;
    const int l = leadingStages(n, a, w);
    lastStage(n, l, a);
    conjugateRange(a, 0, n);
}

void cft1st(int n, double *a, const double *w) {
    cftmdl(n, 2, a, w);
}

void cftmdl(int n, int l, double *a, const double *w) {
    const int block = 4 * l;
    for (int k = 0, b = 0; k < n; k += block, ++b) {
        if (b == 0) {
            for (int j = 0; j < l; j += 2) butterfly4(a, j, l, nullptr);
            continue;
        }
        const Twiddles t = twiddlesOfBlock(w, b);
        for (int j = k; j < k + l; j += 2) butterfly4(a, j, l, &t);
    }
}

void rftfsub(int n, double *a, int nc, const double *c) {
    const int m = n / 2;
    if (m < 4) return;
    const int ks = 2 * nc / m;
    for (int j = 2, kk = ks; j < m; j += 2, kk += ks) {
        const int k = n - j;
        const Complex d = {a[j] - a[k], a[j + 1] + a[k + 1]};
        const Complex y = realWeight(c, nc, kk) * d;
        a[j] -= y.re;
        a[j + 1] -= y.im;
        a[k] += y.re;
        a[k + 1] -= y.im;
    }
}

void rftbsub(int n, double *a, int nc, const double *c) {
    const int m = n / 2;
    if (m < 2) return;
    a[1] = -a[1];
    const int ks = 2 * nc / m;
    for (int j = 2, kk = ks; j < m; j += 2, kk += ks) {
        const int k = n - j;
        const Complex d = {a[j] - a[k], a[j + 1] + a[k + 1]};
        const Complex y = conj(realWeight(c, nc, kk)) * d;
        a[j] -= y.re;
        a[j + 1] = y.im - a[j + 1];
        a[k] += y.re;
        a[k + 1] = y.im - a[k + 1];
    }
    a[m + 1] = -a[m + 1];
}
