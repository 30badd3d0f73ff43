#!/usr/bin/env python3
"""Designs the sample-rate converter's polyphase filter tables and writes them as C++.

Each table is one symmetric low-pass prototype of numCoefs values at numPhases times the
input rate, stored in Q15. The converter picks phase o = 1..numPhases and uses
coef[o], coef[o + numPhases], ... (coef[0] never), so the whole set's fractional delay
follows from where the prototype's centre falls in that indexing.

Design: a Kaiser-windowed sinc whose cutoff is half the lower of the two rates. The window
is chosen for a stopband attenuation a little above the quality's target (low 40 dB, mid
60 dB, high 80 dB); the transition width then follows from the prototype's length, and
the stopband starts half a transition above the cutoff. After quantising, the table is
measured (as the converter uses it) and redesigned a decibel higher until it meets its
target. Each phase is scaled to unity gain at DC, mirrored phases alike so the table stays
symmetric. Four rows are fixed values that other code and files rely on; they are written
unchanged and only measured.

Run from anywhere:  tools/srconv/gen_tables.py            (writes the files, prints figures)
                    tools/srconv/gen_tables.py --check    (fails if the files are stale)
Standard library only.
"""

import cmath
import math
import os
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
TABLES_CPP = os.path.join(ROOT, "src/snd/orvcorelib/srconv/srconv_tables.cpp")
DESIGN_H = os.path.join(ROOT, "tests/snd/orvcorelib/srconv/srconv_table_design.h")

QUALITIES = ("L", "M", "H")
TARGET_DB = {"L": 40.0, "M": 60.0, "H": 80.0}
PASSBAND_DB = 0.1

# name, input rate, output rate, (numTaps, numPhases, numCoefs) for L, M, H.
STD = ((5, 8, 39), (17, 32, 543), (33, 64, 2111))
SETS = (
    ("8TO44", 8000, 44100, STD),
    ("11TO44", 11025, 44100, ((5, 4, 19), (17, 4, 67), (33, 4, 131))),
    ("16TO44", 16000, 44100, STD),
    ("22TO44", 22050, 44100, ((5, 2, 11), (17, 2, 35), (33, 2, 67))),
    ("24TO44", 24000, 44100, ((9, 8, 68), (17, 32, 528), (33, 64, 2080))),
    ("32TO44", 32000, 44100, STD),
    ("48TO44", 48000, 44100, STD),
    ("64TO44", 64000, 44100, STD),
    ("88TO44", 88200, 44100, ((5, 1, 5), (17, 1, 17), (33, 1, 33))),
    ("96TO44", 96000, 44100, STD),
    ("44TO11", 44100, 11025, ((5, 1, 5), (17, 1, 17), (33, 1, 33))),
    ("96TO22", 96000, 22050, STD),
    ("96TO11", 96000, 11025, STD),
)

FIXED = {
    ("88TO44", "L"): (9, 5691, 21364, 5691, 9),
    ("44TO11", "L"): (36, 6185, 20322, 6185, 36),
    ("22TO44", "L"): (-17, -289, -155, 3287, 16554, 26768, 16554, 3287, -155, -289, -17),
    ("88TO44", "M"): (-1, 3, 50, 283, 956, 2262, 4036, 5642, 6297, 5642, 4036, 2262, 956, 283, 50,
                      3, -1),
}


# ---------------------------------------------------------------- design

def bessel_i0(x):
    term, total, k = 1.0, 1.0, 1
    while term > 1e-17 * total:
        term *= (x / (2.0 * k)) ** 2
        total += term
        k += 1
    return total


def kaiser_beta(atten_db):
    if atten_db > 50.0:
        return 0.1102 * (atten_db - 8.7)
    if atten_db >= 21.0:
        return 0.5842 * (atten_db - 21.0) ** 0.4 + 0.07886 * (atten_db - 21.0)
    return 0.0


def transition_width(atten_db, num_coefs):
    """Kaiser's estimate of the transition width, in cycles per prototype sample."""
    return (atten_db - 7.95) / (14.36 * (num_coefs - 1))


def phase_of(index, phases):
    """The phase (1..phases) whose taps include coef[index]; index 0 counts as the last."""
    return (index - 1) % phases + 1


def used_indices(phase, phases, num_coefs):
    return range(phase, num_coefs, phases)


def windowed_sinc(cutoff, beta, num_coefs, phases):
    """Symmetric prototype: cutoff in cycles per prototype sample, centre (n - 1) / 2.

    With several phases the two end values are 0: coef[0] is never used while its mirror
    is, so non-zero ends would leave the last phase and its mirror with different gains."""
    centre = (num_coefs - 1) / 2.0
    ends = 1 if phases > 1 else 0
    half_width = centre - ends
    i0_beta = bessel_i0(beta)
    h = [0.0] * num_coefs
    for n in range(ends, num_coefs // 2 + num_coefs % 2):
        t = n - centre
        x = 2.0 * cutoff * t
        sinc = 1.0 if t == 0 else math.sin(math.pi * x) / (math.pi * x)
        r = t / half_width if half_width else 0.0
        h[n] = h[num_coefs - 1 - n] = 2.0 * cutoff * sinc * bessel_i0(beta * math.sqrt(1.0 - r * r)) / i0_beta
    return h


def unity_per_phase(h, phases):
    """Scales each phase to unity DC gain; a value and its mirror get one factor (the mean
    of their phases' factors), so the table stays symmetric."""
    n = len(h)
    gain = {o: 1.0 / sum(h[i] for i in used_indices(o, phases, n)) for o in range(1, phases + 1)}
    return [h[i] * 0.5 * (gain[phase_of(i, phases)] + gain[phase_of(n - 1 - i, phases)]) for i in range(n)]


def quantise(h):
    # Round half away from zero, so mirrored values stay equal; a passthrough centre of
    # exactly 1.0 is clamped to the largest Q15 value.
    q = [int(math.copysign(math.floor(abs(v) * 32768.0 + 0.5), v)) for v in h]
    return [max(-32768, min(32767, v)) for v in q]


# ---------------------------------------------------------------- measurement

def fft(values):
    """In-place iterative radix-2 FFT of a list of complex numbers (length a power of two)."""
    n = len(values)
    j = 0
    for i in range(1, n):
        bit = n >> 1
        while j & bit:
            j ^= bit
            bit >>= 1
        j |= bit
        if i < j:
            values[i], values[j] = values[j], values[i]
    size = 2
    while size <= n:
        w_step = cmath.exp(-2j * math.pi / size)
        half = size // 2
        twiddles = [w_step ** k for k in range(half)]
        for start in range(0, n, size):
            for k in range(half):
                a = values[start + k]
                b = values[start + k + half] * twiddles[k]
                values[start + k] = a + b
                values[start + k + half] = a - b
        size *= 2
    return values


def magnitude_response(coefs):
    """|H| of the taps the converter uses (coef[0] left out) on a grid over 0..1/2 cycles per
    prototype sample, at least 16 points per 1/N so sidelobe peaks are not missed."""
    n = len(coefs)
    size = 1024
    while size < 32 * n:
        size *= 2
    values = [complex(0.0)] * size
    for i in range(1, n):
        values[i] = complex(coefs[i])
    spectrum = fft(values)
    return [abs(v) for v in spectrum[: size // 2 + 1]], size


class Figures:
    pass


def measure(coefs, phases, stop_edge):
    """Stopband attenuation above stop_edge (cycles per input sample), passband edge (where
    the gain first leaves +-0.1 dB, cycles per input sample), per-phase DC sums."""
    mag, size = magnitude_response(coefs)
    dc = mag[0]
    fig = Figures()
    first = min(int(math.ceil(stop_edge / phases * size)), len(mag) - 1)
    peak = max(mag[first:])
    fig.stopband_db = 20.0 * math.log10(dc / peak) if peak > 0.0 else 999.0
    edge = len(mag) - 1
    for k, m in enumerate(mag):
        if m <= 0.0 or abs(20.0 * math.log10(m / dc)) > PASSBAND_DB:
            edge = k - 1
            break
    fig.passband_edge = edge * phases / size
    fig.phase_sums = [sum(coefs[i] for i in used_indices(o, phases, len(coefs))) for o in range(1, phases + 1)]
    return fig


# ---------------------------------------------------------------- tables

def design_table(name, fin, fout, quality, taps, phases, num_coefs):
    cutoff_in = 0.5 * min(fin, fout) / fin          # cycles per input sample
    target = TARGET_DB[quality]
    fixed = FIXED.get((name, quality))
    atten = target + 1.0
    while True:
        width_in = transition_width(atten, num_coefs) * phases
        # A short fixed row may not reach its stopband below the prototype's Nyquist
        # frequency; it is then judged at that frequency alone.
        stop_edge = min(cutoff_in + 0.5 * width_in, 0.5 * phases)
        if fixed:
            coefs = list(fixed)
        else:
            h = windowed_sinc(cutoff_in / phases, kaiser_beta(atten), num_coefs, phases)
            coefs = quantise(unity_per_phase(h, phases))
        fig = measure(coefs, phases, stop_edge)
        if fixed or fig.stopband_db >= target + 0.5 or atten > target + 40.0:
            break
        atten += 1.0
    check_table(name + quality, coefs, taps, phases, num_coefs)
    fig.name, fig.quality, fig.coefs = name, quality, coefs
    fig.taps, fig.phases, fig.fixed = taps, phases, fixed is not None
    fig.cutoff, fig.stop_edge, fig.target, fig.fin = cutoff_in, stop_edge, target, fin
    return fig


def check_table(label, coefs, taps, phases, num_coefs):
    assert len(coefs) == num_coefs, label
    # One phase uses coef[1..] and so one tap fewer than the table holds.
    most = max(len(used_indices(o, phases, num_coefs)) for o in range(1, phases + 1))
    assert most == (taps - 1 if phases == 1 else taps), label
    assert coefs == coefs[::-1], label + " is not symmetric"


# ---------------------------------------------------------------- output

def db(x):
    return 20.0 * math.log10(x)


def report(fig):
    sums = fig.phase_sums
    lo, hi = min(sums), max(sums)
    stop = "%6.1f dB from %7.0f Hz" % (fig.stopband_db, fig.stop_edge * fig.fin)
    verdict = "fixed" if fig.fixed else ("ok" if fig.stopband_db >= fig.target else "SHORT")
    print("POLYFIR%-7s %2d/%2d/%4d  pass(0.1dB) %6.0f Hz  cut %6.0f Hz  stop %s  [%s >= %.0f]  "
          "phase DC %d..%d (%+.3f..%+.3f dB)"
          % (fig.name + fig.quality, fig.taps, fig.phases, len(fig.coefs),
             fig.passband_edge * fig.fin, fig.cutoff * fig.fin, stop, verdict, fig.target,
             lo, hi, db(lo / 32768.0), db(hi / 32768.0)))


def c_array(values, indent="    ", width=100):
    lines, line = [], indent
    for v in values:
        item = "%d, " % v
        if len(line) + len(item) > width:
            lines.append(line.rstrip())
            line = indent
        line += item
    lines.append(line.rstrip())
    return "\n".join(lines)


HEADER_NOTE = "// Generated by tools/srconv/gen_tables.py; edit the script, not this file.\n"


def tables_source(figs):
    out = [HEADER_NOTE,
           "// Polyphase low-pass prototypes of the sample-rate converter, Q15, one set per rate ratio\n"
           "// with a low, mid and high quality table. Per table: taps/phases/coefs, the band kept\n"
           "// within 0.1 dB, the cutoff, the stopband attenuation and where it starts (in Hz at the\n"
           "// set's own rates), as measured on the taps the converter uses.\n",
           '#include "srconv/srconv_tables.h"\n\n// clang-format off\nnamespace {\n']
    first_with = {}
    for f in figs:
        out.append("\n// %d/%d/%d, passband %.0f Hz, cutoff %.0f Hz, stopband %.1f dB from %.0f Hz%s\n"
                   % (f.taps, f.phases, len(f.coefs), f.passband_edge * f.fin, f.cutoff * f.fin,
                      f.stopband_db, f.stop_edge * f.fin, " (fixed values)" if f.fixed else ""))
        name = "POLYFIR%s%s" % (f.name, f.quality)
        same = first_with.setdefault(tuple(f.coefs), name)
        if same != name:
            # Upsampling sets of one shape all cut at the input's Nyquist frequency, so
            # their prototypes are the same values; they share one array.
            out.append("constexpr const s16 (&%s)[%d] = %s;\n" % (name, len(f.coefs), same))
        else:
            out.append("constexpr s16 %s[%d] = {\n%s\n};\n" % (name, len(f.coefs), c_array(f.coefs)))
    out.append("\n} // namespace\n")
    by_set = {}
    for f in figs:
        by_set.setdefault(f.name, []).append(f)
    for name, _, _, _ in SETS:
        out.append("\nconst PolyphaseFir POLYFIR%s[3] = {\n" % name)
        for f in by_set[name]:
            out.append("    {%d, %d, %d, 1, POLYFIR%s%s},\n" % (f.taps, f.phases, len(f.coefs), name, f.quality))
        out.append("};\n")
    out.append("// clang-format on\n")
    return "".join(out)


def design_header(figs):
    out = [HEADER_NOTE,
           "// What each converter table was designed for: the band its gain stays within 0.1 dB and\n"
           "// where its stopband starts, both in cycles per input frame; the attenuation the stopband\n"
           "// must reach (fixed rows are exempt).\n"
           "#pragma once\n\n#include \"srconv/srconv_tables.h\"\n\n"
           "struct SrconvTableDesign {\n    const PolyphaseFir *fir;\n    const char *name;\n"
           "    double passbandEdge;\n    double stopbandEdge;\n    double targetDb;\n    bool fixedRow;\n};\n\n"
           "inline const SrconvTableDesign kSrconvTableDesigns[] = {\n"]
    for f in figs:
        out.append('    {&POLYFIR%s[%d], "POLYFIR%s%s", %.6f, %.6f, %.1f, %s},\n'
                   % (f.name, QUALITIES.index(f.quality), f.name, f.quality, f.passband_edge,
                      f.stop_edge, f.target, "true" if f.fixed else "false"))
    out.append("};\n")
    return "".join(out)


def main():
    check = "--check" in sys.argv[1:]
    figs = []
    for name, fin, fout, shapes in SETS:
        for quality, (taps, phases, num_coefs) in zip(QUALITIES, shapes):
            fig = design_table(name, fin, fout, quality, taps, phases, num_coefs)
            if not check:
                report(fig)
            figs.append(fig)
    outputs = ((TABLES_CPP, tables_source(figs)), (DESIGN_H, design_header(figs)))
    stale = []
    for path, text in outputs:
        if check:
            try:
                with open(path) as f:
                    if f.read() != text:
                        stale.append(path)
            except OSError:
                stale.append(path)
        else:
            with open(path, "w") as f:
                f.write(text)
    if stale:
        print("stale generated files (rerun tools/srconv/gen_tables.py): " + " ".join(stale))
        return 1
    short = [f.name + f.quality for f in figs if not f.fixed and f.stopband_db < f.target]
    if short:
        print("tables below their stopband target: " + " ".join(short))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
