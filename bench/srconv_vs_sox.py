#!/usr/bin/env python3
"""Times the sample-rate converter against sox's rate effect on the same input, in one run.

For 48000 -> 44100 and 96000 -> 11025, stereo, each quality is paired with the sox quality
nearest to it in intent (low: -q, mid: -l, high: -m). Both convert the same raw 16-bit file
to a raw file, as whole processes; each figure is the best of --repeat runs. Prints our time,
sox's time and our time over sox's.

    bench/srconv_vs_sox.py [--build build/release] [--seconds 60] [--repeat 3]

Needs sox (scripts/packages/dsp-src.txt) and the srconv_file program of the bench build.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
PAIRS = ((48000, 44100), (96000, 11025))
QUALITIES = ((0, "low", "-q"), (1, "mid", "-l"), (2, "high", "-m"))
RAW = ["-t", "raw", "-b", "16", "-e", "signed-integer", "-L", "-c", "2"]


def best_time(cmd, repeat):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
        best = min(best, time.perf_counter() - start)
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    parser.add_argument("--seconds", type=int, default=60)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()

    ours_tool = os.path.join(args.build, "bench", "srconv_file")
    if not os.access(ours_tool, os.X_OK):
        sys.exit("srconv_vs_sox: build %s first (cmake --build --preset release)" % ours_tool)

    with tempfile.TemporaryDirectory(prefix="srconv-bench-") as tmp:
        print("%-16s %-5s %10s %10s %8s" % ("pair", "qual", "ours (s)", "sox (s)", "ours/sox"))
        for in_rate, out_rate in PAIRS:
            source = os.path.join(tmp, "in%d.raw" % in_rate)
            # Pink noise with a tone: broadband like music, the same bytes for both tools.
            subprocess.run(["sox", "-R", "-n", "-r", str(in_rate)] + RAW + [source, "synth", str(args.seconds),
                            "pinknoise", "sine", "997", "remix", "1,2", "1,2", "vol", "0.5"], check=True)
            for quality, name, sox_quality in QUALITIES:
                ours_out = os.path.join(tmp, "ours.raw")
                sox_out = os.path.join(tmp, "sox.raw")
                ours = best_time([ours_tool, source, ours_out, str(in_rate), str(out_rate), "2", str(quality)],
                                 args.repeat)
                sox = best_time(["sox", "-R", "-D", "--single-threaded", "-r", str(in_rate)] + RAW + [source]
                                + RAW + [sox_out, "rate", sox_quality, str(out_rate)], args.repeat)
                print("%-16s %-5s %10.3f %10.3f %8.2f" % ("%d->%d" % (in_rate, out_rate), name, ours, sox,
                                                           ours / sox))
    return 0


if __name__ == "__main__":
    sys.exit(main())
