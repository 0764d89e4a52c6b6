#!/usr/bin/env bash
# Builds the fuzz target with clang (libFuzzer, AddressSanitizer, UBSan) and
# runs it for a bounded time over the starting corpus. Fails on any crash, leak
# or sanitizer report. Ends with the number of executions.
#   fuzz/run.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/fuzz}
seconds=${2:-60}
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
  -DFERRUNE_FUZZ=ON >/dev/null
cmake --build "$build" --target zrv_fuzz -j"$(nproc)" >/dev/null
# New inputs go to a scratch corpus; the starting inputs in the tree stay as they are.
mkdir -p "$build/corpus"
"$build/fuzz/zrv_fuzz" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
  "$build/corpus" "$root/fuzz/corpus" 2>"$build/fuzz.log" || { tail -n 60 "$build/fuzz.log"; exit 1; }
runs=$(grep -Eo 'Done [0-9]+ runs' "$build/fuzz.log" | grep -Eo '[0-9]+' | tail -n 1)
echo "fuzz: ${runs:-?} executions in ${seconds} s, no crash or leak"
