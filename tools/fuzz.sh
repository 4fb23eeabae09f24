#!/usr/bin/env bash
# Runs the keyboard fuzz target for a bounded time over a copy of the seed
# corpus, and prints libFuzzer's figures.
#   tools/fuzz.sh [fuzzer binary] [seconds]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fuzzer=${1:-$root/build/native/tests/fuzz/keyboard_fuzz}
seconds=${2:-600}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root"/tests/fuzz/corpus/* "$work"/
"$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -max_len=2200 "$work" 2>&1 |
    grep -E 'Done|stat::|ERROR|SUMMARY|crash|==' || true
test "${PIPESTATUS[0]}" -eq 0
