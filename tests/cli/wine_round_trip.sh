#!/usr/bin/env bash
# zrv.exe under Wine gives a file back as it was: its write time and its
# read-only or hidden attribute go to the .zrv and back, and so does a time
# of 1601-01-01 00:00 (zero to Windows) where the file system keeps it.
# Under the test builds' streams switch (FERRUNE_TEST_STREAMS=1) the mark of
# the web goes into the output's own Zone.Identifier stream, both ways. Wine
# keeps a stream as a plain file "name:stream" beside its file, which stays
# there when the file is renamed: what is seen is the stream of the
# temporary output, written before its rename, never a stream under the
# final name.
#   wine_round_trip.sh ZRV_EXE WORK FILE_ATTRIBUTES_EXE
# Wine runs in the prefix of WINEPREFIX, which must be set (never ~/.wine).
set -uo pipefail
. "$(dirname "$0")/wine_job.sh"

zrv() { WINEDEBUG=-all wine "$exe" --password-file "$(winpath "$work/pw")" "$@" || fail "zrv $*"; }
# attributes FILE [VALUE]: sets them to VALUE, then prints them, in hexadecimal.
helper=$3
attributes() { WINEDEBUG=-all wine "$helper" "$(winpath "$1")" ${2:-}; }
shm=$(mktemp -d /dev/shm/ferrune-XXXXXX) || exit 1
trap 'rm -rf "$shm"' EXIT

# ATTRIBUTE FOLDER STAMP: read-only, hidden; a tmpfs keeps 1601 (ext4 begins in 1901).
for row in "1 $work/R 2019-05-06 07:08:09" "2 $work/H 2019-05-06 07:08:09" "20 $shm 1601-01-01 00:00:00 UTC"; do
  read -r attribute folder stamp <<<"$row"
  mkdir -p "$folder" && cd "$folder" || continue
  head -c 100000 /dev/urandom >f
  cp f plain
  touch -d "$stamp" f
  attributes "$PWD/f" "$attribute" >/dev/null
  zrv encrypt --keep "$(winpath "$PWD/f")"
  mv f before
  zrv decrypt --keep "$(winpath "$PWD/f.zrv")"
  for file in f.zrv f; do
    [ "$(stat -c %Y $file)" = "$(date -d "$stamp" +%s)" ] || fail "$attribute: $file dated $(stat -c %y $file)"
    (("0x$(attributes $file)" & 0x$attribute)) || fail "$attribute: $file has only $(attributes $file)"
  done
  cmp -s f plain || fail "$attribute: the file came back otherwise"
done

mkdir "$work/streams" && cd "$work/streams" || exit 1
export FERRUNE_TEST_STREAMS=1
head -c 1000 /dev/urandom >g
# carried COMMAND INPUT ZONE: runs the job and finds the input's mark in the temporary output's stream.
carried() {
  printf '[ZoneTransfer]\r\nZoneId=%s\r\n' "$3" >"$2:Zone.Identifier"
  zrv "$1" --keep "$(winpath "$PWD/$2")"
  local streams=(.ferrune-*.tmp:Zone.Identifier)
  [ ${#streams[@]} = 1 ] && [ "$(cat "${streams[0]}")" = "$(cat "$2:Zone.Identifier")" ] ||
    fail "$1: the output's stream: ${streams[*]}"
  rm -f "${streams[@]}"
}
carried encrypt g 3
rm g
carried decrypt g.zrv 4
[ "$failures" = 0 ] && echo "zrv.exe gives dates, attributes and the mark back as they were, under Wine"
exit "$failures"
