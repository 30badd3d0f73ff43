"""anafiles.py seen from outside: files built byte by byte, decoded values, seal checks,
and damaged files that must end in a clear message and exit status 1, never a traceback.

The fixtures are sealed with zlib's CRC-32 rather than the tool's own, so that a fault in
either the tool's checksum or its seal check shows up as a failing fixture.
"""

import importlib.util
import io
import json
import os
import random
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
TOOL = os.path.join(ROOT, "tools", "anafiles", "anafiles.py")

_module_info = importlib.util.spec_from_file_location("anafiles", TOOL)
anafiles = importlib.util.module_from_spec(_module_info)
_module_info.loader.exec_module(anafiles)


# ---------------------------------------------------------------------------------------
# Fixture builders

def le32(value):
    return struct.pack("<I", value & 0xFFFFFFFF)


def seal(body):
    """Appends what the writer appends: the CRC-32 of the body followed by four zeroes."""
    return body + le32(zlib.crc32(body + bytes(4)))


def section(name, data):
    return name.encode("ascii").ljust(8, b"\0") + le32(len(data)) + data


# The record as its layout table gives it: offset, format, value.
RECORD = {
    "lastError": (0, "<i", 0), "quality": (4, "<i", 1), "mode": (8, "<i", 1),
    "genre": (12, "<i", 2), "isOpened": (16, "<I", 1), "isFinalized": (20, "<I", 1),
    "globalFeatures": (24, "<I", 255), "songFeatures": (28, "<I", 7),
    "numChannels": (32, "<I", 2), "inputSampleRate": (36, "<I", 11025),
    "maxLengthInMs": (40, "<I", 181000), "sampleRate": (44, "<I", 0),
    "frameSize": (48, "<I", 256), "fftSize": (52, "<I", 512),
    "beatsPerMinute": (56, "<f", 123.4), "beatsScore": (60, "<I", 87),
    "downbeatsScore": (64, "<I", 0), "audioStart": (68, "<i", -1), "audioEnd": (72, "<i", 180500),
    "musicStart": (76, "<I", 480), "refGain": (80, "<I", 700), "peakValue": (84, "<I", 0xFFFF8000),
    "radioGain": (88, "<I", 1234), "audiophileGain": (92, "<I", 1300), "bitRate": (96, "<i", 320000),
    "durationInMs": (100, "<i", 180999), "isNativelySeekable": (104, "<b", -1),
    "dirty": (105, "<b", 0), "padding": (106, "<H", 0), "private_": (108, "<I", 0),
}


def record(**changes):
    raw = bytearray(112)
    for name, (offset, fmt, value) in RECORD.items():
        struct.pack_into(fmt, raw, offset, changes.get(name, value))
    return bytes(raw)


BEATS = [480, 967, 1453, 1940, 2426, 2913, 3399, 3886, 4372, 4859]
DOWNBEATS = [480, 2426, 4372]
COMMENT = b"time = Mon Jan  1 00:00:00 2024\n, os = Linux, options = -q 1"
FNAME = "/music/some song.mp3"


def point(xp, xn, h, v, r, g, b):
    return struct.pack("<bbBBBBBB", xp, xn, h, v, r, g, b, 0xF0)


def result_sections(profile_points=4, **changes):
    """The sections of a full save in their order, as (name, data) pairs."""
    rec = record(**changes)
    gain = struct.pack("<4I", 700, 0xFFFF8000, 1234, 1300)
    profile = b"".join(point(i, -i, i, 200, 1, 2, 3) for i in range(profile_points))
    return [
        ("version", le32(0x03010500)), ("rawdata", rec),
        ("isfinal", le32(1)), ("audiost", le32(-1)), ("audioen", le32(180500)),
        ("musicst", le32(480)), ("lenms", le32(180999)),
        ("bpm", struct.pack("<f", 123.4)), ("nbeats", le32(len(BEATS))),
        ("beats", struct.pack("<%dI" % len(BEATS), *BEATS)),
        ("ndbeats", le32(len(DOWNBEATS))), ("dbeat", struct.pack("<%dI" % len(DOWNBEATS), *DOWNBEATS)),
        ("gain", gain), ("wfprof", profile), ("fname", FNAME.encode()),
        ("comment", COMMENT.ljust(1024, b"\0")), ("songcs", le32(0x11223344)),
        ("sekcs", le32(0xFFFFFFFF)), ("wfvcs", le32(0xA5A5A5A5)),
        ("fixbpm", struct.pack("<f", 128.0)),
    ]


def result_file(sections=None, sealed=True):
    body = b"".join(section(n, d) for n, d in (sections or result_sections()))
    return seal(body) if sealed else body


WAVE_POINTS = [point(10, -12, 40, 120, 200, 100, 0), point(127, -128, 192, 191, 0, 0, 191),
               point(0, 0, 0, 63, 63, 0, 0)]


def waveform_file(header_res=10, points=WAVE_POINTS, version=0x03010500, sealed=True):
    body = le32(version)
    if header_res is not None:
        body += struct.pack("<bbhBBBB", -1, -1, header_res, 0xFF, 0xFF, 0xFF, 0xFF)
    body += b"".join(points)
    return seal(body) if sealed else body


def seek_trunk(blocks):
    """One trunk: 128 blocks of (offset, six lengths), blockIndex, the link word."""
    raw = b"".join(struct.pack("<I6H", offset, *lengths) for offset, lengths in blocks)
    raw = raw.ljust(128 * 16, b"\0")
    return raw + struct.pack("<i", len(blocks)) + b"\xde\xad\xbe\xef"


def seek_blocks(first_offset, count):
    """count consecutive blocks of varying frame lengths starting at first_offset."""
    blocks, offset = [], first_offset
    for index in range(count):
        lengths = tuple(417 + (index + k) % 2 for k in range(6))
        blocks.append((offset, lengths))
        offset += sum(lengths)
    return blocks, offset


SEEK_FIRST = 417
SEEK_BLOCKS, SEEK_END = seek_blocks(SEEK_FIRST, 130)
SEEK_FRAMES = 130 * 6 + 3  # three frames in the working block are never stored


def seek_file(trunks=None, frames=SEEK_FRAMES, magic=0x02000500, frame_size=2304, partial=0,
              first=SEEK_FIRST, sealed=True):
    if trunks is None:
        trunks = [SEEK_BLOCKS[:128], SEEK_BLOCKS[128:]]
    body = struct.pack("<IiIiiI", magic, first, frames, frame_size, 0, partial)
    body += b"".join(seek_trunk(t) for t in trunks)
    return seal(body) if sealed else body


# ---------------------------------------------------------------------------------------
# Running the tool

class ToolCase(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory()
        self.dir = self._dir.name

    def tearDown(self):
        self._dir.cleanup()

    def write(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def run_tool(self, *args):
        """In-process run: (status, stdout, stderr)."""
        out, err = io.StringIO(), io.StringIO()
        status = anafiles.main(list(args), out, err)
        return status, out.getvalue(), err.getvalue()

    def run_script(self, *args):
        done = subprocess.run([sys.executable, TOOL, *args], capture_output=True, text=True,
                              timeout=120)
        return done.returncode, done.stdout, done.stderr

    def decoded(self, path, *options):
        status, out, err = self.run_tool("--json", *options, path)
        return status, json.loads(out), err

    def assertClean(self, err):
        self.assertNotIn("Traceback", err)
        self.assertNotIn("internal error", err)


# ---------------------------------------------------------------------------------------
# Decoding good files

class ResultFileTest(ToolCase):
    def test_full_save_decodes_every_section(self):
        path = self.write("song.sar", result_file())
        status, got, err = self.decoded(path)
        self.assertEqual((status, err), (0, ""))
        self.assertEqual(got["kind"], "result")
        self.assertTrue(got["seal_ok"])
        expected = {
            "version": 0x03010500, "isfinal": 1, "audiost": -1, "audioen": 180500, "musicst": 480,
            "lenms": 180999, "bpm": 123.4, "nbeats": 10, "ndbeats": 3, "beats": BEATS,
            "downbeats": DOWNBEATS, "fixbpm": 128.0, "wfprof_points": 4, "fname": FNAME,
            "comment": COMMENT.decode(), "audio_crc": 0x11223344, "seek_crc": 0xFFFFFFFF,
            "waveform_crc": 0xA5A5A5A5,
            "gain": {"refGain": 700, "peakValue": 0xFFFF8000, "radioGain": 1234, "audiophileGain": 1300},
        }
        for key, value in expected.items():
            with self.subTest(key=key):
                self.assertEqual(got[key], value)
        want_record = {name: value for name, (_, _, value) in RECORD.items()}
        self.assertEqual(got["rawdata"], want_record)
        self.assertEqual([s["name"] for s in got["sections"]], [n for n, _ in result_sections()])

    def test_text_output_names_sections_values_and_seal(self):
        path = self.write("song.sar", result_file())
        status, out, err = self.run_tool(path)
        self.assertEqual((status, err), (0, ""))
        for expected in ("result file", "0x03010500", "beatsPerMinute       123.4",
                         "quality              1 (MID)", "beats 10: 480 967", "downbeats 3: 480 2426 4372",
                         "refGain 700", "4 points", "0x11223344", "0xffffffff (file could not be opened)",
                         '"time = Mon Jan  1 00:00:00 2024\\n, os = Linux, options = -q 1"', "seal ok"):
            with self.subTest(expected=expected):
                self.assertIn(expected, out)

    def test_minimal_save_leaves_absent_sections_null(self):
        sections = [s for s in result_sections() if s[0] in ("version", "rawdata", "isfinal", "audiost",
                                                               "audioen", "musicst", "lenms", "fixbpm")]
        status, got, err = self.decoded(self.write("min.sar", result_file(sections)))
        self.assertEqual((status, err), (0, ""))
        for key in ("bpm", "nbeats", "ndbeats", "gain", "audio_crc", "seek_crc", "waveform_crc",
                    "wfprof_points", "comment", "fname"):
            with self.subTest(key=key):
                self.assertIsNone(got[key])
        self.assertEqual((got["beats"], got["downbeats"]), ([], []))

    def test_comment_ends_at_first_nul(self):
        sections = [(n, b"abc\0def\0" if n == "comment" else d) for n, d in result_sections()]
        status, got, _ = self.decoded(self.write("c.sar", result_file(sections)))
        self.assertEqual((status, got["comment"]), (0, "abc"))

    def test_writer_disagreements_warn_and_fail_only_when_strict(self):
        def replaced(name, data, base=None):
            return [(n, data if n == name else d) for n, d in (base or result_sections())]

        cases = [
            ("nbeats count", replaced("nbeats", le32(9)), "nbeats says 9 but beats holds 10"),
            ("section vs record", replaced("isfinal", le32(0)), "rawdata.isFinalized"),
            ("gain vs record", replaced("gain", struct.pack("<4I", 700, 5, 1234, 1300)), "gain.peakValue"),
            ("dirty record", replaced("rawdata", record(dirty=1)), "rawdata.dirty is 1"),
            ("beats out of order", replaced("beats", struct.pack("<%dI" % len(BEATS), *BEATS[::-1])),
             "not strictly ascending"),
            ("fixbpm not last", result_sections()[:2] + result_sections()[-1:] + result_sections()[2:-1],
             "not the last section"),
            ("empty section mid-file", replaced("fname", b""), "section walk ends there"),
            ("version too new", replaced("version", le32(0x03020000)), "version 0x03020000 is outside"),
            ("unknown section", result_sections() + [("extra", b"xy")], "unknown section \"extra\""),
            ("unsealed", None, "no checksum after the last section"),
        ]
        for label, sections, message in cases:
            with self.subTest(label):
                data = result_file(sealed=False) if sections is None else result_file(sections)
                path = self.write("w.sar", data)
                status, _, err = self.run_tool(path)
                self.assertIn(message, err)
                self.assertClean(err)
                self.assertEqual(status, 1 if sections is None else 0)
                status, _, _ = self.run_tool("--strict", path)
                self.assertEqual(status, 1)


class WaveformFileTest(ToolCase):
    def test_versions_with_and_without_header_record(self):
        dip = [point(-1, -20, 0, 0, 0, 0, 0)] + WAVE_POINTS[1:]
        cases = [  # header resolution, points, header record expected, resolution, header size
            ("header record", 10, WAVE_POINTS, True, 10, 12),
            ("old file without one", None, WAVE_POINTS, False, 5, 4),
            ("old file whose first point dips to -1", None, dip, False, 5, 4),
            ("largest resolution", 32767, WAVE_POINTS, True, 32767, 12),
        ]
        for label, res, points, has_header, resolution, header_size in cases:
            with self.subTest(label):
                status, got, err = self.decoded(self.write("w.wfv", waveform_file(res, points)))
                self.assertEqual((status, err), (0, ""))
                self.assertEqual((got["kind"], got["version"], got["header_record"], got["resolution_ms"],
                                  got["header_size"], got["points"], got["seal_ok"]),
                                 ("waveform", 0x03010500, has_header, resolution, header_size, 3, True))

    def test_header_only_file_has_no_points(self):
        status, got, err = self.decoded(self.write("e.wfv", waveform_file(points=[])))
        self.assertEqual((status, err, got["points"], got["seal_ok"]), (0, "", 0, True))

    def test_text_output(self):
        status, out, _ = self.run_tool(self.write("w.wfv", waveform_file()))
        self.assertEqual(status, 0)
        for expected in ("waveform file", "version 0x03010500", "header record: 10 ms per point",
                         "3 points", "seal ok"):
            self.assertIn(expected, out)

    def test_point_oddities_warn(self):
        cases = [
            ("padding", [WAVE_POINTS[0][:7] + b"\x00"] + WAVE_POINTS[1:], "padding other than 0xf0"),
            ("trough above zero", [point(5, 3, 0, 0, 0, 0, 0)], "negative peak above 0"),
        ]
        for label, points, message in cases:
            with self.subTest(label):
                status, _, err = self.run_tool(self.write("w.wfv", waveform_file(points=points)))
                self.assertIn(message, err)
                self.assertEqual(status, 0)


class SeekTableFileTest(ToolCase):
    def test_header_and_trunks(self):
        status, got, err = self.decoded(self.write("s.sek", seek_file()))
        self.assertEqual((status, err), (0, ""))
        expected = {"kind": "seektable", "magic": 0x02000500, "first_frame_offset": SEEK_FIRST,
                    "num_audio_frames": SEEK_FRAMES, "audio_frame_size": 2304, "is_compressed": 0,
                    "is_partial": 0, "trunks": 2, "trunk_blocks": [128, 2], "blocks": 130,
                    "stored_frames": 780, "end_offset": SEEK_END, "seal_ok": True}
        for key, value in expected.items():
            with self.subTest(key=key):
                self.assertEqual(got[key], value)

    def test_short_song_has_no_trunk(self):
        status, got, err = self.decoded(self.write("s.sek", seek_file(trunks=[], frames=5)))
        self.assertEqual((status, err, got["trunks"], got["blocks"]), (0, "", 0, 0))

    def test_text_output(self):
        status, out, _ = self.run_tool(self.write("s.sek", seek_file()))
        self.assertEqual(status, 0)
        for expected in ("seek-table file", "magic                0x02000500", "num_audio_frames     783",
                         "trunks               2 (blocks 128 2)", "130 blocks, 780 frames", "seal ok"):
            self.assertIn(expected, out)


class KindDetectionTest(ToolCase):
    def test_contents_decide_without_a_known_extension(self):
        cases = [("result", result_file()), ("waveform", waveform_file()), ("seektable", seek_file())]
        for kind, data in cases:
            with self.subTest(kind):
                status, got, _ = self.decoded(self.write("noext", data))
                self.assertEqual((status, got["kind"], got["seal_ok"]), (0, kind, True))

    def test_unrecognised_contents(self):
        status, got, err = self.decoded(self.write("x.bin", b"\x01\x02\x03\x04\x05\x06\x07\x08"))
        self.assertEqual((status, got["kind"]), (1, None))
        self.assertIn("not a result, waveform or seek-table file", err)

    def test_several_files_give_a_list_and_the_worst_status(self):
        good = self.write("a.sek", seek_file())
        bad = self.write("b.wfv", waveform_file()[:-1] + b"\x00")
        status, out, _ = self.run_tool("--json", good, bad)
        got = json.loads(out)
        self.assertEqual(status, 1)
        self.assertEqual([(g["path"], g["seal_ok"]) for g in got], [(good, True), (bad, False)])


# ---------------------------------------------------------------------------------------
# Checksums

class ChecksumTest(ToolCase):
    def test_known_values(self):
        cases = [  # data, append zeroes, zero last 4, expected
            (b"abc", False, False, 0x352441C2),
            (b"", False, False, 0),
            (b"", True, False, 0x2144DF1C),
            (bytes(4), False, False, 0x2144DF1C),
            (b"ab", False, True, 0x2144DF1C),  # shorter than 4: only the four zeroes count
            (b"abc\xff\xff\xff\xff", False, True, zlib.crc32(b"abc" + bytes(4))),
            (b"123456789", False, False, 0xCBF43926),
        ]
        for data, append, zero_last4, expected in cases:
            with self.subTest(data=data, append=append, zero_last4=zero_last4):
                self.assertEqual(anafiles.file_crc(data, append, zero_last4), expected)

    def test_agrees_with_zlib_where_the_definitions_coincide(self):
        rng = random.Random(7)
        for size in (0, 1, 3, 4, 5, 255, 256, 1000, 4099):
            data = bytes(rng.randrange(256) for _ in range(size))
            with self.subTest(size=size):
                self.assertEqual(anafiles.crc32(data), zlib.crc32(data))
                self.assertEqual(anafiles.file_crc(data), zlib.crc32(data))
                self.assertEqual(anafiles.file_crc(data, append_zeroes=True), zlib.crc32(data + bytes(4)))
                self.assertEqual(anafiles.file_crc(data, zero_last4=True),
                                 zlib.crc32(data[:max(0, size - 4)] + bytes(4)))

    def test_streamed_crcs_match_whole_reads_across_block_edges(self):
        rng = random.Random(11)
        for size in (0, 1, 3, 4, 5, 32767, 32768, 32769, 32771, 32772, 65540):
            data = rng.randbytes(size)
            with self.subTest(size=size):
                whole, sealed, stored = anafiles.stream_crcs(io.BytesIO(data))
                self.assertEqual(whole, zlib.crc32(data))
                self.assertEqual(sealed, zlib.crc32(data[:max(0, size - 4)] + bytes(4)))
                self.assertEqual(stored, struct.unpack("<I", data[-4:])[0] if size >= 4 else None)

    def test_crc_option_gives_what_the_result_file_records(self):
        sealed_file = seek_file()
        path = self.write("s.sek", sealed_file)
        status, out, err = self.run_tool("--crc", path)
        self.assertEqual((status, err), (0, ""))
        stored = struct.unpack("<I", sealed_file[-4:])[0]
        self.assertIn("whole file (as songcs records it):          0x%08x" % zlib.crc32(sealed_file), out)
        self.assertIn("sealed form (as sekcs/wfvcs record it):     0x%08x" % stored, out)
        status, out, _ = self.run_tool("--crc", "--json", path)
        got = json.loads(out)
        self.assertEqual((status, got["whole"], got["sealed"], got["stored_last4"], got["size"]),
                         (0, zlib.crc32(sealed_file), stored, stored, len(sealed_file)))

    def test_crc_of_a_missing_file_fails_cleanly(self):
        status, out, err = self.run_tool("--crc", os.path.join(self.dir, "absent.mp3"))
        self.assertEqual((status, out), (1, ""))
        self.assertIn("cannot read", err)


# ---------------------------------------------------------------------------------------
# Damaged files

def flip(data, index):
    return data[:index] + bytes([data[index] ^ 0x40]) + data[index + 1:]


def with_section_size(data, section_index, size):
    """Rewrites the size word of the n-th section of a result file."""
    offset = 0
    for _ in range(section_index):
        offset += 12 + struct.unpack_from("<I", data, offset + 8)[0]
    return data[:offset + 8] + le32(size) + data[offset + 12:]


class DamagedFileTest(ToolCase):
    def test_corruptions(self):
        good_sar, good_wfv, good_sek = result_file(), waveform_file(), seek_file()
        middle_trunk = [SEEK_BLOCKS[:127], SEEK_BLOCKS[127:]]
        moved = (SEEK_BLOCKS[50][0] + 1, SEEK_BLOCKS[50][1])
        broken_chain = [SEEK_BLOCKS[:50] + [moved] + SEEK_BLOCKS[51:128], SEEK_BLOCKS[128:]]
        cases = [  # label, name, data, message on stderr ("" when the seal alone tells)
            ("result: flipped data byte", "a.sar", flip(good_sar, 200), "seal"),
            ("result: flipped seal byte", "a.sar", flip(good_sar, len(good_sar) - 1), "seal"),
            ("result: flipped size word", "a.sar", flip(good_sar, 16 + 9), "claims 16496 bytes"),
            ("result: truncated head", "a.sar", good_sar[:10], "too short for a section head"),
            ("result: cut inside a head", "a.sar", good_sar[:16 + 112 + 20], "stray byte"),
            ("result: cut inside a section", "a.sar", good_sar[:16 + 60], "claims 112 bytes but only 48"),
            ("result: size beyond the file", "a.sar", seal(with_section_size(good_sar[:-4], 3, 1 << 31)),
             "claims 2147483648 bytes"),
            ("result: size just past the seal", "a.sar",
             seal(with_section_size(good_sar[:-4], 19, 6)), "stray byte"),
            ("result: first section not version", "a.sar",
             result_file([("rawdata", record())] + result_sections()[1:]),
             "first section must be \"version\""),
            ("result: short record", "a.sar",
             result_file([result_sections()[0], ("rawdata", record()[:100])] + result_sections()[2:]),
             "second section must be \"rawdata\""),
            ("result: odd beat list", "a.sar",
             result_file([(n, d + b"\x01" if n == "beats" else d) for n, d in result_sections()]),
             "not a multiple of 4"),
            ("result: wrong fixed size", "a.sar",
             result_file([(n, d + bytes(4) if n == "bpm" else d) for n, d in result_sections()]),
             "section \"bpm\" has 8 bytes, not 4"),
            ("result: garbage", "a.sar", random.Random(3).randbytes(3000), ""),
            ("waveform: flipped point byte", "a.wfv", flip(good_wfv, 14), "seal"),
            ("waveform: truncated head", "a.wfv", good_wfv[:6], "ends before its first record"),
            ("waveform: stray bytes", "a.wfv", seal(waveform_file(sealed=False) + b"\x01\x02"),
             "6 byte(s) after the last whole point"),
            ("waveform: zero resolution", "a.wfv", waveform_file(0), "0 ms per point"),
            ("waveform: negative resolution", "a.wfv", waveform_file(-5), "-5 ms per point"),
            ("waveform: unsealed", "a.wfv", waveform_file(sealed=False), "no checksum"),
            ("seek table: flipped length", "a.sek", flip(good_sek, 24 + 5), "seal"),
            ("seek table: truncated head", "a.sek", good_sek[:20], "too short for the 24-byte header"),
            ("seek table: cut inside a trunk", "a.sek", good_sek[:24 + 1000], "after the last whole trunk"),
            ("seek table: bad magic", "a.sek", seek_file(magic=0x02000501), "magic 0x02000501"),
            ("seek table: zero frame size", "a.sek", seek_file(frame_size=0), "frame size 0"),
            ("seek table: negative first offset", "a.sek", seek_file(first=-1), "first frame offset -1"),
            ("seek table: middle trunk not full", "a.sek", seek_file(trunks=middle_trunk),
             "only the last may be partly filled"),
            ("seek table: block offsets disagree", "a.sek", seek_file(trunks=broken_chain),
             "block 50 of trunk 0 starts at"),
            ("seek table: too many frames", "a.sek", seek_file(frames=SEEK_FRAMES + 3),
             "786 frames recorded but 130 blocks stored"),
            ("seek table: too few frames", "a.sek", seek_file(frames=779), "779 frames recorded"),
            ("seek table: unsealed", "a.sek", seek_file(sealed=False), "no checksum"),
            ("empty result file", "a.sar", b"", "empty file"),
            ("empty waveform file", "a.wfv", b"", "empty file"),
            ("empty seek table", "a.sek", b"", "empty file"),
            ("empty file without extension", "a", b"", "empty file"),
        ]
        for label, name, data, message in cases:
            with self.subTest(label):
                path = self.write(name, data)
                status, out, err = self.run_tool(path)
                self.assertEqual(status, 1)
                self.assertClean(err)
                self.assertIn(message, err + out)
                status, got, _ = self.decoded(path)
                self.assertEqual(status, 1)
                self.assertTrue(got["errors"] or not got["seal_ok"])

    def test_every_truncation_and_every_flipped_byte_fails_cleanly(self):
        short_comment = [(n, b"c" if n == "comment" else d) for n, d in result_sections(profile_points=2)]
        sek = seek_file(trunks=[SEEK_BLOCKS[:3]], frames=20)
        # The unused blocks of a trunk are zeroes like any other: the sweep takes the header,
        # the filled blocks, and the trunk's end with the seal.
        sek_positions = list(range(24 + 4 * 16)) + list(range(24 + 128 * 16 - 4, len(sek)))
        fixtures = [("s.sar", result_file(short_comment), None), ("s.wfv", waveform_file(), None),
                    ("s.sek", sek, sek_positions)]
        for name, data, positions in fixtures:
            positions = positions or range(len(data))
            damaged = [data[:n] for n in positions] + [flip(data, i) for i in positions]
            for index, broken in enumerate(damaged):
                path = self.write(name, broken)
                status, _, err = self.run_tool("--json", path)
                if status != 1 or "internal error" in err:
                    self.fail("%s damaged case %d: status %d, %s" % (name, index, status, err))

    def test_random_garbage_never_breaks_the_reader(self):
        rng = random.Random(2024)
        prefixes = [b"", b"version\0\x04\0\0\0", b"\x00\x05\x00\x02", b"\x00\x05\x01\x03\xff\xff"]
        for trial in range(300):
            data = rng.choice(prefixes) + rng.randbytes(rng.randrange(0, 300))
            for name in ("g.sar", "g.wfv", "g.sek", "g"):
                path = self.write(name, data)
                status, _, err = self.run_tool("--json", path)
                if status not in (0, 1) or "internal error" in err:
                    self.fail("trial %d %s: status %d, %s" % (trial, name, status, err))


# ---------------------------------------------------------------------------------------
# The command line as a program

class CommandLineTest(ToolCase):
    def test_statuses(self):
        good = self.write("s.sek", seek_file())
        bad = self.write("b.sek", flip(seek_file(), 30))
        cases = [  # arguments, status, text expected on stdout or stderr
            ([good], 0, "seal ok"),
            (["--json", good], 0, '"seal_ok": true'),
            ([bad], 1, "seal BAD"),
            ([good, bad], 1, "seal BAD"),
            ([os.path.join(self.dir, "missing.sar")], 1, "cannot read"),
            ([self.dir], 1, "cannot read"),
            ([], 2, "usage"),
            (["--crc"], 2, "usage"),
            (["--bogus", good], 2, "unrecognized arguments"),
        ]
        for args, status, text in cases:
            with self.subTest(args=args):
                code, out, err = self.run_script(*args)
                self.assertEqual(code, status, err)
                self.assertIn(text, out + err)
                self.assertNotIn("Traceback", err)

    def test_crc_lines_are_labelled(self):
        code, out, err = self.run_script("--crc", self.write("audio.mp3", b"abc"))
        self.assertEqual((code, err), (0, ""))
        self.assertIn("whole file (as songcs records it):          0x352441c2", out)
        self.assertIn("last 4 bytes (the seal of a sealed file):   none", out)


if __name__ == "__main__":
    unittest.main()
