#!/usr/bin/env bash
# zrv.exe under Wine while a Linux process changes its input: Wine's share
# modes do not bind a Linux writer, so the identity check must. The job is
# held by the test pause right after it took its input; the file is appended
# to, or overwritten in place with its write time put back. Either way the
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

for change in append overwrite; do
  dir=$work/$change
  mkdir -p "$dir"
  head -c 300000 /dev/urandom >"$dir/log.bin"
  gate=$work/gate-$change
  FERRUNE_TEST_PAUSE=$(winpath "$gate") WINEDEBUG=-all \
    wine "$exe" --password-file "$(winpath "$work/pw")" encrypt "$(winpath "$dir/log.bin")" 2>"$dir.err" &
  job=$!
  wait_for_gate "$gate"
  [ -e "$gate" ] || fail "$change: the job never reached its pause"
  "$change" "$dir/log.bin"
  cp "$dir/log.bin" "$work/changed"
  rm -f "$gate"
  wait "$job"
  status=$?
  [ "$status" = 0 ] || fail "$change: exit status $status: $(cat "$dir.err")"
  grep -q "Encryption completed. The original file was kept: the file changed while it was read" "$dir.err" ||
    fail "$change: said $(cat "$dir.err")"
  cmp -s "$work/changed" "$dir/log.bin" || fail "$change: the input is not as it was changed"
  [ -s "$dir/log.bin.zrv" ] || fail "$change: no output"
done
[ "$failures" = 0 ] && echo "zrv.exe keeps an input that a Linux process changed while it was read"
exit "$failures"
