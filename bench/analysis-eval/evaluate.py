#!/usr/bin/env python3
"""Measures our song analysis against public analysers on generated songs with known beats.

Makes the test songs (cached in the work folder), runs trackscan, trackscan-desktop and the public
analysers on each in parallel, and writes per-song and per-analyser figures as Markdown and CSV
(results.md, results.csv, totals.csv in the output folder, and summary.md, the short table for the README). The Markdown is printed as well.

    bench/analysis-eval/evaluate.py [--build build/release] [--work DIR] [--out DIR] [--set all|gate]
                                    [--gate] [--no-peers] [--only REGEX] [--jobs N]

With --gate the run fails (status 1) when one of our programs misses on a song of the set:
Accuracy1, a tempo error above 0.05 BPM, a beat F-measure below 0.95 or a downbeat F-measure
below 0.9; it ends with status 77 (skipped) when one of our programs is not built. The public
analysers' figures are reported, never gated.

Needs sox, rubberband, lame, ffmpeg and flac; the public analysers come from aubio-tools,
bpm-tools, soundstretch, vamp-examples and vamp-plugin-sdk (scripts/packages/scan-eval.txt).
"""

import argparse
import concurrent.futures
import os
import re
import sys
import tempfile

import analysers
import gate
import report
import songs

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SKIP = 77


def parse_args(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "release"),
                        help="build tree whose bin/ holds our programs")
    parser.add_argument("--trackscan", help="path of trackscan (default: <build>/bin/trackscan)")
    parser.add_argument("--trackscan-desktop", help="path of trackscan-desktop (default: <build>/bin/...)")
    parser.add_argument("--work", default=os.path.join(ROOT, "build", "analysis-eval"),
                        help="folder for the cached songs and scratch files")
    parser.add_argument("--out", help="folder for the tables (default: <work>/results)")
    parser.add_argument("--set", choices=("all", "gate"), default="all", help="all songs or the gate's quick set")
    parser.add_argument("--only", help="only songs whose name matches this regular expression")
    parser.add_argument("--gate", action="store_true", help="fail when our programs miss the thresholds")
    parser.add_argument("--gate-tool", action="append", choices=("trackscan", "trackscan-desktop"),
                        help="with --gate, judge only this program (repeatable; default both)")
    parser.add_argument("--no-peers", action="store_true", help="run only our programs")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    args = parser.parse_args(argv)
    args.work = os.path.abspath(args.work)
    return args


def chosen_songs(args):
    chosen = [s for s in songs.catalogue() if args.set == "all" or s.gate]
    if args.only:
        chosen = [s for s in chosen if re.search(args.only, s.name)]
    return chosen


def make_songs(chosen, folder, jobs):
    """Makes every song, sharing base songs between variants; returns SongFiles in catalogue order."""
    with concurrent.futures.ProcessPoolExecutor(max_workers=jobs) as pool:
        bases = {s.base().key(): s.base() for s in chosen}
        list(pool.map(songs.make, bases.values(), [folder] * len(bases)))
        return list(pool.map(songs.make, chosen, [folder] * len(chosen)))


def run_all(files, tools, scratch, jobs):
    """Runs every available tool on every song; returns {(song name, tool name): Outcome}."""
    outcomes = {}
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        futures = {pool.submit(tool.run, f, scratch): (f.song.name, tool.name) for f in files for tool in tools}
        for future in concurrent.futures.as_completed(futures):
            try:
                outcomes[futures[future]] = future.result()
            except Exception as e:  # a peer that breaks is reported, the run goes on
                outcomes[futures[future]] = analysers.Outcome(error="%s: %s" % (type(e).__name__, e))
    return outcomes


def main(argv):
    args = parse_args(argv)
    bin_dir = os.path.join(args.build, "bin")
    ours = [analysers.OurProgram("trackscan", args.trackscan or os.path.join(bin_dir, "trackscan")),
            analysers.OurProgram("trackscan-desktop",
                                 args.trackscan_desktop or os.path.join(bin_dir, "trackscan-desktop"))]
    tools = ours + ([] if args.no_peers else analysers.peers())
    missing = {tool.name: tool.missing() for tool in tools if tool.missing()}
    if args.gate and any(tool.name in missing for tool in ours):
        print("analysis-eval: skipped, " + "; ".join("%s %s" % (n, m) for n, m in missing.items()
                                                      if n in (t.name for t in ours)))
        return SKIP

    chosen = chosen_songs(args)
    if not chosen:
        sys.exit("analysis-eval: no song matches")
    song_folder = os.path.join(args.work, "songs")
    files = make_songs(chosen, song_folder, args.jobs)
    available = [tool for tool in tools if tool.name not in missing]
    scratch = os.path.join(args.work, "scratch")
    os.makedirs(scratch, exist_ok=True)
    with tempfile.TemporaryDirectory(dir=scratch) as run_scratch:
        outcomes = run_all(files, available, run_scratch, args.jobs)

    rows = report.rows(files, available, outcomes)
    totals = report.totals(files, tools, rows, missing)
    out = args.out or os.path.join(args.work, "results")
    os.makedirs(out, exist_ok=True)
    text = report.markdown(rows, totals)
    report.write(out, rows, totals, text, report.summary(totals, len(files), sum(f.minutes for f in files)))
    print(text)
    print("tables written to %s" % out)

    if args.gate:
        judged = args.gate_tool or [tool.name for tool in ours]
        failures = gate.failures(rows, judged)
        for line in failures:
            print("GATE FAILED: " + line)
        if failures:
            return 1
        print("gate passed: %s" % ", ".join(judged))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
