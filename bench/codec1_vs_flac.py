#!/usr/bin/env python3
"""Times decoding through the decoder front end (decodetool) against flac -d on the same file, in
one run.

A stereo 16-bit song at 44100 Hz is made with sox and encoded with flac; decodetool decodes the
FLAC file and the WAV file to 16-bit WAV files, flac -d decodes the FLAC file to a WAV file. Each
figure is the best of --repeat whole-process runs. Prints the times, the throughput in times real
time, and decodetool's FLAC time over flac's.

    bench/codec1_vs_flac.py [--build build/release] [--seconds 120] [--repeat 5]

Needs sox and flac (scripts/packages/codec-1.txt) and decodetool from the release build.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))


def best_time(cmd, repeat):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        best = min(best, time.perf_counter() - start)
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    parser.add_argument("--seconds", type=int, default=120)
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()

    tool = os.path.join(args.build, "tools", "decodetool-desktop")
    if not os.access(tool, os.X_OK):
        sys.exit("codec1_vs_flac: build %s first (cmake --build --preset release)" % tool)

    with tempfile.TemporaryDirectory(prefix="codec1-bench-") as tmp:
        wav = os.path.join(tmp, "song.wav")
        flac = os.path.join(tmp, "song.flac")
        out = os.path.join(tmp, "out.wav")
        subprocess.run(["sox", "-R", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", str(args.seconds),
                        "pinknoise", "sine", "440", "remix", "1,2", "1,2", "vol", "0.5"], check=True)
        subprocess.run(["flac", "-s", "-f", "-5", "-o", flac, wav], check=True)

        ours_wav = best_time([tool, wav, out], args.repeat)
        ours_flac = best_time([tool, flac, out], args.repeat)
        theirs = best_time(["flac", "-s", "-d", "-f", "-o", out, flac], args.repeat)

    print("%-28s %9s %10s" % ("decode of %d s at 44100 Hz" % args.seconds, "time (s)", "x realtime"))
    for name, seconds in (("decodetool, 16-bit WAV", ours_wav), ("decodetool, FLAC", ours_flac),
                          ("flac -d, FLAC", theirs)):
        print("%-28s %9.3f %10.0f" % (name, seconds, args.seconds / seconds))
    print("decodetool FLAC / flac -d: %.2f" % (ours_flac / theirs))
    return 0


if __name__ == "__main__":
    sys.exit(main())
