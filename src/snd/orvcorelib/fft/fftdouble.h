// Double-precision FFT building blocks for development and offline work, with the names,
// arguments and in-place conventions of Ooura's general-purpose FFT package (the radix-4
// routines behind its cdft and rdft drivers). Nothing in the system calls them and no driver
// is offered; composing them:
//
//   complex DFT of N = n/2 points, a[2j] + i a[2j+1], X[k] = sum_j x[j] e^(+2 pi i j k / N):
//       makewt(n >> 2, ip, w); bitrv2(n, ip + 2, a); cftfsub(n, a, w);        (n >= 8)
//   and the conjugate direction, X[k] = sum_j x[j] e^(-2 pi i j k / N):
//       negate every a[2j+1]; bitrv2(n, ip + 2, a); cftbsub(n, a, w);
//
//   real DFT of n points: R[k] + i I[k] = sum_j a[j] e^(+2 pi i j k / n) (so I is minus the
//   usual imaginary part), with nw = n >> 2, nc = n >> 2:
//       makewt(nw, ip, w); makect(nc, ip, w + nw);
//       bitrv2(n, ip + 2, a); cftfsub(n, a, w); rftfsub(n, a, nc, w + nw);
//       then (a[0], a[1]) = (a[0] + a[1], a[0] - a[1]):
//       a[2k] = R[k], a[2k+1] = I[k] for 0 < k < n/2, a[0] = R[0], a[1] = R[n/2]     (n >= 8)
//   and its inverse (the input times n/2):
//       a[1] = 0.5 * (a[0] - a[1]); a[0] -= a[1];
//       rftbsub(n, a, nc, w + nw); bitrv2(n, ip + 2, a); cftbsub(n, a, w);
//
// Sizes are powers of two. Tables built for a length serve every shorter length.
// ip[0] and ip[1] record the sizes nw and nc the tables were built for; ip + 2 is the
// bit-reversal work area of at least sqrt(n / 2) entries. w needs nw values, c needs nc.
#pragma once

// Twiddle table for complex transforms of up to 2 nw points (nw a power of two):
// w[2p], w[2p+1] = cos, sin of pi p / nw for p = 0 ... nw/2 - 1, stored in bit-reversed
// order of p. Sets ip[0] = nw and ip[1] = 1 (no cosine table yet).
void makewt(int nw, int *ip, double *w);

// Cosine table of the real-transform passes for real lengths up to 4 nc (nc a power of two):
// c[j] = 0.5 cos(pi j / (2 nc)) for 0 < j < nc, c[0] = cos(pi / 4). Sets ip[1] = nc.
void makect(int nc, int *ip, double *c);

// Bit-reversal permutation of the n/2 complex values a[2j] + i a[2j+1]. ip is its work area
// (pass ip + 2 of the table's ip): it uses 2^floor(log2(n/2) / 2) entries.
void bitrv2(int n, int *ip, double *a);

// Complex FFT, e^(+2 pi i j k / N), of the n/2 complex values of a, which must be in
// bit-reversed order; the result is in natural order. Runs cft1st, then cftmdl for the middle
// radix-4 stages, then a last radix-4 or radix-2 stage. Needs w from makewt(nw) with
// 2 nw >= n/2. Lengths n < 4 are left as they are.
void cftfsub(int n, double *a, const double *w);

// The same stages, with the conjugate of the result written out: from bit-reversed
// conj(x) this gives sum_j x[j] e^(-2 pi i j k / N) in natural order.
void cftbsub(int n, double *a, const double *w);

// First radix-4 stage: blocks of 4 complex values, block b turned by the table's b-th twiddle.
void cft1st(int n, double *a, const double *w);

// Middle radix-4 stage of span l (in doubles): blocks of 4 l doubles, block b's legs turned
// by the b-th twiddle, its square and its cube.
void cftmdl(int n, int l, double *a, const double *w);

// Post-processing pass of the real forward transform: turns the complex FFT of the n/2
// pairs (a[2j], a[2j+1]) into the real spectrum (bins 1 ... n/4 - 1 and their mirrors; the
// caller finishes bins 0 and n/2). Needs c from makect(nc) with 4 nc >= n.
void rftfsub(int n, double *a, int nc, const double *c);

// Pre-processing pass of the real inverse transform: turns the half spectrum into the
// conjugated complex spectrum of the n/2 pairs, ready for bitrv2 and cftbsub.
void rftbsub(int n, double *a, int nc, const double *c);
