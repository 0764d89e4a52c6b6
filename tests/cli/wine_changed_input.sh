#!/usr/bin/env bash
# zrv.exe under Wine while a Linux process changes its input: Wine's share
# modes do not bind a Linux writer, so the identity check must. The job is
# held by the test pause right after it took its input; the file is appended
# to, overwritten in place with its write time put back, or renamed; or, at
# the pause right before the delete, its folder is renamed. Either way the
# output is committed, the input is kept and the line says why.
#   wine_changed_input.sh ZRV_EXE WORK
# Wine runs in the prefix of WINEPREFIX, which must be set (never ~/.wine).
set -uo pipefail
. "$(dirname "$0")/wine_job.sh"

append() { printf 'LINE\n' >>"$1"; }
overwrite() {
  local stamp
  stamp=$(stat -c %y "$1")
  printf 'XXXX' | dd of="$1" bs=1 seek=1000 conv=notrunc status=none
  touch -d "$stamp" "$1"
}

renamed() { mv "$1" "$1.bak"; }
folder() { mv "${1%/*}" "${1%/*}.moved"; }

# CHANGE STEP WHERE: the input ends in the row's folder followed by WHERE.
for row in "append open /log.bin" "overwrite open /log.bin" "renamed open /log.bin.bak" "folder delete .moved/log.bin"; do
  read -r change step where <<<"$row"
  dir=$work/$change
  mkdir -p "$dir"
  head -c 300000 /dev/urandom >"$dir/log.bin"
  gate=$work/gate-$change
  FERRUNE_TEST_PAUSE=$(winpath "$gate") FERRUNE_TEST_PAUSE_AT=$step WINEDEBUG=-all \
    wine "$exe" --password-file "$(winpath "$work/pw")" encrypt "$(winpath "$dir/log.bin")" 2>"$dir.err" &
  job=$!
  wait_for_gate "$gate"
  [ -e "$gate" ] || fail "$change: the job never reached its pause"
  "$change" "$dir/log.bin"
  kept=$dir$where
  cp "$kept" "$work/changed"
  rm -f "$gate"
  wait "$job"
  status=$?
  [ "$status" = 0 ] || fail "$change: exit status $status: $(cat "$dir.err")"
  why="the file changed while it was read"
  [ "$where" = /log.bin ] || why="it was moved or renamed during the work"
  grep -q "Encryption completed. The original file was kept: $why" "$dir.err" || fail "$change: said $(cat "$dir.err")"
  cmp -s "$work/changed" "$kept" || fail "$change: the input is not as it was changed"
  [ -s "${kept%/*}/log.bin.zrv" ] || fail "$change: no output"
done
[ "$failures" = 0 ] && echo "zrv.exe keeps an input that a Linux process changed or moved while it was read"
exit "$failures"
