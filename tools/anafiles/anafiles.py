#!/usr/bin/env python3
"""Reads a song's analysis files from outside and checks their seals.

    anafiles.py [--json] [--strict] FILE...   decode result (.sar), waveform (.wfv) and
                                               seek-table (.sek) files, check each seal
    anafiles.py [--json] --crc FILE...         the CRC-32 values a result file records
                                               for other files (songcs, sekcs, wfvcs)

The file kind comes from the extension, or from the contents when the extension is not
one of the three. Every file is read whole and decoded without trusting any size or
count in it; a damaged file gives a message on stderr, never a traceback.

Exit status: 0 when every file was read and every seal holds; 1 when a seal is bad, a
file is malformed or cannot be read (with --strict also when a value disagrees with what
the writer produces); 2 for usage errors.

Nothing here shares code with the unit's own writers and readers: it checks them.
Standard library only.
"""

import argparse
import json
import math
import os
import signal
import struct
import sys

VERSION_MIN, VERSION_MAX = 0x03010000, 0x0301FFFF  # what the unit reads without a warning
SEEK_MAGIC = 0x02000500
SEEK_HEAD_SIZE = 24
SEEK_BLOCKS_PER_TRUNK = 128
SEEK_FRAMES_PER_BLOCK = 6
SEEK_BLOCK_SIZE = 16
SEEK_TRUNK_SIZE = SEEK_BLOCKS_PER_TRUNK * SEEK_BLOCK_SIZE + 8  # blocks, blockIndex, link
SECTION_HEAD_SIZE = 12
RECORD_SIZE = 112
POINT_SIZE = 8
POINT_PADDING = 0xF0
SEAL_SIZE = 4
CRC_UNOPENED = 0xFFFFFFFF  # what the writer records when it could not open the file
SHOWN_BEATS = 8  # how many positions the text output lists per grid

KINDS = {".sar": "result", ".wfv": "waveform", ".sek": "seektable"}
KIND_TITLES = {"result": "result file", "waveform": "waveform file", "seektable": "seek-table file"}


class Malformed(Exception):
    """The file cannot be read as its format says; the message tells where and why."""


# ---------------------------------------------------------------------------------------
# CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, initial and final value
# 0xFFFFFFFF), computed here rather than taken from zlib so that the definition the files
# rely on is written out in one place.

def _crc_table():
    table = []
    for n in range(256):
        c = n
        for _ in range(8):
            c = (c >> 1) ^ 0xEDB88320 if c & 1 else c >> 1
        table.append(c)
    return tuple(table)


CRC_TABLE = _crc_table()
CRC_INIT = 0xFFFFFFFF
FOUR_ZEROES = bytes(4)


def crc32_update(crc, data, table=CRC_TABLE):
    """Folds data into a running (not yet complemented) CRC register."""
    for byte in data:
        crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8)
    return crc


def crc32(data):
    """The plain CRC-32 of a block of bytes."""
    return crc32_update(CRC_INIT, data) ^ 0xFFFFFFFF


def file_crc(data, append_zeroes=False, zero_last4=False):
    """The checksum of a whole file's bytes as the analysis files use it.

    zero_last4 leaves the last 4 bytes out (all of a shorter file); with either flag the
    CRC goes on over four zero bytes. So file_crc(f, zero_last4=True) of a sealed file
    equals the value the seal holds, and file_crc(f) is the plain CRC of the file.
    """
    body = memoryview(data)
    if zero_last4:
        body = body[: max(0, len(data) - SEAL_SIZE)]
    crc = crc32_update(CRC_INIT, body)
    if append_zeroes or zero_last4:
        crc = crc32_update(crc, FOUR_ZEROES)
    return crc ^ 0xFFFFFFFF


def stream_crcs(stream):
    """(whole, sealed, stored) of a file read in blocks, for files too large to hold.

    whole is file_crc(data), sealed is file_crc(data, zero_last4=True), stored the last
    4 bytes as a little-endian value (None for a file shorter than 4 bytes).
    """
    whole = CRC_INIT
    held = b""  # the last up to 4 bytes, not yet folded into the sealed form
    sealed = CRC_INIT
    while True:
        block = stream.read(32768)
        if not block:
            break
        whole = crc32_update(whole, block)
        joined = held + block
        sealed = crc32_update(sealed, joined[:-SEAL_SIZE] if len(joined) > SEAL_SIZE else b"")
        held = joined[-SEAL_SIZE:]
    sealed = crc32_update(sealed, FOUR_ZEROES)
    stored = struct.unpack("<I", held)[0] if len(held) == SEAL_SIZE else None
    return whole ^ 0xFFFFFFFF, sealed ^ 0xFFFFFFFF, stored


def check_seal(data):
    """(ok, stored, computed): a sealed file ends with the CRC of everything before it
    followed by four zero bytes, the zeroes standing where the value was appended."""
    computed = file_crc(data, zero_last4=True)
    if len(data) < SEAL_SIZE:
        return False, None, computed
    stored = struct.unpack_from("<I", data, len(data) - SEAL_SIZE)[0]
    return stored == computed, stored, computed


# ---------------------------------------------------------------------------------------
# Small decoding helpers

def f32(raw):
    """A float32 as the shortest decimal that reads back to the same bits."""
    value = struct.unpack("<f", raw)[0]
    if not math.isfinite(value):
        return value
    for digits in range(1, 10):
        shorter = float("%.*g" % (digits, value))
        if struct.pack("<f", shorter) == raw:
            return shorter
    return value


def json_number(value):
    """JSON has no NaN or infinity: those travel as strings."""
    if isinstance(value, float) and not math.isfinite(value):
        return str(value)
    return value


def show_float(value):
    return repr(value) if isinstance(value, float) else str(value)


def c_text(raw):
    """Bytes up to the first NUL as text; undecodable bytes become U+FFFD."""
    return raw.split(b"\0", 1)[0].decode("utf-8", errors="replace")


def quoted(text):
    return json.dumps(text, ensure_ascii=False)


def section_name(raw):
    name = raw.split(b"\0", 1)[0]
    try:
        text = name.decode("ascii")
        if text.isprintable():
            return text
    except UnicodeDecodeError:
        pass
    return "".join(chr(b) if 32 <= b < 127 else "\\x%02x" % b for b in name)


def hex32(value):
    return "0x%08x" % value


# ---------------------------------------------------------------------------------------
# The 112-byte analysis record ("rawdata")

RECORD_FIELDS = (  # name, struct code; little-endian, no gaps
    ("lastError", "i"), ("quality", "i"), ("mode", "i"), ("genre", "i"),
    ("isOpened", "I"), ("isFinalized", "I"), ("globalFeatures", "I"), ("songFeatures", "I"),
    ("numChannels", "I"), ("inputSampleRate", "I"), ("maxLengthInMs", "I"),
    ("sampleRate", "I"), ("frameSize", "I"), ("fftSize", "I"), ("beatsPerMinute", "f"),
    ("beatsScore", "I"), ("downbeatsScore", "I"), ("audioStart", "i"), ("audioEnd", "i"),
    ("musicStart", "I"), ("refGain", "I"), ("peakValue", "I"), ("radioGain", "I"),
    ("audiophileGain", "I"), ("bitRate", "i"), ("durationInMs", "i"),
    ("isNativelySeekable", "b"), ("dirty", "b"), ("padding", "H"), ("private_", "I"),
)
RECORD_FORMAT = "<" + "".join(code for _, code in RECORD_FIELDS)
assert struct.calcsize(RECORD_FORMAT) == RECORD_SIZE
GAIN_FIELDS = ("refGain", "peakValue", "radioGain", "audiophileGain")

ENUM_NAMES = {
    "lastError": {0: "NOERROR", -1: "NOTOPENED", -2: "ALREADYOPENED", -3: "OUTOFMEMORY",
                  -4: "NOTSUPPORTED", -5: "MODE", -10: "FILEERROR", -11: "INCOMPATIBLEVERSION",
                  -12: "FILEFORMAT", -13: "FILECORRUPTED", -14: "NOTSUPPORTED_CODECS",
                  -15: "NOTSUPPORTED_FILEFORMAT", -16: "NOTSUPPORTED_SAMPLERATE",
                  -17: "NOTSUPPORTED_BITRATE", -18: "NOTSUPPORTED_NUMCHANS", -20: "OUTOFRANGE",
                  -99: "ERROR"},
    "quality": {0: "LOW", 1: "MID", 2: "HIGH", 3: "CUSTOM"},
    "mode": {0: "ONLINE", 1: "OFFLINE"},
    "genre": {0: "DEFAULT", 1: "DANCE", 2: "ROCK", 3: "HIPHOP", 4: "CUSTOM"},
}


def decode_record(raw):
    record = {}
    offset = 0
    for name, code in RECORD_FIELDS:
        size = struct.calcsize("<" + code)
        field = raw[offset:offset + size]
        record[name] = f32(field) if code == "f" else struct.unpack("<" + code, field)[0]
        offset += size
    return record


# ---------------------------------------------------------------------------------------
# Result file: named sections, then the seal

# Sections whose size the format fixes, and those that hold whole elements.
FIXED_SIZES = {"version": 4, "rawdata": RECORD_SIZE, "isfinal": 4, "audiost": 4, "audioen": 4,
               "musicst": 4, "lenms": 4, "bpm": 4, "nbeats": 4, "ndbeats": 4, "gain": 16,
               "songcs": 4, "sekcs": 4, "wfvcs": 4, "fixbpm": 4}
ELEMENT_SIZES = {"beats": 4, "dbeat": 4, "wfprof": POINT_SIZE}
KNOWN_SECTIONS = set(FIXED_SIZES) | set(ELEMENT_SIZES) | {"fname", "comment"}
CRC_SECTIONS = {"songcs": "audio_crc", "sekcs": "seek_crc", "wfvcs": "waveform_crc"}
# The record field each single-value section repeats, as a full save writes them.
RECORD_COPIES = {"isfinal": "isFinalized", "audiost": "audioStart", "audioen": "audioEnd",
                 "musicst": "musicStart", "lenms": "durationInMs", "bpm": "beatsPerMinute"}


def walk_sections(data):
    """Yields (name, offset, size) of each section; raises Malformed when a head or a
    section's data runs past the file. Stops at the seal (4 bytes left) or at the end."""
    offset = 0
    while True:
        left = len(data) - offset
        if left in (0, SEAL_SIZE):
            return
        if left < SECTION_HEAD_SIZE:
            raise Malformed("%d stray byte(s) at offset %d after the last section" % (left, offset))
        name = section_name(data[offset:offset + 8])
        size = struct.unpack_from("<I", data, offset + 8)[0]
        start = offset + SECTION_HEAD_SIZE
        if size > len(data) - start:
            raise Malformed("section %s at offset %d claims %d bytes but only %d follow"
                            % (quoted(name), offset, size, len(data) - start))
        yield name, offset, size
        offset = start + size


def parse_result(data, report):
    report.update(version=None, rawdata=None, bpm=None, nbeats=None, ndbeats=None, beats=[],
                  downbeats=[], gain=None, audio_crc=None, seek_crc=None, waveform_crc=None,
                  fixbpm=None, wfprof_points=None, comment=None, fname=None, isfinal=None,
                  audiost=None, audioen=None, musicst=None, lenms=None, sections=[])
    if len(data) < SECTION_HEAD_SIZE:
        raise Malformed("%d bytes: too short for a section head" % len(data))
    warn = report["warnings"].append
    problems = report["errors"]
    seen = []
    values = {}
    # The section walk is recorded before any value is judged, so that a walk that ends
    # in a damaged head still shows the sections in front of it.
    try:
        for name, offset, size in walk_sections(data):
            report["sections"].append({"name": name, "offset": offset, "size": size})
    except Malformed as fault:
        problems.append(str(fault))
    if not problems and sum(SECTION_HEAD_SIZE + s["size"] for s in report["sections"]) == len(data):
        warn("no checksum after the last section")

    for index, section in enumerate(report["sections"]):
        name, size = section["name"], section["size"]
        raw = data[section["offset"] + SECTION_HEAD_SIZE:section["offset"] + SECTION_HEAD_SIZE + size]
        if index == 0 and (name != "version" or size != 4):
            problems.append("the first section must be \"version\" of 4 bytes, not %s of %d"
                            % (quoted(name), size))
        if index == 1 and (name != "rawdata" or size != RECORD_SIZE):
            problems.append("the second section must be \"rawdata\" of %d bytes, not %s of %d"
                            % (RECORD_SIZE, quoted(name), size))
        if size == 0 and index + 1 < len(report["sections"]):
            warn("section %s is empty: the unit's section walk ends there and never reads "
                 "what follows" % quoted(name))
        if name in seen and name in KNOWN_SECTIONS:
            warn("section %s appears more than once" % quoted(name))
        seen.append(name)
        if name not in KNOWN_SECTIONS:
            warn("unknown section %s (%d bytes)" % (quoted(name), size))
            continue
        if name in FIXED_SIZES and size != FIXED_SIZES[name]:
            problems.append("section %s has %d bytes, not %d" % (quoted(name), size, FIXED_SIZES[name]))
            continue
        if name in ELEMENT_SIZES and size % ELEMENT_SIZES[name]:
            problems.append("section %s has %d bytes, not a multiple of %d"
                            % (quoted(name), size, ELEMENT_SIZES[name]))
            continue
        decode_section(name, raw, report, values)
        # The text is taken now, so that a repeated section shows its own value.
        section["shown"] = result_value_text(name, report)

    check_result_values(report, values, seen, warn)


def decode_section(name, raw, report, values):
    if name == "version":
        report["version"] = struct.unpack("<I", raw)[0]
        if not VERSION_MIN <= report["version"] <= VERSION_MAX:
            report["warnings"].append("version %s is outside %s to %s: the unit warns and reads on"
                                      % (hex32(report["version"]), hex32(VERSION_MIN), hex32(VERSION_MAX)))
    elif name == "rawdata":
        report["rawdata"] = decode_record(raw)
    elif name in ("isfinal", "musicst", "nbeats", "ndbeats"):
        report[name] = struct.unpack("<I", raw)[0]
    elif name in ("audiost", "audioen", "lenms"):
        report[name] = struct.unpack("<i", raw)[0]
    elif name in ("bpm", "fixbpm"):
        report[name] = f32(raw)
    elif name == "beats":
        report["beats"] = list(struct.unpack("<%dI" % (len(raw) // 4), raw))
    elif name == "dbeat":
        report["downbeats"] = list(struct.unpack("<%dI" % (len(raw) // 4), raw))
    elif name == "gain":
        report["gain"] = dict(zip(GAIN_FIELDS, struct.unpack("<4I", raw)))
    elif name == "wfprof":
        report["wfprof_points"] = len(raw) // POINT_SIZE
    elif name == "fname":
        report["fname"] = raw.decode("utf-8", errors="replace")
    elif name == "comment":
        report["comment"] = c_text(raw)
    elif name in CRC_SECTIONS:
        report[CRC_SECTIONS[name]] = struct.unpack("<I", raw)[0]
    values[name] = True


def check_result_values(report, values, seen, warn):
    """What a writer that saves one record produces: counts that match their lists,
    sections that repeat the record's fields, grids in order, fixbpm last."""
    for count, grid, label in (("nbeats", "beats", "beats"), ("ndbeats", "dbeat", "downbeats")):
        if count in values and grid in values and report[count] != len(report[label]):
            warn("%s says %d but %s holds %d" % (count, report[count], grid, len(report[label])))
        elif (count in values) != (grid in values):
            warn("%s without %s" % ((count, grid) if count in values else (grid, count)))
        positions = report[label]
        if any(b <= a for a, b in zip(positions, positions[1:])):
            warn("%s positions are not strictly ascending" % grid)
    record = report["rawdata"]
    if record is not None:
        for section, field in RECORD_COPIES.items():
            if section in values and report[section] != record[field]:
                warn("section %s = %s but rawdata.%s = %s"
                     % (quoted(section), show_float(report[section]), field, show_float(record[field])))
        if report["gain"] is not None:
            for field in GAIN_FIELDS:
                if report["gain"][field] != record[field]:
                    warn("gain.%s = %d but rawdata.%s = %d"
                         % (field, report["gain"][field], field, record[field]))
        for field in ("dirty", "padding", "private_"):
            if record[field] != 0:
                warn("rawdata.%s is %d; a stored record holds 0" % (field, record[field]))
    if "fixbpm" in values and seen and seen[-1] != "fixbpm":
        warn("fixbpm is not the last section: an edit in place looks for it at the end")
    elif "fixbpm" not in values:
        warn("no fixbpm section")


# ---------------------------------------------------------------------------------------
# Waveform file: version word, optional header record, 8-byte points, the seal

def parse_waveform(data, report):
    report.update(version=None, header_record=False, resolution_ms=5, header_size=4, points=0)
    if len(data) < 4 + POINT_SIZE:
        raise Malformed("%d bytes: the file ends before its first record" % len(data))
    report["version"] = struct.unpack_from("<I", data, 0)[0]
    if not VERSION_MIN <= report["version"] <= VERSION_MAX:
        report["warnings"].append("version %s is outside %s to %s: the unit warns and reads on"
                                  % (hex32(report["version"]), hex32(VERSION_MIN), hex32(VERSION_MAX)))
    if data[4] == 0xFF and data[5] == 0xFF:
        report["header_record"] = True
        report["header_size"] = 4 + POINT_SIZE
        report["resolution_ms"] = struct.unpack_from("<h", data, 6)[0]
        if data[8:12] != b"\xff\xff\xff\xff":
            report["warnings"].append("header record ends in %s, not ff ff ff ff" % data[8:12].hex(" "))
        if report["resolution_ms"] <= 0:
            raise Malformed("header record gives %d ms per point" % report["resolution_ms"])
    body = len(data) - report["header_size"]
    report["points"] = body // POINT_SIZE
    stray = body % POINT_SIZE
    if stray not in (0, SEAL_SIZE):
        raise Malformed("%d byte(s) after the last whole point, where only a 4-byte checksum belongs"
                        % stray)
    if stray == 0:
        report["warnings"].append("no checksum after the last point")
    start = report["header_size"]
    bad_padding = negative_troughs = 0
    for offset in range(start, start + report["points"] * POINT_SIZE, POINT_SIZE):
        bad_padding += data[offset + 7] != POINT_PADDING
        negative_troughs += 0 < data[offset + 1] < 0x80
    if bad_padding:
        report["warnings"].append("%d point(s) with padding other than 0x%02x" % (bad_padding, POINT_PADDING))
    if negative_troughs:
        report["warnings"].append("%d point(s) with a negative peak above 0" % negative_troughs)


# ---------------------------------------------------------------------------------------
# Seek-table file: six header words, whole trunks, the seal

SEEK_HEAD_FIELDS = (("magic", "I"), ("first_frame_offset", "i"), ("num_audio_frames", "I"),
                    ("audio_frame_size", "i"), ("is_compressed", "i"), ("is_partial", "I"))


def parse_seektable(data, report):
    report.update(trunks=0, trunk_blocks=[], blocks=0, stored_frames=0, end_offset=None)
    if len(data) < SEEK_HEAD_SIZE:
        raise Malformed("%d bytes: too short for the %d-byte header" % (len(data), SEEK_HEAD_SIZE))
    head = struct.unpack_from("<" + "".join(c for _, c in SEEK_HEAD_FIELDS), data, 0)
    report.update(zip((n for n, _ in SEEK_HEAD_FIELDS), head))
    warn = report["warnings"].append
    if report["magic"] != SEEK_MAGIC:
        raise Malformed("magic %s is not %s" % (hex32(report["magic"]), hex32(SEEK_MAGIC)))
    if report["audio_frame_size"] <= 0:
        raise Malformed("frame size %d is not positive" % report["audio_frame_size"])
    if report["first_frame_offset"] < 0:
        raise Malformed("first frame offset %d is negative" % report["first_frame_offset"])
    if report["is_compressed"] != 0:
        warn("isCompressed is %d; written tables hold 0" % report["is_compressed"])
    if report["is_partial"] != 0:
        warn("isPartial is %d: the table covers only part of the song" % report["is_partial"])
    body = len(data) - SEEK_HEAD_SIZE
    stray = body % SEEK_TRUNK_SIZE
    if stray not in (0, SEAL_SIZE):
        raise Malformed("%d byte(s) after the last whole trunk, where only a 4-byte checksum belongs"
                        % stray)
    if stray == 0:
        warn("no checksum after the last trunk")
    report["trunks"] = body // SEEK_TRUNK_SIZE

    # Lookups walk the trunks 768 frames each and add up the lengths within a block, so
    # every trunk but the last must be full and each block must start where the one
    # before it ends: otherwise a seek lands on a wrong offset.
    expected = report["first_frame_offset"]
    for trunk in range(report["trunks"]):
        base = SEEK_HEAD_SIZE + trunk * SEEK_TRUNK_SIZE
        filled = struct.unpack_from("<i", data, base + SEEK_BLOCKS_PER_TRUNK * SEEK_BLOCK_SIZE)[0]
        report["trunk_blocks"].append(filled)
        if not 0 <= filled <= SEEK_BLOCKS_PER_TRUNK:
            raise Malformed("trunk %d says it holds %d blocks" % (trunk, filled))
        if filled < SEEK_BLOCKS_PER_TRUNK and trunk + 1 < report["trunks"]:
            raise Malformed("trunk %d of %d holds %d blocks: only the last may be partly filled"
                            % (trunk, report["trunks"], filled))
        for block in range(filled):
            at = base + block * SEEK_BLOCK_SIZE
            start = struct.unpack_from("<I", data, at)[0]
            lengths = struct.unpack_from("<6H", data, at + 4)
            if start != expected:
                raise Malformed("block %d of trunk %d starts at %d, where the frames before it end at %d"
                                % (block, trunk, start, expected))
            expected = start + sum(lengths)
        report["blocks"] += filled
    if report["trunks"] and report["trunk_blocks"][-1] == 0:
        warn("the last trunk holds no block")
    report["stored_frames"] = report["blocks"] * SEEK_FRAMES_PER_BLOCK
    report["end_offset"] = expected
    unstored = report["num_audio_frames"] - report["stored_frames"]
    if not 0 <= unstored < SEEK_FRAMES_PER_BLOCK:
        raise Malformed("%d frames recorded but %d blocks stored (%d to %d frames)"
                        % (report["num_audio_frames"], report["blocks"], report["stored_frames"],
                           report["stored_frames"] + SEEK_FRAMES_PER_BLOCK - 1))


# ---------------------------------------------------------------------------------------
# One file

PARSERS = {"result": parse_result, "waveform": parse_waveform, "seektable": parse_seektable}


def detect_kind(path, data):
    kind = KINDS.get(os.path.splitext(path)[1].lower())
    if kind:
        return kind
    if data[:8] == b"version\0":
        return "result"
    if len(data) >= 4:
        word = struct.unpack_from("<I", data, 0)[0]
        if word == SEEK_MAGIC:
            return "seektable"
        if VERSION_MIN <= word <= VERSION_MAX:
            return "waveform"
    return None


def examine(path):
    """Reads and decodes one file into a report (a dict); never raises for bad input."""
    report = {"path": path, "kind": None, "size": None, "seal_ok": False, "seal_stored": None,
              "seal_computed": None, "errors": [], "warnings": []}
    try:
        with open(path, "rb") as stream:
            data = stream.read()
    except OSError as fault:
        report["errors"].append("cannot read: %s" % (fault.strerror or fault))
        return report
    report["size"] = len(data)
    report["kind"] = detect_kind(path, data)
    if not data:
        report["errors"].append("empty file")
        return report
    report["seal_ok"], report["seal_stored"], report["seal_computed"] = check_seal(data)
    if report["kind"] is None:
        report["errors"].append("not a result, waveform or seek-table file (unknown extension, "
                                "unrecognised contents)")
        return report
    try:
        PARSERS[report["kind"]](data, report)
    except Malformed as fault:
        report["errors"].append(str(fault))
    return report


def failed(report, strict):
    return bool(report["errors"]) or not report["seal_ok"] or (strict and bool(report["warnings"]))


# ---------------------------------------------------------------------------------------
# Text output

def grid_text(positions):
    shown = " ".join(str(p) for p in positions[:SHOWN_BEATS])
    more = " ..." if len(positions) > SHOWN_BEATS else ""
    return "%d: %s%s" % (len(positions), shown, more) if positions else "0"


def crc_text(value):
    return hex32(value) + (" (file could not be opened)" if value == CRC_UNOPENED else "")


def result_value_text(name, report):
    if name == "version":
        return hex32(report["version"])
    if name == "rawdata":
        return ""
    if name in ("isfinal", "audiost", "audioen", "musicst", "lenms", "nbeats", "ndbeats"):
        return str(report[name])
    if name in ("bpm", "fixbpm"):
        return show_float(report[name])
    if name == "beats":
        return "beats " + grid_text(report["beats"])
    if name == "dbeat":
        return "downbeats " + grid_text(report["downbeats"])
    if name == "gain":
        return ", ".join("%s %d" % item for item in report["gain"].items())
    if name == "wfprof":
        return "%d points" % report["wfprof_points"]
    if name in ("fname", "comment"):
        return quoted(report[name])
    if name in CRC_SECTIONS:
        return crc_text(report[CRC_SECTIONS[name]])
    return ""


def record_lines(record):
    for name, value in record.items():
        label = ENUM_NAMES.get(name, {}).get(value)
        shown = show_float(value) + (" (%s)" % label if label else "")
        if name == "peakValue" and value >= 0x80000000:
            shown += " (%d)" % (value - 0x100000000)
        yield "      %-20s %s" % (name, shown)


def print_result(report, out):
    print("  %-8s %8s %8s" % ("section", "offset", "size"), file=out)
    for section in report["sections"]:
        print(("  %-8s %8d %8d  %s" % (section["name"], section["offset"], section["size"],
                                      section.get("shown", ""))).rstrip(), file=out)
        if section["name"] == "rawdata" and section.get("shown") is not None:
            for line in record_lines(report["rawdata"]):
                print(line, file=out)


def print_waveform(report, out):
    if report["version"] is not None:
        print("  version %s" % hex32(report["version"]), file=out)
    if report["header_record"]:
        print("  header record: %d ms per point" % report["resolution_ms"], file=out)
    else:
        print("  no header record: %d ms per point" % report["resolution_ms"], file=out)
    print("  %d points" % report["points"], file=out)


def print_seektable(report, out):
    if "magic" not in report:
        return
    for name, _ in SEEK_HEAD_FIELDS:
        value = report[name]
        print("  %-20s %s" % (name, hex32(value) if name == "magic" else value), file=out)
    if report["trunk_blocks"] or report["trunks"]:
        print("  %-20s %d (blocks %s)" % ("trunks", report["trunks"],
                                          " ".join(str(b) for b in report["trunk_blocks"])), file=out)
        print("  %-20s %d blocks, %d frames, ending at offset %s"
              % ("stored", report["blocks"], report["stored_frames"], report["end_offset"]), file=out)


PRINTERS = {"result": print_result, "waveform": print_waveform, "seektable": print_seektable}


def print_report(report, out):
    title = KIND_TITLES.get(report["kind"], "unknown kind")
    size = "" if report["size"] is None else ", %d bytes" % report["size"]
    print("%s: %s%s" % (report["path"], title, size), file=out)
    if report["kind"] in PRINTERS and report["size"]:
        PRINTERS[report["kind"]](report, out)
    if report["size"]:
        if report["seal_stored"] is None:
            print("  seal BAD (file shorter than its checksum)", file=out)
        elif report["seal_ok"]:
            print("  seal ok (%s)" % hex32(report["seal_stored"]), file=out)
        else:
            print("  seal BAD (stored %s, computed %s)"
                  % (hex32(report["seal_stored"]), hex32(report["seal_computed"])), file=out)


# ---------------------------------------------------------------------------------------
# JSON output

def json_report(report):
    shaped = {}
    for key, value in report.items():
        if key == "sections":
            value = [{k: v for k, v in section.items() if k != "shown"} for section in value]
        elif isinstance(value, dict):
            value = {k: json_number(v) for k, v in value.items()}
        shaped[key] = json_number(value)
    return shaped


def dump_json(items, out):
    body = items[0] if len(items) == 1 else items
    json.dump(body, out, indent=2, ensure_ascii=False)
    out.write("\n")


# ---------------------------------------------------------------------------------------
# Command line

def crc_report(path):
    report = {"path": path, "size": None, "whole": None, "sealed": None, "stored_last4": None,
              "errors": []}
    try:
        with open(path, "rb") as stream:
            report["whole"], report["sealed"], report["stored_last4"] = stream_crcs(stream)
            report["size"] = stream.tell()
    except OSError as fault:
        report["errors"].append("cannot read: %s" % (fault.strerror or fault))
    return report


def print_crc(report, out):
    print("%s: %d bytes" % (report["path"], report["size"]), file=out)
    print("  whole file (as songcs records it):          %s" % hex32(report["whole"]), file=out)
    print("  sealed form (as sekcs/wfvcs record it):     %s" % hex32(report["sealed"]), file=out)
    stored = report["stored_last4"]
    stored = "none (shorter than 4 bytes)" if stored is None else hex32(stored)
    print("  last 4 bytes (the seal of a sealed file):   %s" % stored, file=out)


class UsageError(Exception):
    pass


class Parser(argparse.ArgumentParser):
    def error(self, message):
        raise UsageError(message)


def build_parser():
    parser = Parser(prog="anafiles.py", description="Decode a song's analysis files and check their seals.")
    parser.add_argument("--json", action="store_true", help="one JSON object per file (a list for several)")
    parser.add_argument("--crc", action="store_true",
                        help="print the whole-file and sealed-form CRC-32 of each file instead")
    parser.add_argument("--strict", action="store_true",
                        help="values that disagree with what the writer produces fail too")
    parser.add_argument("files", nargs="+", metavar="FILE")
    return parser


def handle_file(path, args, out, err):
    """Reads, reports and judges one file: (failed, the JSON object for it)."""
    report = crc_report(path) if args.crc else examine(path)
    for message in report["errors"]:
        print("anafiles.py: %s: %s" % (path, message), file=err)
    for message in report.get("warnings", []):
        print("anafiles.py: %s: warning: %s" % (path, message), file=err)
    if args.crc:
        if not args.json and not report["errors"]:
            print_crc(report, out)
        return bool(report["errors"]), report
    if not args.json:
        print_report(report, out)
    return failed(report, args.strict), json_report(report)


def main(argv=None, out=None, err=None):
    out = out or sys.stdout
    err = err or sys.stderr
    parser = build_parser()
    try:
        args = parser.parse_args(argv)
    except UsageError as fault:
        parser.print_usage(err)
        print("anafiles.py: %s" % fault, file=err)
        return 2

    status = 0
    reports = []
    for path in args.files:
        try:
            bad, item = handle_file(path, args, out, err)
        except Exception as fault:  # a fault of this tool, not of the file: say so plainly
            print("anafiles.py: %s: internal error: %s: %s" % (path, type(fault).__name__, fault), file=err)
            bad, item = True, {"path": path, "errors": ["internal error"]}
        status |= bad
        reports.append(item)
    if args.json:
        dump_json(reports, out)
    return 1 if status else 0


if __name__ == "__main__":
    if hasattr(signal, "SIGPIPE"):
        signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # "anafiles.py x | head" ends quietly
    sys.exit(main())
