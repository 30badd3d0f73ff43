"""Figures that judge one analysis against the known beats of a generated song.

The conventions are those of the public beat-tracking evaluations, so that our figures read like
the ones DJ-software users quote:
- Accuracy1: the tempo is within 4 % of the true tempo.
- Accuracy2: the same, also allowing the octave-style errors x2, x3, x1/2 and x1/3.
- Beat F-measure: beats are matched one to one within +-70 ms; beats in the first 5 s of the song
  are left out of both lists (trackers need a few seconds to settle, and so do listeners).
- Downbeat F-measure: the same on the bar starts.

Times are in seconds; lists need not be sorted.
"""

import statistics

TEMPO_TOLERANCE = 0.04
METRICAL_FACTORS = (1.0, 2.0, 3.0, 1.0 / 2.0, 1.0 / 3.0)
BEAT_TOLERANCE_S = 0.070
SKIP_S = 5.0

# Times come from integer milliseconds or sample counts; a beat exactly 70 ms away must count as a
# hit even when the subtraction lands a hair above 0.07.
_EDGE_SLACK_S = 1e-9


def tempo_error(estimate, truth):
    """Absolute tempo error in BPM; None when there is no estimate."""
    if estimate is None:
        return None
    return abs(estimate - truth)


def accuracy1(estimate, truth, tolerance=TEMPO_TOLERANCE):
    """True when the estimate is within tolerance (relative) of the true tempo."""
    if estimate is None or truth <= 0:
        return False
    return abs(estimate - truth) <= tolerance * truth + 1e-12


def accuracy2(estimate, truth, tolerance=TEMPO_TOLERANCE):
    """True when the estimate is within tolerance of the true tempo times 1, 2, 3, 1/2 or 1/3."""
    return any(accuracy1(estimate, truth * factor, tolerance) for factor in METRICAL_FACTORS)


def tempo_from_beats(beats):
    """Tempo in BPM from the median interval of a beat list; None with fewer than two beats."""
    times = sorted(beats)
    intervals = [b - a for a, b in zip(times, times[1:]) if b > a]
    if not intervals:
        return None
    return 60.0 / statistics.median(intervals)


def trim(times, skip=SKIP_S):
    """The sorted times at or after skip seconds."""
    return sorted(t for t in times if t >= skip)


def count_matches(reference, estimate, tolerance=BEAT_TOLERANCE_S):
    """Number of one-to-one pairs (reference, estimate) no further apart than tolerance.

    Both lists sorted. On a line, taking the earliest possible pair first gives a maximum matching,
    so this equals the bipartite-matching count of the public evaluations.
    """
    limit = tolerance + _EDGE_SLACK_S
    i = j = matches = 0
    while i < len(reference) and j < len(estimate):
        difference = estimate[j] - reference[i]
        if difference < -limit:
            j += 1
        elif difference > limit:
            i += 1
        else:
            matches += 1
            i += 1
            j += 1
    return matches


def f_measure(reference, estimate, tolerance=BEAT_TOLERANCE_S, skip=SKIP_S):
    """F-measure of estimated against reference times after leaving out the first skip seconds.

    0.0 when either list is empty after the trim (nothing to match is no success).
    """
    ref = trim(reference, skip)
    est = trim(estimate, skip)
    if not ref or not est:
        return 0.0
    matches = count_matches(ref, est, tolerance)
    if matches == 0:
        return 0.0
    precision = matches / len(est)
    recall = matches / len(ref)
    return 2.0 * precision * recall / (precision + recall)
