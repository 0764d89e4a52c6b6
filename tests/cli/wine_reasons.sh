#!/usr/bin/env bash
# zrv.exe under Wine says why, in Wine's own words ("Disk full" for a full
# disk): on a full drive, and on an input or an output name that another
# program holds open without sharing, which Wine cannot name.
#   wine_reasons.sh ZRV_EXE WORK HELPER_EXE
# Wine runs in the prefix of WINEPREFIX, which must be set (never ~/.wine).
set -uo pipefail
. "$(dirname "$0")/wine_job.sh"
# WHAT STATUS LINE ARGS...: zrv.exe's status and line for the file $work/f or $work/full/f.
expect() {
  local what=$1 code=$2 line=$3 f
  shift 3
  f=$(winpath "${@: -1}")
  WINEDEBUG=-all wine "$exe" --password-file "$(winpath "$work/pw")" "${@:1:$#-1}" "$f" 2>"$work/said"
  local status=$?
  [ "$status" = "$code" ] && [ "$(tr -d '\r' <"$work/said")" = "zrv: $f: $line" ] || fail "$what: status $status: $(cat "$work/said")"
}

head -c 300000 /dev/urandom >"$work/big"
mkdir -p "$work/full"
if mount -t tmpfs -o size=64k tmpfs "$work/full" 2>/dev/null; then
  ln -s "$work/big" "$work/full/f"
  expect "a full drive" 5 "Cannot write the output file: Disk full" --keep encrypt "$work/full/f"
  umount "$work/full"
else
  echo "no tmpfs can be mounted here: the full drive is not tried"
fi
# Held open by a Windows program until its standard input ends.
printf 'x' >"$work/f"
printf 'y' >"$work/f.zrv"
for held in f f.zrv; do
  exec 3> >(WINEDEBUG=-all wine "$3" "$(winpath "$work/$held")" hold >"$work/holding")
  for _ in $(seq 200); do [ -s "$work/holding" ] && break; sleep 0.05; done
  if [ "$held" = f ]; then
    expect "the input held" 4 "The file is in use by another program" encrypt "$work/f"
  else
    expect "the output held" 5 "Cannot write the output file: the file under the output name is in use by another program" \
      --force --keep encrypt "$work/f"
  fi
  exec 3>&-
  rm -f "$work/holding"
done
[ "$failures" = 0 ] && echo "zrv.exe says why in Wine's own words"
exit "$failures"
