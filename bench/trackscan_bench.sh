#!/usr/bin/env bash
# Speed and memory of a whole analysis: a 10-minute drum-loop song as WAV and as MP3 (lame,
# 192 kbit/s), each analysed by trackscan (device configuration) and trackscan-desktop, as
# deckhost starts them ("-g0 -p4"). Prints per run the wall-clock and processor time per minute
# of audio and the peak resident memory (/usr/bin/time -v).
#
#   [MINUTES=n] bench/trackscan_bench.sh [build dir]     (default build/release; built first)
#
# The device build posts its record only when "/bak_analysis" exists; the benchmark leaves the
# queue alone, so nothing is posted.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
minutes=${MINUTES:-10}
for tool in sox lame /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "needs $tool (scripts/setup)" >&2; exit 1; }
done
if [ "$build" = build/release ]; then
    cmake --preset release >/dev/null
    cmake --build --preset release --target trackscan trackscan-desktop >/dev/null
fi
build=$(cd "$build" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seconds=$((minutes * 60))
scripts/sample_song "$work/song.wav" "$seconds" 2>/dev/null
scripts/sample_song "$work/song.mp3" "$seconds" 2>/dev/null

printf '%-18s %-5s %9s %9s %12s %12s %10s\n' program file "wall s" "cpu s" "wall s/min" "cpu s/min" "peak MiB"
for program in trackscan trackscan-desktop; do
    for ext in wav mp3; do
        root="$work/drive-$program-$ext"
        mkdir -p "$root"
        report="$work/time-$program-$ext.txt"
        start=$(date +%s%N)
        if ! /usr/bin/time -v -o "$report" "$build/bin/$program" "$work/song.$ext" "$root" \
            0123456789abcdef0123456789abcdef -g0 -p4 >"$work/out.txt" 2>&1; then
            echo "$program failed on the $ext file:" >&2
            cat "$work/out.txt" >&2
            exit 1
        fi
        end=$(date +%s%N)
        wall=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.2f", (e - s) / 1e9 }')
        cpu=$(awk -F': ' '/User time/ { u = $2 } /System time/ { s = $2 } END { printf "%.2f", u + s }' "$report")
        peak=$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$report")
        printf '%-18s %-5s %9s %9s %12s %12s %10s\n' "$program" "$ext" "$wall" "$cpu" \
            "$(awk -v t="$wall" -v m="$minutes" 'BEGIN { printf "%.3f", t / m }')" \
            "$(awk -v t="$cpu" -v m="$minutes" 'BEGIN { printf "%.3f", t / m }')" "$peak"
    done
done
