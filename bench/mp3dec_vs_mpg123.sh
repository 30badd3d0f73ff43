#!/usr/bin/env bash
# Decoding speed of our MP3 decoder against mpg123 (16-bit output) on the same long files, in
# the same run: a 5-minute stereo 44.1 kHz signal encoded by lame at 128 and 320 kbps, each
# decoded by mp3frames (device and desktop builds) and by mpg123; best of three runs each.
# Prints the times and our time over mpg123's (the goal is a ratio at or below 1).
#
#   bench/mp3dec_vs_mpg123.sh [build dir]     (default build/release; built first)
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
sox -n -r 44100 -c 2 -b 16 "$work/long.wav" synth 300 pinknoise vol -8dB \
    2>/dev/null

best_of_three() {
    local best=""
    for _ in 1 2 3; do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        local t=$(( (end - start) / 1000000 ))
        if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
    done
    echo "$best"
}

printf "%-8s %12s %12s %12s %10s %10s\n" bitrate "ours dev ms" "ours desk ms" "mpg123 ms" "ratio dev" "ratio desk"
for kbps in 128 320; do
    mp3="$work/long$kbps.mp3"
    lame -S -t -b "$kbps" "$work/long.wav" "$mp3" 2>/dev/null
    ours_dev=$(best_of_three "$build/tools/mp3frames" -q "$mp3" /dev/null)
    ours_desk=$(best_of_three "$build/tools/mp3frames-desktop" -q "$mp3" /dev/null)
    ref=$(best_of_three mpg123 -q -e s16 -w /dev/null "$mp3")
    printf "%-8s %12d %12d %12d %10s %10s\n" "${kbps}k" "$ours_dev" "$ours_desk" "$ref" \
        "$(awk -v a="$ours_dev" -v b="$ref" 'BEGIN { printf "%.2f", a / b }')" \
        "$(awk -v a="$ours_desk" -v b="$ref" 'BEGIN { printf "%.2f", a / b }')"
done
