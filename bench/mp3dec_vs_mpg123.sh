#!/usr/bin/env bash
# Decoding speed of our MP3 decoder against mpg123 (16-bit output) on the same long files, in
# the same run: a 5-minute stereo 44.1 kHz signal encoded by lame at 128 and 320 kbps, each
# decoded by mp3frames (device and desktop builds) and by mpg123 with its default decoder and
# with each plain-C decoder it lists; best of RUNS runs each (default 5).
# Prints the times and our time over mpg123's (the goal is a ratio at or below 1).
#
#   [RUNS=n] bench/mp3dec_vs_mpg123.sh [build dir]     (default build/release; built first)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
preset=$(basename "$build")
for tool in sox lame mpg123; do
    command -v "$tool" >/dev/null || { echo "needs $tool (scripts/setup)" >&2; exit 1; }
done
if [ "$build" = build/release ]; then
    cmake --preset release >/dev/null
    cmake --build --preset "$preset" --target mp3frames mp3frames-desktop >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sox -R -n -r 44100 -c 2 -b 16 "$work/long.wav" synth 300 pinknoise vol -8dB \
    2>/dev/null

# Best of $RUNS wall-clock runs (default 5), in ms.
best_of() {
    local best=""
    for _ in $(seq "${RUNS:-5}"); do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        local t=$(( (end - start) / 1000000 ))
        if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
    done
    echo "$best"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# mpg123 picks its fastest decoder (SIMD) by default; its plain-C ones are timed too, as the
# fairer match for portable integer code.
plain=$(mpg123 --list-cpu 2>/dev/null | sed -n 's/^Builtin decoders: //p' | tr ' ' '\n' | grep '^generic' || true)

printf "%-8s %-16s %12s %12s %12s %10s %10s\n" bitrate mpg123 "ours dev ms" "ours desk ms" "mpg123 ms" \
    "ratio dev" "ratio desk"
for kbps in 128 320; do
    mp3="$work/long$kbps.mp3"
    lame -S -t -b "$kbps" "$work/long.wav" "$mp3" 2>/dev/null
    ours_dev=$(best_of "$build/tools/mp3frames" -q "$mp3" /dev/null)
    ours_desk=$(best_of "$build/tools/mp3frames-desktop" -q "$mp3" /dev/null)
    for cpu in default $plain; do
        if [ "$cpu" = default ]; then
            ref=$(best_of mpg123 -q -e s16 -w /dev/null "$mp3")
        else
            ref=$(best_of mpg123 --cpu "$cpu" -q -e s16 -w /dev/null "$mp3")
        fi
        printf "%-8s %-16s %12d %12d %12d %10s %10s\n" "${kbps}k" "$cpu" "$ours_dev" "$ours_desk" "$ref" \
            "$(ratio "$ours_dev" "$ref")" "$(ratio "$ours_desk" "$ref")"
    done
done
