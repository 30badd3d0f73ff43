#!/usr/bin/env python3
"""Checks the evaluation's reader of our result files on hand-built files."""

import os
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "bench",
                                "analysis-eval"))

import sarfile  # noqa: E402


def section(name, data):
    return struct.pack("<8sI", name.encode(), len(data)) + data


def uint32s(values):
    return struct.pack("<%dI" % len(values), *values)


def result_file(*sections):
    # The reader does not check the seal; any four bytes stand in for it.
    return b"".join(sections) + b"\x12\x34\x56\x78"


FULL = result_file(
    section("version", uint32s([0x03010500])),
    section("rawdata", bytes(112)),
    section("bpm", struct.pack("<f", 127.99)),
    section("nbeats", uint32s([3])),
    section("beats", uint32s([500, 969, 1438])),
    section("ndbeats", uint32s([1])),
    section("dbeat", uint32s([500])),
    section("fixbpm", struct.pack("<f", 0.0)),
)


class ReadGrid(unittest.TestCase):
    def read(self, data):
        with tempfile.NamedTemporaryFile(suffix=".sar") as f:
            f.write(data)
            f.flush()
            return sarfile.read_grid(f.name)

    def test_full_file(self):
        bpm, beats, downbeats = self.read(FULL)
        self.assertAlmostEqual(bpm, 127.99, places=4)
        self.assertEqual(beats, [0.5, 0.969, 1.438])
        self.assertEqual(downbeats, [0.5])

    def test_files_without_grids(self):
        cases = [
            ("no grid sections", result_file(section("version", uint32s([0x03010500])))),
            ("only the seal", b"\0\0\0\0"),
            ("empty", b""),
        ]
        for name, data in cases:
            with self.subTest(name):
                self.assertEqual(self.read(data), (None, [], []))

    def test_section_past_the_end_is_an_error(self):
        with self.assertRaises(ValueError):
            self.read(FULL[:-40])

    def test_names_are_compared_whole(self):
        # "beatsx" is not "beats"; "dbeat" must not be taken for the beat list either.
        data = result_file(section("beatsx", uint32s([1, 2])), section("dbeat", uint32s([700])))
        self.assertEqual(self.read(data), (None, [], [0.7]))

    def test_size_zero_head_ends_the_walk(self):
        data = section("bpm", struct.pack("<f", 120.0)) + section("version", b"") + section("beats", uint32s([9]))
        self.assertEqual(self.read(data)[1], [])


if __name__ == "__main__":
    unittest.main()
