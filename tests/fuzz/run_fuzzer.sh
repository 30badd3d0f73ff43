#!/bin/sh
# run_fuzzer.sh TARGET SECONDS WORKDIR SEED_DIR...
# Runs one libFuzzer target for a fixed time on a scratch corpus seeded from the
# committed seeds; a finding leaves its reproducer in WORKDIR and fails the test.
set -eu
target=$1 seconds=$2 work=$3
shift 3
mkdir -p "$work/corpus" "$work/artifacts"
exec "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" "$@"
