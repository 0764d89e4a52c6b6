#!/usr/bin/env bash
# The container benchmark with both providers on this machine in one go:
# OpenSSL natively (a release tree without sanitizers) and CryptoAPI under
# Wine (the Windows tree's container_bench.exe). Not part of run-tests.
#   bench/run-both.sh [MiB ...]        (default 64 1024)
# Uses build/bench (or FERRUNE_BENCH_DIR) for the native tree, its files and
# a throwaway Wine prefix, and build/win (or FERRUNE_WIN_BUILD) for Windows.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sizes=("$@")
work=${FERRUNE_BENCH_DIR:-$root/build/bench}
win=${FERRUNE_WIN_BUILD:-$root/build/win}
mkdir -p "$work/files"
cmake -S "$root" -B "$work/native" -DCMAKE_BUILD_TYPE=Release -DFERRUNE_SANITIZE=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build "$work/native" --target openssl_bench -j"$(nproc)" >/dev/null
if [ ! -f "$win/bench/container_bench.exe" ]; then
  cmake -S "$root" -B "$win" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$win" --target container_bench -j"$(nproc)" >/dev/null
fi

echo "== OpenSSL provider, native"
"$work/native/bench/openssl_bench" "$work/files" "${sizes[@]}"

echo "== CryptoAPI provider, under Wine"
export FERRUNE_WINEPREFIX=$work/prefix
. "$root/scripts/wine-env.sh"
wine_env_start
trap wine_env_stop EXIT
files_win="Z:${work//\//\\}\\files"
wine "$win/bench/container_bench.exe" "$files_win" "${sizes[@]}"
