#!/usr/bin/env python3
"""Decodes one long AAC file with our decoder (aacframes) and with faad in the same run and
prints our time over faad's; the goal is a ratio at or below 1.

Both decoders write raw 16-bit PCM to a file. Each runs several times and its least CPU time
(user + system) counts, which keeps the figure steady on a busy machine.

usage: bench/aacdec_vs_faad.py [--build DIR] [--seconds N] [--runs N]
"""
import argparse
import os
import resource
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE = ("aevalsrc=exprs='0.3*sin(2*PI*440*t)+0.1*sin(2*PI*3520*t*(1+0.1*sin(t)))+0.05*(random(0)-0.5)"
          "|0.3*sin(2*PI*554*t)+0.1*sin(2*PI*2637*t)+0.05*(random(1)-0.5)':s=44100:d={seconds}")


def cpu_time(cmd, runs):
    best = None
    for _ in range(runs):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        t = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        best = t if best is None else min(best, t)
    return best


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    ap.add_argument("--seconds", type=int, default=300)
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()
    ours = os.path.join(args.build, "tools", "aacframes")
    for tool in ("ffmpeg", "faad", ours):
        if not shutil.which(tool):
            sys.exit(f"aacdec_vs_faad: {tool} not found (run scripts/setup and build)")
    with tempfile.TemporaryDirectory() as work:
        aac = os.path.join(work, "long.aac")
        subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                        SOURCE.format(seconds=args.seconds), "-c:a", "aac", "-b:a", "192k", "-f", "adts", aac],
                       check=True)
        t_ours = cpu_time([ours, "-q", aac, os.path.join(work, "ours.raw")], args.runs)
        t_faad = cpu_time(["faad", "-q", "-b", "1", "-f", "2", "-o", os.path.join(work, "faad.raw"), aac], args.runs)
    print(f"aacdec: {args.seconds} s of 44.1 kHz stereo at 192 kb/s, best of {args.runs} runs (CPU time)")
    print(f"  ours {t_ours:.3f} s, faad {t_faad:.3f} s")
    print(f"  ratio (ours / faad) {t_ours / t_faad:.3f}")


if __name__ == "__main__":
    main()
