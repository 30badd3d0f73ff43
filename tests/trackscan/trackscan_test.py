#!/usr/bin/env python3
"""Runs the built analysis programs from outside and checks what a launcher sees: exit
statuses, printed text, the analysis files left on the drive and the record posted on the
analysis queue.

    trackscan_test.py GROUP --trackscan PATH --desktop PATH --mqtool PATH --source DIR --anafiles PATH

GROUP is one of: switches, refusals, analysis, queue, accented. The analysis and queue groups use the
system-wide queue "/bak_analysis" and must not run beside anything else that does.
"""

import argparse
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

QUEUE = "/bak_analysis"
RECORD_SIZE = 112
SONG_ID = "0123456789abcdef0123456789abcdef"

SHORT_USAGE = (b"usage: trackscan audioFileName rootFolder songId\n"
               b"             or\n"
               b"       trackscan --help\n")
HELP = (b"usage: trackscan audioFileName rootFolder songId\n"
        b"             or\n"
        b"       trackscan --version\n"
        b"             or\n"
        b"       trackscan --error-code\n"
        b"             or\n"
        b"       trackscan --help\n"
        b"\n\n"
        b"example: trackscan \"e:\\audio.mp3\" \"e:\" \"FE66E7B1E7D1C4B8AAA2FD5BB8B71A39\"\n"
        b"\n\n")
ERROR_CODES = (b"\nError Code\n"
               b"  84 - SONGANALYSIS_ERROR_OUTOFRANGE\n"
               b"  82 - SONGANALYSIS_ERROR_NOTSUPPORTED_NUMCHANS\n"
               b"  81 - SONGANALYSIS_ERROR_NOTSUPPORTED_BITRATE\n"
               b"  80 - SONGANALYSIS_ERROR_NOTSUPPORTED_SAMPLERATE\n"
               b"  79 - SONGANALYSIS_ERROR_NOTSUPPORTED_FILEFORMAT\n"
               b"  78 - SONGANALYSIS_ERROR_NOTSUPPORTED_CODECS\n"
               b"  77 - SONGANALYSIS_ERROR_FILECORRUPTED\n"
               b"  76 - SONGANALYSIS_ERROR_FILEFORMAT\n"
               b"  75 - SONGANALYSIS_ERROR_INCOMPATIBLEVERSION\n"
               b"  74 - SONGANALYSIS_ERROR_FILEERROR\n"
               b"  69 - SONGANALYSIS_ERROR_MODE\n"
               b"  68 - SONGANALYSIS_ERROR_NOTSUPPORTED\n"
               b"  67 - SONGANALYSIS_ERROR_OUTOFMEMORY\n"
               b"  66 - SONGANALYSIS_ERROR_ALREADYOPENED\n"
               b"  65 - SONGANALYSIS_ERROR_NOTOPENED\n")


class Checker:
    """Collects failed checks so that one run reports all of them."""

    def __init__(self):
        self.failures = []

    def expect(self, ok, what):
        if not ok:
            self.failures.append(what)
            print("FAIL: " + what, flush=True)
        return ok

    def equal(self, got, want, what):
        return self.expect(got == want, f"{what}: got {got!r}, want {want!r}")


def run(program, *args, timeout=900):
    return subprocess.run([program, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)


def show(proc):
    return f"(status {proc.returncode}, stdout {proc.stdout[-400:]!r}, stderr {proc.stderr[-400:]!r})"


class Queue:
    """The analysis queue, made as deckhost makes it, through the queue tool."""

    def __init__(self, tool):
        self.tool = tool

    def _call(self, *args):
        proc = subprocess.run([self.tool, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30)
        if proc.returncode != 0:
            raise RuntimeError(f"mqtool {' '.join(args)}: {proc.stderr.decode(errors='replace')}")
        return proc.stdout

    def create(self, msgsize=RECORD_SIZE):
        self._call("create", QUEUE, "2", str(msgsize))

    def fill(self, count):
        self._call("fill", QUEUE, str(count))

    def drain(self):
        return self._call("drain", QUEUE)

    def remove(self):
        self._call("unlink", QUEUE)


# ---------------------------------------------------------------------------------------------
# Analysis files, read through the analysis-file reader


def analysis_files(root, product, song_id=SONG_ID):
    stem = os.path.join(root, f"Quilo{product}_Database", "analysis", song_id[:2], song_id[2:])
    return {ext: stem + "." + ext for ext in ("sar", "sek", "wfv")}


def read(path):
    with open(path, "rb") as f:
        return f.read()


def u32(data):
    return struct.unpack("<I", data[:4])[0]


def f32_bytes(value):
    return struct.pack("<f", value)


# The record fields deckhost stores from a posted record, with their offsets and types.
HANDED_OVER = [("quality", 4, "<i"), ("maxLengthInMs", 40, "<I"), ("beatsPerMinute", 56, "<f"),
               ("audioStart", 68, "<i"), ("audioEnd", 72, "<i"), ("refGain", 80, "<I"), ("peakValue", 84, "<I"),
               ("radioGain", 88, "<I"), ("audiophileGain", 92, "<I"), ("bitRate", 96, "<i"),
               ("durationInMs", 100, "<i")]


def examine(a, paths):
    """The reader's JSON reports of the given files, by path."""
    proc = subprocess.run([sys.executable, a.anafiles, "--json", *paths], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=120)
    reports = json.loads(proc.stdout)
    if isinstance(reports, dict):
        reports = [reports]
    return dict(zip(paths, reports))


def check_result_files(c, a, label, files, audio, options, tempo=120.0):
    """The three analysis files of one finished run. Returns the result file's report."""
    for path in files.values():
        if not c.expect(os.path.isfile(path), f"{label}: {path} written"):
            return {}
    reports = examine(a, list(files.values()))
    sar, sek, wfv = (reports[files[ext]] for ext in ("sar", "sek", "wfv"))
    for ext, report in (("sar", sar), ("sek", sek), ("wfv", wfv)):
        c.expect(report.get("seal_ok") is True, f"{label}: the .{ext} file is sealed")
    c.equal(sar.get("errors"), [], f"{label}: result file errors")
    c.equal(wfv.get("errors"), [], f"{label}: waveform file errors")
    c.equal(sar.get("version"), 0x03010500, f"{label}: result file version")
    c.equal(sar.get("rawdata", {}).get("private_"), 0, f"{label}: stored record's private slot")
    bpm = sar.get("bpm")
    c.expect(isinstance(bpm, float) and abs(bpm - tempo) <= 0.05, f"{label}: tempo {bpm} is {tempo} +- 0.05")
    c.equal(sar.get("audio_crc"), zlib.crc32(read(audio)), f"{label}: songcs is the audio file's CRC-32")
    c.equal(sar.get("seek_crc"), sek.get("seal_stored"), f"{label}: sekcs is the seek-table file's seal")
    c.equal(sar.get("waveform_crc"), wfv.get("seal_stored"), f"{label}: wfvcs is the waveform file's seal")
    comment = sar.get("comment", "")
    c.expect(comment.endswith("options =" + options), f"{label}: the comment ends with {options!r}: {comment!r}")
    return sar


def make_song(source, path, seconds, *extra):
    subprocess.run([os.path.join(source, "scripts", "sample_song"), path, str(seconds), *extra], check=True,
                   stderr=subprocess.DEVNULL, timeout=300)


# ---------------------------------------------------------------------------------------------
# Groups


def group_switches(c, a, work):
    cases = [
        # arguments, status, standard output, standard error
        (["--version"], 0, b"03010500", b""),
        (["--version", "extra"], 0, b"03010500", b""),
        (["--supports-hash"], 0, b"2\n", b""),
        (["--error-code"], 0, ERROR_CODES, b""),
        (["--sizeof"], 0, b"size of wfv = 8, size of sa = 112\n", b""),
        (["--help"], 0, HELP, b""),
        (["--Version"], 1, b"", SHORT_USAGE),
        (["nothing", "else"], 1, b"", SHORT_USAGE),
        ([], 1, b"", SHORT_USAGE),
    ]
    c.equal(len(HELP), 256, "long usage length")
    c.equal(len(SHORT_USAGE), 89, "short usage length")
    for program in (a.trackscan, a.desktop):
        name = os.path.basename(program)
        for args, status, out, err in cases:
            proc = run(program, *args)
            label = f"{name} {' '.join(args)}"
            c.equal(proc.returncode, status, f"{label}: status")
            c.equal(proc.stdout, out, f"{label}: standard output")
            c.equal(proc.stderr, err, f"{label}: standard error")
        proc = run(program, "--buildtime")
        text = proc.stdout.decode()
        date, _, time = text.partition("-")
        c.expect(proc.returncode == 0 and len(date) == 8 and date.isdigit() and time.isdigit(),
                 f"{name} --buildtime: {text!r}")


def group_refusals(c, a, work):
    song = os.path.join(work, "song.wav")
    make_song(a.source, song, 2)
    ogg = os.path.join(work, "song.ogg")
    with open(ogg, "wb") as f:
        f.write(read(song))
    missing = os.path.join(work, "missing.wav")
    root = os.path.join(work, "drive")
    cases = [
        # label, arguments, status, texts standard output holds once each, standard error (None: not
        # checked), the product whose analysis folder is made (None: nothing is made under the root).
        # The cases that make folders come last.
        ("relative root", [song, "drive", SONG_ID, "-p4"], 1, [], b"Please use absolute path\n", None),
        ("relative audio file", ["song.wav", root, SONG_ID, "-p4"], 1, [], b"Please use absolute path\n", None),
        ("invalid product before the paths", ["song.wav", "drive", SONG_ID, "-p6"], 0,
         [b"invalid product 6, use -p4 or -p8\n"], b"", None),
        ("short song id", [song, root, "ab", "-p4"], 1, [], SHORT_USAGE, None),
        ("song id with a folder", [song, root, "ab/../../../x", "-p4"], 1, [], SHORT_USAGE, None),
        ("song id naming the parent folder", [song, root, "..cdef", "-p4"], 1, [], SHORT_USAGE, None),
        # A line printed before the folder is made must not come out twice through the child.
        ("missing audio file", [missing, root, SONG_ID, "-p4", "-m2"], 74,
         [b"ERROR: option bpm-mode = 2 is out of range (0, 1)\n", b"(err = 74;"], None, 4),
        ("unsupported format, default product", [ogg, root, SONG_ID], 76, [b"(err = 76;"], None, 8),
    ]
    for program in (a.trackscan, a.desktop):
        name = os.path.basename(program)
        os.mkdir(root)
        for label, args, status, outs, err, made in cases:
            proc = run(program, *args, timeout=120)
            what = f"{name}, {label}"
            c.equal(proc.returncode, status, f"{what}: status {show(proc)}")
            for out in outs:
                c.equal(proc.stdout.count(out), 1, f"{what}: times standard output holds {out!r}")
            if err is not None:
                c.equal(proc.stderr, err, f"{what}: standard error")
            if made is None:
                c.expect(not os.listdir(root), f"{what}: nothing made under the root: {os.listdir(root)}")
            else:
                folder = os.path.dirname(analysis_files(root, made)["sar"])
                c.expect(os.path.isdir(folder), f"{what}: {folder} made")
        for product in (4, 8):
            c.expect(not os.path.exists(analysis_files(root, product)["sar"]), f"{name}: no result file after failed runs")
        shutil.rmtree(root)


def group_analysis(c, a, work):
    """The launcher's own call on a three-minute song, on both programs, with the queue there."""
    song = os.path.join(work, "song.wav")
    make_song(a.source, song, 180)
    queue = Queue(a.mqtool)
    try:
        for program, posts in ((a.trackscan, True), (a.desktop, False)):
            name = os.path.basename(program)
            root = os.path.join(work, name)
            os.mkdir(root)
            queue.create()
            proc = run(program, song, root, SONG_ID, "-g0", "-p4")
            if not c.equal(proc.returncode, 0, f"{name}: status {show(proc)}"):
                continue
            c.expect(f"Starting analysis of '{song}' (songid={SONG_ID})\n".encode() in proc.stdout,
                     f"{name}: start line")
            c.expect(f"Analysis of '{song}' completed (err = 0; CPU time used = ".encode() in proc.stdout,
                     f"{name}: completion line")
            sar = check_result_files(c, a, name, analysis_files(root, 4), song, " -g0 -p4")
            posted = queue.drain()
            if not posts:
                c.equal(len(posted), 0, f"{name}: bytes posted on the queue")
                continue
            if not c.equal(len(posted), RECORD_SIZE, f"{name}: one record posted"):
                continue
            c.equal(u32(posted[108:]), 0, f"{name}: posted record's private slot")
            if isinstance(sar.get("bpm"), float):
                c.equal(posted[56:60], f32_bytes(sar["bpm"]), f"{name}: posted tempo is the stored tempo")
            stored = sar.get("rawdata", {})
            for field, offset, code in HANDED_OVER:
                value = struct.unpack_from(code, posted, offset)[0]
                c.equal(value, stored.get(field), f"{name}: posted {field} is the stored one")
    finally:
        queue.remove()


def group_queue(c, a, work):
    """How the device program hands its record over when the queue is missing, full or unfit."""
    song = os.path.join(work, "song.wav")
    make_song(a.source, song, 10)
    queue = Queue(a.mqtool)
    filler = bytes([0xA5]) * RECORD_SIZE
    try:
        cases = [
            # label, queue message size or None for no queue, records already in it,
            # status, a text standard error holds, what the queue holds afterwards
            ("no queue", None, 0, 0, b"", None),
            ("full queue", RECORD_SIZE, 2, 113, b"the queue is full", filler * 2),
            ("queue of smaller messages", 64, 0, 113, b"cannot send", b""),
        ]
        for label, msgsize, prefilled, status, err, after in cases:
            queue.remove()
            if msgsize is not None:
                queue.create(msgsize)
                queue.fill(prefilled)
            root = os.path.join(work, label.replace(" ", "_"))
            os.mkdir(root)
            proc = run(a.trackscan, song, root, SONG_ID, "-g0", "-p4", timeout=120)
            c.equal(proc.returncode, status, f"{label}: status {show(proc)}")
            c.expect(err in proc.stderr, f"{label}: standard error holds {err!r}: {proc.stderr!r}")
            c.expect(f"(err = {status};".encode() in proc.stdout, f"{label}: completion line shows {status}")
            c.expect(os.path.isfile(analysis_files(root, 4)["sar"]), f"{label}: the result file is written")
            if after is not None:
                c.equal(queue.drain(), after, f"{label}: queue contents afterwards")
    finally:
        queue.remove()


def group_accented(c, a, work):
    """A drum loop whose bar opens with a beat 6 dB louder than the other three: the tempo
    stays that of the loop on both programs."""
    song = os.path.join(work, "accented.wav")
    make_song(a.source, song, 60, "120", "6")
    for program in (a.trackscan, a.desktop):
        name = os.path.basename(program)
        root = os.path.join(work, name)
        os.mkdir(root)
        proc = run(program, song, root, SONG_ID, "-g0", "-p4")
        if c.equal(proc.returncode, 0, f"{name}: status {show(proc)}"):
            check_result_files(c, a, name, analysis_files(root, 4), song, " -g0 -p4")


GROUPS = {
    "accented": group_accented,
    "switches": group_switches,
    "refusals": group_refusals,
    "analysis": group_analysis,
    "queue": group_queue,
}


def private_queues():
    """Runs this check again with message queues of its own, where unshare allows it.

    The device program posts to the machine-wide "/bak_analysis": another test run on the same
    machine (a second checkout, a developer's deckhost) would see this check's records or fill
    its queue. CTest's resource lock only separates the tests of one run.
    """
    if os.environ.get("TRACKSCAN_TEST_PRIVATE_IPC") == "1":
        return
    prefix = ["unshare", "--ipc", "--"]
    try:
        usable = subprocess.run(prefix + ["true"], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL).returncode == 0
    except OSError:
        usable = False
    if usable:
        os.environ["TRACKSCAN_TEST_PRIVATE_IPC"] = "1"
        sys.stdout.flush()
        os.execvp(prefix[0], prefix + [sys.executable] + sys.argv)


def main():
    private_queues()
    parser = argparse.ArgumentParser()
    parser.add_argument("group", choices=sorted(GROUPS))
    parser.add_argument("--trackscan", required=True)
    parser.add_argument("--desktop", required=True)
    parser.add_argument("--mqtool", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--anafiles", required=True)
    a = parser.parse_args()
    c = Checker()
    with tempfile.TemporaryDirectory(prefix="trackscan-test-") as work:
        GROUPS[a.group](c, a, work)
    if c.failures:
        print(f"{len(c.failures)} check(s) failed in group {a.group}")
        return 1
    print(f"group {a.group}: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
