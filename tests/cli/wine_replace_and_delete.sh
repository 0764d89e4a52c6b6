#!/usr/bin/env bash
# zrv.exe under Wine, where Linux processes go past Wine's share modes: a
# file moved over the output name while the job waits right before its
# commit stays; a Unix symbolic link (which Wine shows as a plain file) is
# neither deleted nor replaced through; an input that the system will not
# delete is reported kept. (Wine 8's CreateSymbolicLinkW makes no link, so
# a link that Windows sees cannot be tried here.)
#   wine_replace_and_delete.sh ZRV_EXE WORK
# Wine runs in the prefix of WINEPREFIX, which must be set (never ~/.wine).
set -uo pipefail
. "$(dirname "$0")/wine_job.sh"

zrv() { WINEDEBUG=-all wine "$exe" --password-file "$(winpath "$work/pw")" "$@" 2>"$work/said"; }
# expect ROW STATUS TEXT: what the last run ended with.
expect() { [ "$status" = "$2" ] && grep -qF "$3" "$work/said" || fail "$1: status $status: $(cat "$work/said")"; }

mkdir "$work/moved" && cd "$work/moved" || exit 1
head -c 200000 /dev/urandom >in
echo old >in.zrv
echo newer >other
gate=$work/gate
FERRUNE_TEST_PAUSE=$(winpath "$gate") FERRUNE_TEST_PAUSE_AT=commit zrv --force encrypt "$(winpath "$PWD/in")" &
job=$!
wait_for_gate "$gate"
mv other in.zrv
rm -f "$gate"
wait "$job"
status=$?
expect "moved over the output" 5 "The output file changed during the work"
[ "$(cat in.zrv)" = newer ] && [ "$(ls -A)" = "$(printf 'in\nin.zrv')" ] || fail "moved over the output: left $(ls -A)"

mkdir "$work/links" && cd "$work/links" || exit 1
echo data >target
echo other >second
ln -s target link
ln -s target second.zrv
zrv encrypt "$(winpath "$PWD/link")"
status=$?
expect "a link as the input" 0 "Encryption completed. The original file was kept: other names lead to the same data"
zrv --force encrypt "$(winpath "$PWD/second")"
status=$?
expect "a link under the output name" 5 "Cannot write the output file"
[ -L link ] && [ -L second.zrv ] && [ "$(cat target)" = data ] || fail "links: $(ls -l)"

mkdir "$work/immutable" && cd "$work/immutable" || exit 1
echo data >in
if chattr +i in 2>/dev/null; then
  zrv encrypt "$(winpath "$PWD/in")"
  status=$?
  chattr -i in
  expect "immutable" 0 "Encryption completed. The original file was kept: the system did not let it be deleted"
  [ -s in.zrv ] && [ "$(cat in)" = data ] || fail "immutable: $(ls -l)"
else
  echo "not tried: chattr +i needs root and a file system that keeps the flag"
fi
[ "$failures" = 0 ] && echo "zrv.exe replaces and deletes only what it may, under Wine"
exit "$failures"
