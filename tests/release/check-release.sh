#!/usr/bin/env bash
# Runs scripts/release.sh once and checks what it made, as the people who
# install it would meet it. Ends with "release: N checks passed, N failed".
# The Windows checks use the Wine environment of the caller (run-tests), or
# start one of their own; the setup's checks (setup-checks.sh) make a fresh
# prefix for themselves.
#   FERRUNE_RELEASE_BUILD, FERRUNE_DIST   as for scripts/release.sh
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
export FERRUNE_RELEASE_BUILD=${FERRUNE_RELEASE_BUILD:-$root/build/release}
export FERRUNE_DIST=${FERRUNE_DIST:-$root/build/release-dist}
build=$FERRUNE_RELEASE_BUILD
dist=$FERRUNE_DIST

bash "$root/scripts/release.sh" || { echo "release: the release script failed"; exit 1; }
version=$(cat "$build/win/version.txt")
zip=$dist/ferrune-$version-windows-x64.zip
deb=$dist/zrv_$version-1_amd64.deb

scratch=$(mktemp -d)
own_wine=0
cleanup() {
  [ "$own_wine" = 0 ] || wine_env_stop
  rm -rf "$scratch"
}
trap cleanup EXIT

passed=0
failed=0
check() {  # check NAME COMMAND...: one promise of the release
  local name=$1 out
  shift
  if out=$("$@" 2>&1); then
    echo "ok: $name"; passed=$((passed + 1))
  else
    echo "FAILED: $name"; failed=$((failed + 1))
  fi
  [ -z "$out" ] || printf '%s\n' "$out" | sed 's/^/    /'
}

sums_match() { (cd "$dist" && sha256sum -c --strict SHA256SUMS) && [ "$(wc -l <"$dist/SHA256SUMS")" = 3 ]; }

lintian_clean() {
  local out
  out=$(lintian --fail-on error "$deb" 2>&1 | grep -v 'running with root privileges')
  local status=${PIPESTATUS[0]}
  [ -z "$out" ] || printf '%s\n' "$out" >&2
  [ "$status" = 0 ]
}

deb_layout() {
  local want got
  want=$(printf '%s\n' ./usr/bin/zrv ./usr/share/doc/zrv/THIRD-PARTY-NOTICES.txt ./usr/share/doc/zrv/changelog.Debian.gz \
    ./usr/share/doc/zrv/copyright ./usr/share/man/man1/zrv.1.gz)
  got=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
  [ "$got" = "$want" ] || { printf 'files in the package:\n%s\n' "$got"; return 1; }
}

# One package for Debian 12 and 13 and Ubuntu 22.04 to 26.04: libunistring is
# inside zrv, OpenSSL's library under either of its names.
deb_depends() {
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  grep -qE '(^|, )libssl3 \(>= [0-9.]+\) \| libssl3t64(,|$)' <<<"$depends" && ! grep -q libunistring <<<"$depends" ||
    { echo "Depends: $depends"; return 1; }
  ! x86_64-linux-gnu-objdump -p "$scratch/deb/usr/bin/zrv" 2>/dev/null | grep -E 'NEEDED +libunistring' ||
    { echo "zrv needs a shared libunistring"; return 1; }
}

gzip_without_name_or_time() {  # gzip -n: flags byte and the four time bytes all zero
  local f header
  for f in usr/share/man/man1/zrv.1.gz usr/share/doc/zrv/changelog.Debian.gz; do
    header=$(od -An -tx1 -j3 -N5 "$scratch/deb/$f" | tr -d ' ')
    [ "$header" = 0000000000 ] || { echo "$f: header $header"; return 1; }
  done
}

copyright_has_licence() {
  local c=$scratch/deb/usr/share/doc/zrv/copyright
  head -n 1 "$c" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' &&
    grep -q '^Copyright: 2026 The Ferrune developers$' "$c" && grep -q '^License: Expat$' "$c" &&
    grep -qF ' copies or substantial portions of the Software.' "$c" &&
    grep -q '^License: LGPL-3+ or GPL-2+$' "$c" && grep -q '^License: GPL-3+ with GCC-exception-3.1 exception$' "$c"
}

# What each artefact carries of others, with the licence texts.
notices_name_components() {
  local n=$scratch/notices-zip.txt d=$scratch/deb/usr/share/doc/zrv/THIRD-PARTY-NOTICES.txt
  tr -d '\r' <"$scratch/zip/THIRD-PARTY-NOTICES.txt" >"$n"
  grep -qx 'MinGW-w64 runtime' "$n" && grep -qx 'winpthreads' "$n" && grep -qx 'GCC runtime libraries' "$n" &&
    grep -qF 'Zope Public License' "$n" && grep -qF 'GCC RUNTIME LIBRARY EXCEPTION' "$n" ||
    { echo "the zip's notices lack a component"; return 1; }
  grep -qx 'GNU libunistring' "$d" && grep -qx 'GCC runtime libraries' "$d" && ! grep -qx 'winpthreads' "$d" &&
    grep -qF "libunistring-dev $(dpkg-query -W -f '${Version}' libunistring-dev)" "$d" ||
    { echo "the package's notices do not fit what zrv carries"; return 1; }
}

zrv_version() {
  local out
  out=$("$scratch/deb/usr/bin/zrv" --version)
  [ "$out" = "zrv (Ferrune) $version" ] || { echo "printed: $out"; return 1; }
}

zrv_round_trip() {
  local dir=$scratch/trip zrv=$scratch/deb/usr/bin/zrv
  mkdir -p "$dir"
  head -c 1500000 /dev/urandom >"$dir/data.bin"
  cp "$dir/data.bin" "$dir/original"
  printf 'correct horse battery\n' >"$dir/pw"
  "$zrv" --password-file "$dir/pw" encrypt "$dir/data.bin" </dev/null 2>"$dir/err" || { cat "$dir/err"; return 1; }
  [ -f "$dir/data.bin.zrv" ] && [ ! -e "$dir/data.bin" ] || { ls -l "$dir"; return 1; }
  cmp -s "$dir/data.bin.zrv" "$dir/original" && { echo "the output is the input"; return 1; }
  "$zrv" --password-file "$dir/pw" decrypt "$dir/data.bin.zrv" </dev/null 2>"$dir/err" || { cat "$dir/err"; return 1; }
  cmp "$dir/data.bin" "$dir/original"
}

zip_members() {
  local got
  got=$(unzip -Z1 "$zip" | tr '\n' ' ')
  [ "$got" = "ferrune.exe zrv.exe README.txt LICENSE THIRD-PARTY-NOTICES.txt " ] || { echo "members: $got"; return 1; }
}

text_files_crlf() {
  local f
  for f in README.txt LICENSE THIRD-PARTY-NOTICES.txt; do
    LC_ALL=C awk '!/\r$/ { print FILENAME ": line " NR " has no CR"; bad = 1; exit } END { exit bad }' "$scratch/zip/$f" ||
      return 1
  done
  tr -d '\r' <"$scratch/zip/LICENSE" | cmp - "$root/LICENSE"
}

version_resources() {  # FILEVERSION major, minor, 0, 0 and the text, in both exes
  local major=${version%%.*} minor=${version#*.} exe rc
  minor=$((10#${minor%%.*}))
  for exe in ferrune.exe zrv.exe; do
    rc=$(x86_64-w64-mingw32-windres -i "$scratch/zip/$exe" -O rc) || return 1
    grep -qx " FILEVERSION $major, $minor, 0, 0" <<<"$rc" && grep -qF "\"FileVersion\", \"$version\"" <<<"$rc" ||
      { echo "$exe:"; grep -i version <<<"$rc"; return 1; }
  done
  # The title and the information page's version line are written out in the
  # code; every one of them must name this version.
  local titles
  titles=$(strings -el "$scratch/zip/ferrune.exe" | grep -E '^Ferrune File Encrypter [0-9]' | sort -u)
  [ "$titles" = "Ferrune File Encrypter $version" ] || { printf 'titles in ferrune.exe:\n%s\n' "$titles"; return 1; }
}

no_build_paths() {  # the checkout's and the build's folders stay out of the binaries
  ! grep -lF -e "$root" -e "$build" "$scratch/zip/ferrune.exe" "$scratch/zip/zrv.exe" "$scratch/deb/usr/bin/zrv"
}

zrv_exe_version() {
  local out
  out=$(wine "$scratch/zip/zrv.exe" --version | tr -d '\r')
  [ "$out" = "zrv (Ferrune) $version" ] || { echo "printed: $out"; return 1; }
}

window_shows() {  # started from the unzipped folder, as after "unzip anywhere"
  if xwininfo -root -tree 2>/dev/null | grep -q '"Ferrune"'; then echo "a Ferrune window was already there"; return 1; fi
  (cd "$scratch/zip" && exec wine ./ferrune.exe) >/dev/null 2>&1 &
  local pid=$! shown=0 _
  for _ in $(seq 1 300); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"Ferrune"'; then shown=1; break; fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  [ "$shown" = 1 ] || { echo "no window \"Ferrune\" within 30 s"; return 1; }
}

# The test switches with values that would hold a job at its start (two
# minutes, past the time-outs below) and break the window's start.
switches() {  # GATE: the variables, with the pause's file at GATE
  echo "FERRUNE_TEST_PAUSE=$1" FERRUNE_TEST_PAUSE_AT=open FERRUNE_FAULT=thread,noprovider,registry,syncevent
}

no_switch_names_in_the_binaries() {
  local f name
  for f in "$scratch/zip/ferrune.exe" "$scratch/zip/zrv.exe" "$scratch/deb/usr/bin/zrv"; do
    for name in FERRUNE_TEST_PAUSE FERRUNE_FAULT FERRUNE_TEST_STREAMS; do
      if strings -a "$f" | grep -q "$name" || strings -a -el "$f" | grep -q "$name"; then
        echo "$f reads $name"
        return 1
      fi
    done
  done
}

# A path as the tool of KIND (native or exe) takes it.
path_for() {  # KIND PATH
  if [ "$1" = exe ]; then winepath -w "$2" 2>/dev/null; else echo "$2"; fi
}

# A round trip of one file with the switches set: nothing waits, nothing fails.
round_trip_with_switches() {  # KIND: native (the package's zrv) or exe (the zip's zrv.exe)
  local kind=$1 dir=$scratch/switches-$1 command verb input
  if [ "$kind" = exe ]; then command=(wine "$scratch/zip/zrv.exe"); else command=("$scratch/deb/usr/bin/zrv"); fi
  mkdir -p "$dir"
  printf 'some data\n' >"$dir/a"
  printf 'pass for switches\n' >"$dir/pw"
  for verb in encrypt decrypt; do
    input=$dir/a
    [ "$verb" = encrypt ] || input=$dir/a.zrv
    # shellcheck disable=SC2046
    env $(switches "$(path_for "$kind" "$dir")/gate") timeout -k 5 60 "${command[@]}" \
      --password-file "$(path_for "$kind" "$dir/pw")" "$verb" "$(path_for "$kind" "$input")" </dev/null >"$dir/out" 2>&1 ||
      { echo "$verb:"; cat "$dir/out"; return 1; }
    [ ! -e "$dir/gate" ] || { echo "$verb waited at the pause"; return 1; }
  done
  [ "$(cat "$dir/a")" = "some data" ] && [ ! -e "$dir/a.zrv" ]
}

# With FERRUNE_FAULT read, the registry would be refused (an error box that
# holds the start) and no provider opened. The trace says how the start went.
ferrune_exe_ignores_the_switches() {
  local dir=$scratch/switches-window folder pid _
  mkdir -p "$dir"
  folder=$(winepath -w "$dir" 2>/dev/null)
  wine reg delete 'HKCU\Software\Classes\.zrv' /f >/dev/null 2>&1
  # shellcheck disable=SC2046
  (cd "$scratch/zip" && exec env FERRUNE_TRACE="$folder\\trace.txt" $(switches "$folder\\gate") wine ./ferrune.exe) \
    >/dev/null 2>&1 &
  pid=$!
  # The start is over once the window has chosen its page.
  for _ in $(seq 1 300); do
    grep -q '^dispatch ' "$dir/trace.txt" 2>/dev/null && break
    sleep 0.1
  done
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  grep -q '^dispatch ' "$dir/trace.txt" 2>/dev/null || { echo "the start did not end within 30 s"; return 1; }
  grep -qx 'provider=container renewed' "$dir/trace.txt" || { echo "trace:"; cat "$dir/trace.txt"; return 1; }
  wine reg query 'HKCU\Software\Classes\.zrv' /ve 2>/dev/null | grep -q 'Ferrune File' ||
    { echo "the start wrote no shell entries"; return 1; }
}

echo "== checking $dist"
check "SHA256SUMS lists the three files and matches them" sums_match
check "lintian reports no errors" lintian_clean
check "the package holds zrv, its manual, copyright, notices and changelog" deb_layout
mkdir -p "$scratch/deb" "$scratch/zip"
dpkg-deb -x "$deb" "$scratch/deb"
(cd "$scratch/zip" && unzip -q "$zip")
check "Depends names no libunistring, and libssl3 or libssl3t64" deb_depends
check "the manual and the changelog are compressed without name and time" gzip_without_name_or_time
check "the copyright file is machine-readable and holds the licences" copyright_has_licence
check "the notices name what the exes and the package's zrv carry" notices_name_components
check "the unpacked zrv prints the version" zrv_version
check "the unpacked zrv encrypts a file and decrypts it again" zrv_round_trip
check "the zip holds exactly ferrune.exe, zrv.exe, README.txt, LICENSE and THIRD-PARTY-NOTICES.txt" zip_members
check "the zip's text files have CRLF line ends, LICENSE the root's text" text_files_crlf
check "both exes carry version $version; the title follows it" version_resources
check "no folder of this checkout or build is in the binaries" no_build_paths
check "no test switch is named in the binaries" no_switch_names_in_the_binaries
check "the unpacked zrv ignores FERRUNE_TEST_PAUSE and FERRUNE_FAULT" round_trip_with_switches native

if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
  export FERRUNE_WINEPREFIX=$build/wine-prefix
  . "$root/scripts/wine-env.sh"
  wine_env_start
  own_wine=1
fi
check "the zip's zrv.exe prints the version under Wine" zrv_exe_version
check "the zip's ferrune.exe shows its window under Wine" window_shows
check "the zip's zrv.exe ignores FERRUNE_TEST_PAUSE and FERRUNE_FAULT" round_trip_with_switches exe
check "the zip's ferrune.exe ignores FERRUNE_TEST_PAUSE and FERRUNE_FAULT" ferrune_exe_ignores_the_switches
. "$root/tests/release/setup-checks.sh"
setup_checks

echo "release: $passed checks passed, $failed failed"
[ "$failed" = 0 ]
