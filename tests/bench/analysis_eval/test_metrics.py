#!/usr/bin/env python3
"""Checks the figures of the analysis evaluation on hand-made beat lists with known answers."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "bench",
                                "analysis-eval"))

import metrics  # noqa: E402


def grid(bpm, start, end, offset=0.0):
    """Beats of a constant tempo from start (inclusive) to end (exclusive), shifted by offset."""
    period = 60.0 / bpm
    times = []
    k = 0
    while start + k * period < end:
        times.append(start + k * period + offset)
        k += 1
    return times


class TempoAccuracy(unittest.TestCase):
    CASES = [
        # name, estimate, truth, accuracy1, accuracy2
        ("exact", 120.0, 120.0, True, True),
        ("3.9 % high", 124.68, 120.0, True, True),
        ("4.1 % low", 115.08, 120.0, False, False),
        ("double", 240.0, 120.0, False, True),
        ("half", 64.0, 128.0, False, True),
        ("triple", 262.5, 87.5, False, True),
        ("third", 58.0, 174.0, False, True),
        ("double within 4 %", 245.0, 120.0, False, True),
        ("three halves is no metrical level", 180.0, 120.0, False, False),
        ("four times is no metrical level", 480.0, 120.0, False, False),
        ("no estimate", None, 120.0, False, False),
    ]

    def test_accuracies(self):
        for name, estimate, truth, acc1, acc2 in self.CASES:
            with self.subTest(name):
                self.assertEqual(metrics.accuracy1(estimate, truth), acc1)
                self.assertEqual(metrics.accuracy2(estimate, truth), acc2)

    def test_tempo_error(self):
        self.assertAlmostEqual(metrics.tempo_error(123.65, 123.7), 0.05)
        self.assertIsNone(metrics.tempo_error(None, 120.0))

    def test_tempo_from_beats(self):
        cases = [
            ("steady", grid(128.0, 0.0, 30.0), 128.0),
            ("one late beat does not move the median", sorted(grid(100.0, 0.0, 30.0)[:-1] + [29.95]), 100.0),
            ("unsorted", list(reversed(grid(150.0, 1.0, 20.0))), 150.0),
            ("one beat", [3.0], None),
            ("none", [], None),
        ]
        for name, beats, expected in cases:
            with self.subTest(name):
                got = metrics.tempo_from_beats(beats)
                if expected is None:
                    self.assertIsNone(got)
                else:
                    self.assertAlmostEqual(got, expected, places=6)


class BeatFMeasure(unittest.TestCase):
    # Beats every 0.5 s, none within 70 ms of the 5 s skip boundary, so shifted copies keep their count.
    REFERENCE = grid(120.0, 0.1, 60.0)

    CASES = [
        # name, estimate, expected F
        ("exact", REFERENCE, 1.0),
        ("70 ms late still hits", [t + 0.070 for t in REFERENCE], 1.0),
        ("70 ms early still hits", [t - 0.070 for t in REFERENCE], 1.0),
        ("71 ms late misses", [t + 0.071 for t in REFERENCE], 0.0),
        ("half a beat off misses", [t + 0.25 for t in REFERENCE], 0.0),
        # Every other beat: precision 1, recall 1/2.
        ("half tempo", REFERENCE[::2], 2.0 * 1.0 * 0.5 / 1.5),
        # Twice as many: precision 1/2, recall 1.
        ("double tempo", sorted(REFERENCE + [t + 0.25 for t in REFERENCE]), 2.0 * 0.5 * 1.0 / 1.5),
        ("nothing estimated", [], 0.0),
        # Beats before 5 s count for nothing, right or wrong.
        ("wrong only in the first 5 s", [t + 0.2 if t < 5.0 else t for t in REFERENCE], 1.0),
        ("only the first 5 s", [t for t in REFERENCE if t < 5.0], 0.0),
        # Two estimates near one reference beat: only one may take it.
        ("doubled beats match once", sorted(REFERENCE + [t + 0.03 for t in REFERENCE]), 2.0 * 0.5 / 1.5),
    ]

    def test_f_measure(self):
        for name, estimate, expected in self.CASES:
            with self.subTest(name):
                self.assertAlmostEqual(metrics.f_measure(self.REFERENCE, estimate), expected, places=9)

    def test_edges_in_integer_milliseconds(self):
        # Our result files hold whole milliseconds; 70 ms off in ms must still hit after division.
        reference = [ms / 1000.0 for ms in range(6000, 60000, 500)]
        cases = [("+70 ms", 70, 1.0), ("-70 ms", -70, 1.0), ("+71 ms", 71, 0.0), ("-71 ms", -71, 0.0)]
        for name, shift, expected in cases:
            with self.subTest(name):
                estimate = [(ms + shift) / 1000.0 for ms in range(6000, 60000, 500)]
                self.assertEqual(metrics.f_measure(reference, estimate), expected)

    def test_skip_boundary(self):
        # A beat at exactly 5 s is kept; one just before it is left out, in both lists.
        self.assertEqual(metrics.trim([4.999, 5.0, 7.0, 6.0]), [5.0, 6.0, 7.0])
        self.assertEqual(metrics.f_measure([4.99, 6.0], [6.0]), 1.0)
        self.assertEqual(metrics.f_measure([6.0], [4.99, 6.0]), 1.0)

    def test_empty_lists(self):
        cases = [
            ("no reference", [], [6.0, 7.0]),
            ("no estimate", [6.0, 7.0], []),
            ("neither", [], []),
            ("reference only before the skip", [1.0, 2.0], [1.0, 2.0]),
        ]
        for name, reference, estimate in cases:
            with self.subTest(name):
                self.assertEqual(metrics.f_measure(reference, estimate), 0.0)

    def test_downbeats_off_by_one_beat_miss(self):
        # A downbeat grid on beat 3 instead of beat 1 is as wrong as no downbeats at all.
        downbeats = self.REFERENCE[::4]
        on_three = self.REFERENCE[2::4]
        self.assertEqual(metrics.f_measure(downbeats, downbeats), 1.0)
        self.assertEqual(metrics.f_measure(downbeats, on_three), 0.0)

    def test_count_matches_takes_the_maximum(self):
        # The early estimate could take either reference; the matching must still pair both.
        self.assertEqual(metrics.count_matches([1.00, 1.10], [1.05, 1.16]), 2)
        self.assertEqual(metrics.count_matches([1.00, 1.10], [0.95, 1.02]), 1)


if __name__ == "__main__":
    unittest.main()
