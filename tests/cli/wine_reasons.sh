#!/usr/bin/env bash
# zrv.exe under Wine says why, in Wine's own words ("Disk full" for a full
# disk): on a full drive, and on an input or an output name that another
# program holds open without sharing, which Wine cannot name.
#   wine_reasons.sh ZRV_EXE WORK HELPER_EXE
# Wine runs in the prefix of WINEPREFIX, which must be set (never ~/.wine).
set -uo pipefail
. "$(dirname "$0")/wine_job.sh"
helper=$3
zrv() { WINEDEBUG=-all wine "$exe" --password-file "$(winpath "$work/pw")" "$@" 2>"$work/said"; status=$?; }
expect() { [ "$status" = "$2" ] && [ "$(tr -d '\r' <"$work/said")" = "$3" ] || fail "$1: status $status: $(cat "$work/said")"; }

head -c 300000 /dev/urandom >"$work/big"
mkdir -p "$work/full"
if mount -t tmpfs -o size=64k tmpfs "$work/full" 2>/dev/null; then
  ln -s "$work/big" "$work/full/big"
  zrv --keep encrypt "$(winpath "$work/full/big")"
  expect "a full drive" 5 "zrv: $(winpath "$work/full/big"): Cannot write the output file: Disk full"
  umount "$work/full"
else
  echo "no tmpfs can be mounted here: the full drive is not tried"
fi

# Held open by a Windows program until its standard input ends.
for row in "input encrypt 4" "output --force 5"; do
  read -r what arg code <<<"$row"
  printf 'x' >"$work/f"
  [ "$what" = output ] && printf 'y' >"$work/f.zrv"
  held=$work/f
  [ "$what" = output ] && held=$work/f.zrv
  exec 3> >(WINEDEBUG=-all wine "$helper" "$(winpath "$held")" hold >"$work/holding")
  for _ in $(seq 200); do [ -s "$work/holding" ] && break; sleep 0.05; done
  if [ "$what" = input ]; then
    zrv encrypt "$(winpath "$work/f")"
    said="The file is in use by another program"
  else
    zrv --force --keep encrypt "$(winpath "$work/f")"
    said="Cannot write the output file: the file under the output name is in use by another program"
  fi
  exec 3>&-
  expect "the $what held open" "$code" "zrv: $(winpath "$work/f"): $said"
  rm -f "$work/f" "$work/f.zrv" "$work/holding"
done
[ "$failures" = 0 ] && echo "zrv.exe says why in Wine's own words"
exit "$failures"
