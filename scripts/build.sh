#!/usr/bin/env bash
# Configures and builds both trees: native (sanitizers) and Windows (MinGW-w64).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
what=${1:-all}
if [ "$what" = all ] || [ "$what" = native ]; then
  cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build "$root/build/native" -j"$jobs"
fi
if [ "$what" = all ] || [ "$what" = win ]; then
  cmake -S "$root" -B "$root/build/win" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$root/build/win" -j"$jobs"
fi
