#!/usr/bin/env bash
# Files go between the native zrv and the Windows build under Wine, both ways.
#   interop.sh zrv NATIVE_ZRV ZRV_EXE WORK    native zrv <-> zrv.exe, every size and password
#   interop.sh make-native NATIVE_ZRV WORK    natively encrypted files for the window to open
#   interop.sh check-window NATIVE_ZRV WORK   the window's encrypted files, opened natively
# Wine runs in the prefix of WINEPREFIX, which must be set (never ~/.wine).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
what=$1 native=$2
[ -x "$native" ] || { echo "native zrv not found at $native: build the native tree first"; exit 1; }

# Passwords as UTF-8 files, each with the code page its bytes are taken in.
passwords=(ascii:1252 cp1252:1252 cp1251:1251)
# Empty, small, both sides of a 1 MiB chunk, and several MiB.
sizes=(0 7 1048575 1048576 1048577 5242999)
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
make_plain() {  # DIR: one random file per size
  mkdir -p "$1"
  for s in "${sizes[@]}"; do head -c "$s" /dev/urandom >"$1/$s.bin"; done
}
expect_same() {  # REFERENCE RESULT WHAT
  if [ ! -f "$2" ]; then fail "$3: $2 was not written"; elif ! cmp -s "$1" "$2"; then fail "$3: $2 differs"; fi
}

case $what in
zrv)
  exe=$3 work=$4
  [ -n "${WINEPREFIX:-}" ] || { echo "WINEPREFIX is not set"; exit 1; }
  rm -rf "$work"; make_plain "$work/plain"
  for entry in "${passwords[@]}"; do
    name=${entry%%:*} cp=${entry##*:} pw="$here/$name.pw"
    # Natively encrypted, decrypted by zrv.exe with the real provider.
    d="$work/native-$name"; mkdir -p "$d"; cp "$work/plain/"*.bin "$d/"
    "$native" encrypt --code-page "$cp" --password-file "$pw" "$d/"*.bin >/dev/null 2>"$d.log" || fail "native encrypt ($name): $(cat "$d.log")"
    wine "$exe" decrypt --code-page "$cp" --password-file "$(winpath "$pw")" $(for f in "$d/"*.zrv; do winpath "$f"; done) \
      >/dev/null 2>"$d.wine.log" || fail "zrv.exe decrypt ($name): $(cat "$d.wine.log")"
    for s in "${sizes[@]}"; do expect_same "$work/plain/$s.bin" "$d/$s.bin" "native to Windows, $name"; done
    # Encrypted by zrv.exe, decrypted natively.
    d="$work/windows-$name"; mkdir -p "$d"; cp "$work/plain/"*.bin "$d/"
    wine "$exe" encrypt --code-page "$cp" --password-file "$(winpath "$pw")" $(for f in "$d/"*.bin; do winpath "$f"; done) \
      >/dev/null 2>"$d.wine.log" || fail "zrv.exe encrypt ($name): $(cat "$d.wine.log")"
    ls "$d/"*.bin >/dev/null 2>&1 && fail "zrv.exe left plain files in $d"
    "$native" decrypt --code-page "$cp" --password-file "$pw" "$d/"*.zrv >/dev/null 2>"$d.log" || fail "native decrypt ($name): $(cat "$d.log")"
    for s in "${sizes[@]}"; do expect_same "$work/plain/$s.bin" "$d/$s.bin" "Windows to native, $name"; done
  done
  # A wrong password is refused on either side, and nothing is written.
  d="$work/wrong"; mkdir -p "$d"; cp "$work/plain/7.bin" "$d/n.bin"; cp "$work/plain/7.bin" "$d/w.bin"
  "$native" encrypt --password-file "$here/ascii.pw" "$d/n.bin" 2>/dev/null || fail "native encrypt for the wrong-password case"
  wine "$exe" encrypt --password-file "$(winpath "$here/ascii.pw")" "$(winpath "$d/w.bin")" 2>/dev/null || fail "zrv.exe encrypt for the wrong-password case"
  rc=0; wine "$exe" decrypt --password-file "$(winpath "$here/cp1252.pw")" "$(winpath "$d/n.bin.zrv")" 2>/dev/null || rc=$?
  [ "$rc" = 1 ] || fail "zrv.exe took a wrong password for a native file (exit $rc)"
  rc=0; "$native" decrypt --password-file "$here/cp1252.pw" "$d/w.bin.zrv" 2>/dev/null || rc=$?
  [ "$rc" = 1 ] || fail "native zrv took a wrong password for a Windows file (exit $rc)"
  [ "$(ls "$d")" = "$(printf 'n.bin.zrv\nw.bin.zrv')" ] || fail "a refused decryption wrote something: $(ls "$d")"
  ;;
make-native)
  work=$3
  rm -rf "$work"; make_plain "$work/plain"
  for entry in "${passwords[@]}"; do
    name=${entry%%:*} cp=${entry##*:}
    d="$work/native/$name"; mkdir -p "$d" "$work/window/$name"; cp "$work/plain/"*.bin "$d/"
    "$native" encrypt --code-page "$cp" --password-file "$here/$name.pw" "$d/"*.bin 2>"$d.log" || fail "native encrypt ($name): $(cat "$d.log")"
  done
  ;;
check-window)
  work=$3
  for entry in "${passwords[@]}"; do
    name=${entry%%:*} cp=${entry##*:} d="$work/window/$name"
    found=$(ls "$d/"*.zrv 2>/dev/null | wc -l)
    [ "$found" -gt 0 ] || { fail "the window wrote no files in $d"; continue; }
    "$native" decrypt --code-page "$cp" --password-file "$here/$name.pw" "$d/"*.zrv 2>"$d.log" || fail "native decrypt ($name): $(cat "$d.log")"
    for f in "$d/"*.bin; do expect_same "$work/plain/$(basename "$f")" "$f" "window to native, $name"; done
  done
  ;;
*) echo "unknown step $what"; exit 2 ;;
esac
if [ "$failures" = 0 ]; then echo "interop $what: all files matched"; else echo "interop $what: $failures failures"; exit 1; fi
