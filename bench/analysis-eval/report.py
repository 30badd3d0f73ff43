"""Turns analysers' outcomes into per-song rows, per-analyser totals, Markdown and CSV."""

import csv
import os

import metrics

ROW_FIELDS = ["song", "tool", "minutes", "true_bpm", "bpm", "tempo_error", "acc1", "acc2", "beat_f", "downbeat_f",
              "cpu_s", "peak_mb", "error"]
TOTAL_FIELDS = ["tool", "files", "failed", "acc1_pct", "acc2_pct", "mean_tempo_error", "mean_beat_f",
                "mean_downbeat_f", "cpu_s_per_audio_min", "peak_mb", "note"]


def score(truth, outcome, gives_beats, gives_downbeats):
    """The figures of one outcome against the song's truth. A failed run scores as no answer."""
    beats = outcome.beats or []
    downbeats = outcome.downbeats or []
    return {
        "bpm": outcome.bpm,
        "tempo_error": metrics.tempo_error(outcome.bpm, truth["bpm"]),
        "acc1": metrics.accuracy1(outcome.bpm, truth["bpm"]),
        "acc2": metrics.accuracy2(outcome.bpm, truth["bpm"]),
        "beat_f": metrics.f_measure(truth["beats"], beats) if gives_beats else None,
        "downbeat_f": metrics.f_measure(truth["downbeats"], downbeats) if gives_downbeats else None,
    }


def rows(files, tools, outcomes):
    result = []
    for f in files:
        for tool in tools:
            outcome = outcomes[(f.song.name, tool.name)]
            row = {"song": f.song.name, "tool": tool.name, "ours": tool.ours, "minutes": f.minutes,
                   "constant_tempo": f.song.constant_tempo,
                   "true_bpm": f.truth["bpm"], "cpu_s": outcome.cpu_s, "peak_mb": outcome.peak_kb / 1024.0,
                   "error": outcome.error}
            row.update(score(f.truth, outcome, tool.gives_beats, tool.gives_downbeats))
            result.append(row)
    return result


def _mean(values):
    values = [v for v in values if v is not None]
    return sum(values) / len(values) if values else None


def totals(files, tools, table, missing):
    result = []
    for tool in tools:
        mine = [r for r in table if r["tool"] == tool.name]
        if tool.name in missing or not mine:
            result.append({"tool": tool.name, "files": 0, "note": "missing: " + missing.get(tool.name, "no run")})
            continue
        minutes = sum(r["minutes"] for r in mine)
        result.append({
            "tool": tool.name,
            "files": len(mine),
            "failed": sum(1 for r in mine if r["error"]),
            "acc1_pct": 100.0 * sum(r["acc1"] for r in mine) / len(mine),
            "acc2_pct": 100.0 * sum(r["acc2"] for r in mine) / len(mine),
            "mean_tempo_error": _mean([r["tempo_error"] for r in mine]),
            "mean_beat_f": _mean([r["beat_f"] for r in mine]),
            "mean_downbeat_f": _mean([r["downbeat_f"] for r in mine]),
            "cpu_s_per_audio_min": sum(r["cpu_s"] for r in mine) / minutes if minutes else None,
            "peak_mb": max(r["peak_mb"] for r in mine),
            "note": "",
        })
    return result


def _fmt(value, pattern):
    if value is None:
        return "-"
    if isinstance(value, bool):
        return "yes" if value else "no"
    return format(value, pattern)


def markdown(table, total_rows):
    lines = ["### Totals", "",
             "| analyser | files | Acc1 % | Acc2 % | mean tempo error (BPM) | mean beat F | mean downbeat F "
             "| CPU s per min of audio | peak MB | note |",
             "|---|---:|---:|---:|---:|---:|---:|---:|---:|---|"]
    for t in total_rows:
        if not t["files"]:
            lines.append("| %s | 0 | - | - | - | - | - | - | - | %s |" % (t["tool"], t["note"]))
            continue
        note = "%d failed runs" % t["failed"] if t["failed"] else ""
        lines.append("| %s | %d | %s | %s | %s | %s | %s | %s | %s | %s |" % (
            t["tool"], t["files"], _fmt(t["acc1_pct"], ".0f"), _fmt(t["acc2_pct"], ".0f"),
            _fmt(t["mean_tempo_error"], ".3f"), _fmt(t["mean_beat_f"], ".3f"), _fmt(t["mean_downbeat_f"], ".3f"),
            _fmt(t["cpu_s_per_audio_min"], ".3f"), _fmt(t["peak_mb"], ".1f"), note))
    lines += ["", "### Per song", "",
              "| song | analyser | true BPM | BPM | error | Acc1 | Acc2 | beat F | downbeat F | CPU s | peak MB "
              "| problem |",
              "|---|---|---:|---:|---:|---|---|---:|---:|---:|---:|---|"]
    for r in table:
        lines.append("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
            r["song"], r["tool"], _fmt(r["true_bpm"], ".2f"), _fmt(r["bpm"], ".3f"), _fmt(r["tempo_error"], ".3f"),
            _fmt(r["acc1"], ""), _fmt(r["acc2"], ""), _fmt(r["beat_f"], ".3f"), _fmt(r["downbeat_f"], ".3f"),
            _fmt(r["cpu_s"], ".2f"), _fmt(r["peak_mb"], ".1f"), r["error"]))
    return "\n".join(lines) + "\n"


def summary(total_rows, song_count, audio_minutes):
    """The short table for the README: accuracy and speed, ours next to each peer's."""
    lines = ["%d generated songs with known beats (%.0f minutes of audio): 4/4 drum patterns from 72 to 174 BPM "
             "with leading silence, a break, swing, +-6 dB, pad and bass layers, a time stretch, and MP3, M4A and "
             "FLAC copies. Beat and downbeat F-measure at +-70 ms, first 5 s ignored; '-' where the analyser gives "
             "no beats or downbeats." % (song_count, audio_minutes), "",
             "| analyser | Acc1 % | Acc2 % | beat F | downbeat F | CPU s per min of audio |",
             "|---|---:|---:|---:|---:|---:|"]
    for t in total_rows:
        if not t["files"]:
            lines.append("| %s | %s | | | | |" % (t["tool"], t["note"]))
            continue
        lines.append("| %s | %s | %s | %s | %s | %s |" % (
            t["tool"], _fmt(t["acc1_pct"], ".0f"), _fmt(t["acc2_pct"], ".0f"), _fmt(t["mean_beat_f"], ".3f"),
            _fmt(t["mean_downbeat_f"], ".3f"), _fmt(t["cpu_s_per_audio_min"], ".3f")))
    return "\n".join(lines) + "\n"


def _csv(path, fields, items):
    with open(path, "w", newline="") as out:
        writer = csv.DictWriter(out, fieldnames=fields, extrasaction="ignore")
        writer.writeheader()
        for item in items:
            writer.writerow({k: ("" if item.get(k) is None else item.get(k)) for k in fields})


def write(folder, table, total_rows, text, short):
    _csv(os.path.join(folder, "results.csv"), ROW_FIELDS, table)
    _csv(os.path.join(folder, "totals.csv"), TOTAL_FIELDS, total_rows)
    for name, body in (("results.md", text), ("summary.md", short)):
        with open(os.path.join(folder, name), "w") as out:
            out.write(body)
