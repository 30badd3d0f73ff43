#!/usr/bin/env python3
"""Checks that the analysis gate fails our programs on each missed criterion and never judges peers."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "bench",
                                "analysis-eval"))

import gate  # noqa: E402


def row(**changes):
    good = {"song": "128-plain", "tool": "trackscan", "constant_tempo": True, "true_bpm": 128.0, "bpm": 128.01,
            "tempo_error": 0.01, "acc1": True, "acc2": True, "beat_f": 0.99, "downbeat_f": 0.97, "error": ""}
    good.update(changes)
    return good


class Gate(unittest.TestCase):
    CASES = [
        # name, row, words expected in the one failure line (None: passes)
        ("all good", row(), None),
        ("tempo error at the limit passes", row(bpm=128.05, tempo_error=0.05), None),
        ("F-measures at the limits pass", row(beat_f=0.95, downbeat_f=0.9), None),
        ("tempo error above 0.05 BPM", row(bpm=128.06, tempo_error=0.06), "more than 0.05 BPM"),
        ("beat F below 0.95", row(beat_f=0.949), "beat F-measure 0.949"),
        ("downbeat F below 0.9", row(downbeat_f=0.899), "downbeat F-measure 0.899"),
        ("failed run", row(error="exit status 74"), "exit status 74"),
        ("no downbeats at all", row(downbeat_f=None), "downbeat F-measure none"),
    ]

    def test_single_criteria(self):
        for name, r, words in self.CASES:
            with self.subTest(name):
                lines = gate.failures([r], ["trackscan"])
                if words is None:
                    self.assertEqual(lines, [])
                else:
                    self.assertEqual(len(lines), 1, lines)
                    self.assertIn(words, lines[0])
                    self.assertIn("trackscan on 128-plain", lines[0])

    def test_octave_error_fails_both_tempo_criteria(self):
        lines = gate.failures([row(bpm=64.0, tempo_error=64.0, acc1=False)], ["trackscan"])
        self.assertEqual(len(lines), 2)
        self.assertIn("Accuracy1", lines[0])

    def test_no_tempo_fails(self):
        lines = gate.failures([row(bpm=None, tempo_error=None, acc1=False, acc2=False)], ["trackscan"])
        self.assertEqual(len(lines), 2)

    def test_tempo_criteria_only_on_constant_tempo_songs(self):
        r = row(constant_tempo=False, bpm=100.0, tempo_error=28.0, acc1=False)
        self.assertEqual(gate.failures([r], ["trackscan"]), [])

    def test_peers_are_never_judged(self):
        bad = row(tool="aubio beat", bpm=64.0, tempo_error=64.0, acc1=False, beat_f=0.1, downbeat_f=None,
                  error="exit status 1")
        self.assertEqual(gate.failures([bad], ["trackscan", "trackscan-desktop"]), [])

    def test_every_gated_tool_and_song_is_judged(self):
        rows = [row(), row(tool="trackscan-desktop", beat_f=0.5), row(song="120-plain", beat_f=0.5)]
        lines = gate.failures(rows, ["trackscan", "trackscan-desktop"])
        self.assertEqual(len(lines), 2)
        self.assertIn("trackscan-desktop on 128-plain", lines[0])
        self.assertIn("trackscan on 120-plain", lines[1])


if __name__ == "__main__":
    unittest.main()
