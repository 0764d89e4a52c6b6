#!/usr/bin/env bash
# Configures and builds both trees: native (sanitizers) and Windows (MinGW-w64),
# with the switches the tests use to hold or break a job.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
what=${1:-all}
if [ "$what" = all ] || [ "$what" = native ]; then
  cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=Debug -DFERRUNE_TEST_SWITCHES=ON >/dev/null
  cmake --build "$root/build/native" -j"$jobs"
fi
if [ "$what" = all ] || [ "$what" = win ]; then
  cmake -S "$root" -B "$root/build/win" -DCMAKE_BUILD_TYPE=Release -DFERRUNE_TEST_SWITCHES=ON \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$root/build/win" -j"$jobs"
fi
