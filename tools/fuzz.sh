#!/usr/bin/env bash
# Runs a fuzz target for a bounded time over a copy of its seed corpus, and
# prints libFuzzer's figures.
#   tools/fuzz.sh [fuzzer binary] [seconds] [corpus folder] [longest input]
# The defaults are those of the keyboard target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fuzzer=${1:-$root/build/native/tests/fuzz/keyboard_fuzz}
seconds=${2:-600}
corpus=${3:-$root/tests/fuzz/corpus}
max_len=${4:-2200}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$corpus"/* "$work"/
"$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -max_len="$max_len" "$work" 2>&1 |
    grep -E 'Done|stat::|ERROR|SUMMARY|crash|==' || true
test "${PIPESTATUS[0]}" -eq 0
