"""Reads the tempo and the grids from one of our analysis result files (.sar).

The file is a run of sections (8-byte NUL-padded name, uint32 LE size, data) sealed by a 4-byte
checksum. Only the grid sections are read here; anything unexpected ends the walk and is reported
rather than guessed at.
"""

import struct

HEAD = struct.Struct("<8sI")


def read_sections(data):
    """Maps section name to its data bytes. Raises ValueError on a section that runs past the end."""
    sections = {}
    offset = 0
    # The trailing 4-byte checksum is too short to be a section head.
    while offset + HEAD.size <= len(data):
        raw_name, size = HEAD.unpack_from(data, offset)
        if size == 0:
            break
        start = offset + HEAD.size
        if start + size > len(data):
            raise ValueError("section %r of %d bytes runs past the end of the file" % (raw_name, size))
        sections.setdefault(raw_name.rstrip(b"\0").decode("ascii", "replace"), data[start:start + size])
        offset = start + size
    return sections


def _uint32s(blob):
    return list(struct.unpack("<%dI" % (len(blob) // 4), blob[:len(blob) // 4 * 4]))


def read_grid(path):
    """Tempo (BPM or None) and beat and downbeat times in seconds from a result file."""
    with open(path, "rb") as f:
        sections = read_sections(f.read())
    bpm = struct.unpack("<f", sections["bpm"])[0] if len(sections.get("bpm", b"")) == 4 else None
    beats = [ms / 1000.0 for ms in _uint32s(sections.get("beats", b""))]
    downbeats = [ms / 1000.0 for ms in _uint32s(sections.get("dbeat", b""))]
    return bpm, beats, downbeats
