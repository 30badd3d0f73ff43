#!/usr/bin/env python3
"""decodetool seen from outside, in both configurations: its exit statuses (the magnitude of the
decoder error), the information line, a decode with seeks against the same slices of a whole
decode, and the file conversion.

    decodetool_cli_test.py DECODETOOL DECODETOOL_DESKTOP

Needs sox (scripts/packages/codec-1.txt).
"""

import os
import struct
import subprocess
import sys
import tempfile


def run(cmd):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def samples(path):
    data = open(path, "rb").read()[44:]
    return struct.unpack("<%dh" % (len(data) // 2), data)


def check(condition, what):
    if not condition:
        raise AssertionError(what)


def check_tool(tool, tmp):
    wav = os.path.join(tmp, "in.wav")
    subprocess.run(["sox", "-R", "-D", "-n", "-r", "48000", "-c", "1", "-b", "16", wav, "synth", "1", "sine",
                    "200-4000", "vol", "0.5"], check=True)
    for name in ("x.ogg", "x.mp3"):
        open(os.path.join(tmp, name), "wb").write(b"\0" * 64)

    statuses = [
        ([os.path.join(tmp, "none.wav")], 2),
        ([os.path.join(tmp, "x.ogg")], 11),
        ([os.path.join(tmp, "x.mp3")], 3),
        ([os.path.join(tmp, "x.xyz")], 13),
        (["--rate", "24000", wav], 14),
        (["--rate", "48000", wav], 64),
        (["--seek", "12", wav], 64),
        ([], 64),
        (["--info", wav], 0),
    ]
    for args, expected in statuses:
        got = run([tool] + args).returncode
        check(got == expected, "%s %s: exit %d, expected %d" % (tool, args, got, expected))

    info = [line for line in run([tool, "--info", "--quality", "high", wav]).stdout.splitlines()
            if line.startswith("format=")]
    check(len(info) == 1, "one information line")
    fields = dict(item.split("=") for item in info[0].split())
    expected = {"format": "WAV", "codec": "UNDEFINED", "rate": "48000", "channels": "1", "output": "44100",
                "seek": "NATIVELY_SEEKABLE", "samples": "48000", "exact_ms": "1000", "bitrate": "768000",
                "quality": "FULL", "src": "HIGH", "converter": "yes"}
    for key, value in expected.items():
        check(fields.get(key) == value, "info %s=%s, expected %s" % (key, fields.get(key), value))

    whole = os.path.join(tmp, "whole.wav")
    check(run([tool, wav, whole]).returncode == 0, "whole decode")
    everything = samples(whole)
    check(abs(len(everything) / 2 - 44100) < 40, "whole decode length %d" % len(everything))
    pieces = os.path.join(tmp, "pieces.wav")
    check(run([tool, "--block", "500", "--seek", "30000:1000", "--seek", "7:300", wav, pieces]).returncode == 0,
          "decode with seeks")
    expected_pieces = everything[2 * 30000:2 * 31000] + everything[2 * 7:2 * 307]
    check(samples(pieces) == expected_pieces, "seek slices equal the whole decode's")

    native = os.path.join(tmp, "native.wav")
    check(run([tool, "--native-channels", "--rate", "22050", wav, native]).returncode == 0, "native channels")
    check(abs(len(samples(native)) - 22050) < 40, "mono at 22050")

    converted = os.path.join(tmp, "conv.wav")
    check(run([tool, "--convert", "250:500", wav, converted]).returncode == 0, "conversion")
    check(samples(converted) == everything[2 * 11025:2 * (11025 + 22050)], "conversion equals the span")
    check(run([tool, "--convert", "0:10", wav, os.path.join(tmp, "c.WAV")]).returncode == 13, "conversion name")


def main():
    for tool in sys.argv[1:]:
        with tempfile.TemporaryDirectory(prefix="decodetool-") as tmp:
            check_tool(tool, tmp)
    print("decodetool checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
