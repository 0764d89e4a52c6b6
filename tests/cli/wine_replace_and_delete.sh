#!/usr/bin/env bash
# zrv.exe under Wine, where Linux processes go past Wine's share modes: a
# file moved over the output name while the job waits right before its
# commit stays; a Unix symbolic link (which Wine shows as a plain file) is
# neither deleted nor replaced through, even where its path differs from its
# target's only in case or in trailing dots or spaces; a short name is the
# file it names; a name long in UTF-8 is replaced; an input that the system
# will not delete is reported kept. (Wine 8's CreateSymbolicLinkW makes no
# link, so a link that Windows sees cannot be tried here.)
#   wine_replace_and_delete.sh ZRV_EXE WORK
# Wine runs in the prefix of WINEPREFIX, which must be set (never ~/.wine).
set -uo pipefail
. "$(dirname "$0")/wine_job.sh"

zrv() { WINEDEBUG=-all wine "$exe" --password-file "$(winpath "$work/pw")" "$@" 2>"$work/said"; }
# expect ROW STATUS TEXT: what the last run ended with.
expect() { [ "$status" = "$2" ] && grep -qF "$3" "$work/said" || fail "$1: status $status: $(cat "$work/said")"; }

mkdir "$work/moved" && cd "$work/moved" || exit 1
head -c 200000 /dev/urandom >in
echo old >in.zrv && echo newer >other
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

# row STATUS TEXT COMMAND TARGET LINK GIVEN LEFT: LINK ("-": none) leads to TARGET, which ends holding LEFT
# ("*": anything). GIVEN is the name passed, "@" standing for TARGET's short name; a .zrv is made under it.
echo sealed >"$work/s" && zrv --keep encrypt "$(winpath "$work/s")"
row() {
  rm -rf "$work/links" && mkdir "$work/links" && cd "$work/links" && mkdir -p "$(dirname "$4")" "$(dirname "$5")" || exit 1
  echo data >"$4" && { [ "$5" = - ] || ln -s "$PWD/$4" "$5"; }
  local given=$6
  [[ $given == @* ]] && given=$(WINEDEBUG=-all wine winepath -s "$(winpath "$PWD/$4")" | tr -d '\r' | sed 's/.*\\//')${6#@}
  if [[ $given == *.zrv ]]; then cp "$work/s.zrv" "$given"; elif [[ $6 != @* && ! -e $given ]]; then echo plain >"$given"; fi
  zrv $3 "$(winpath "$PWD/$given")"
  status=$?
  expect "$3 $given ($5 to $4)" "$1" "$2"
  [ "$5" = - ] || [ -L "$5" ] || fail "$3 $given: $5 is no link now"
  [ "$7" = '*' ] || [ "$(cat -- "$4" 2>/dev/null)" = "$7" ] || fail "$3 $given: $4 holds $(cat -- "$4" 2>&1)"
}
for pair in target:link link.txt:Link.txt r:r. 'y :y' d./f:d/f; do
  row 0 "Encryption completed. The original file was kept: other names lead to the same data" \
    encrypt "${pair%:*}" "${pair#*:}" "${pair#*:}" data
  row 5 "Cannot write the output file" "--force decrypt" "${pair%:*}" "${pair#*:}" "${pair#*:}.zrv" data
done
row 5 "Cannot write the output file" "--force encrypt" out.zrv Out.zrv Out data
row 0 "Encryption completed" encrypt "long name.txt" - @ ""
row 0 "Decryption completed" "--force decrypt" "long name.txt" - @.zrv ""
cjk=$(printf '\xe6\x96\x87%.0s' {1..80})
row 0 "Encryption completed" "--force encrypt" "$cjk.zrv" - "$cjk" '*'

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
