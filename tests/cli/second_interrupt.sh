#!/usr/bin/env bash
# zrv.exe under Wine on a terminal, held in the middle of a file by the test
# pause: a second Ctrl+C ends it at once with status 130 and leaves no
# temporary file. The terminal is script(1)'s; Wine turns the keys into
# console events.
#   second_interrupt.sh ZRV_EXE WORK
# Wine runs in the prefix of WINEPREFIX, which must be set (never ~/.wine).
set -uo pipefail
. "$(dirname "$0")/wine_job.sh"
mkdir -p "$work/files"
head -c 3000000 /dev/urandom >"$work/plain"
cp "$work/plain" "$work/files/c"
gate=$work/gate

keys() {
  wait_for_gate "$gate"
  printf '\003'
  sleep 0.5
  printf '\003'
  sleep 3
}
keys | FERRUNE_TEST_PAUSE=$(winpath "$gate") FERRUNE_TEST_PAUSE_AT=middle WINEDEBUG=-all timeout 60 \
  script -qec "wine '$exe' --password-file '$(winpath "$work/pw")' encrypt '$(winpath "$work/files/c")'" /dev/null \
  >"$work/terminal"
status=$?

[ -e "$gate" ] || fail "the job never reached its pause"
[ "$status" = 130 ] || fail "exit status $status, not 130"
sleep 2  # the system removes a file marked for deletion once its process is gone
names=$(ls -A "$work/files")
[ "$names" = c ] || fail "left in the folder: $names"
cmp -s "$work/plain" "$work/files/c" || fail "the input changed"
[ "$failures" = 0 ] && echo "zrv.exe: a second Ctrl+C ends it with 130 and leaves nothing"
exit "$failures"
