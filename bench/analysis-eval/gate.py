"""What our analysis programs must reach on the gate's songs: the tempo criteria on every
constant-tempo song, the beat and downbeat criteria on every song."""

MAX_TEMPO_ERROR_BPM = 0.05
MIN_BEAT_F = 0.95
MIN_DOWNBEAT_F = 0.9


def failures(rows, gated_tools):
    """One line per missed criterion of a gated tool's row; rows of other tools are never judged."""
    lines = []
    for r in rows:
        if r["tool"] not in gated_tools:
            continue
        where = "%s on %s" % (r["tool"], r["song"])
        if r["error"]:
            lines.append("%s: %s" % (where, r["error"]))
        if r["constant_tempo"] and not r["acc1"]:
            lines.append("%s: tempo %s is not within 4 %% of %.3f (Accuracy1)" % (where, _bpm(r["bpm"]), r["true_bpm"]))
        if r["constant_tempo"] and (r["tempo_error"] is None or r["tempo_error"] > MAX_TEMPO_ERROR_BPM):
            lines.append("%s: tempo %s is more than %.2f BPM from %.3f" % (where, _bpm(r["bpm"]), MAX_TEMPO_ERROR_BPM,
                                                                          r["true_bpm"]))
        if r["beat_f"] is None or r["beat_f"] < MIN_BEAT_F:
            lines.append("%s: beat F-measure %s below %.2f" % (where, _f(r["beat_f"]), MIN_BEAT_F))
        if r["downbeat_f"] is None or r["downbeat_f"] < MIN_DOWNBEAT_F:
            lines.append("%s: downbeat F-measure %s below %.2f" % (where, _f(r["downbeat_f"]), MIN_DOWNBEAT_F))
    return lines


def _bpm(value):
    return "none" if value is None else "%.3f" % value


def _f(value):
    return "none" if value is None else "%.3f" % value
