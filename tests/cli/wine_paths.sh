#!/usr/bin/env bash
# zrv.exe on UNC paths under Wine, from the current folder C:\t1: ".." stops
# at the share, so "\\server\share\..\..\x.txt" is the share's x.txt, never
# C:\x.txt; and "\\server" alone, a server without a share, is refused
# rather than taken as C:\server.
#   wine_paths.sh ZRV_EXE WORK
# Wine runs in the prefix of WINEPREFIX, which must be set (never ~/.wine).
set -uo pipefail
. "$(dirname "$0")/wine_job.sh"

exe=$(readlink -f "$exe")  # it runs from C:\t1
drive=$WINEPREFIX/drive_c
server=$WINEPREFIX/dosdevices/unc/server
cleanup() { rm -rf "$server" "$drive/t1" "$drive"/x.txt* "$drive"/server*; }
cleanup
trap cleanup EXIT
mkdir -p "$work/share" "$server" "$drive/t1"
ln -s "$work/share" "$server/share"
printf 'on the share\n' >"$work/share/x.txt"
printf 'local\n' | tee "$drive/x.txt" "$drive/server" >/dev/null
local_files() { (cd "$drive" && md5sum x.txt* server* t1/* 2>/dev/null); }
before=$(local_files)
zrv() { (cd "$drive/t1" && wine "$exe" --password-file "$(winpath "$work/pw")" "$@" 2>>"$work/err"); }

zrv encrypt '\\server\share\..\..\x.txt' || fail "the share's x.txt: exit status $?: $(cat "$work/err")"
[ -s "$work/share/x.txt.zrv" ] && [ ! -e "$work/share/x.txt" ] || fail "the share's x.txt was not encrypted"
zrv decrypt '\\server\share\x.txt.zrv' && [ "$(cat "$work/share/x.txt")" = 'on the share' ] ||
  fail "the share's x.txt did not come back"
zrv encrypt '\\server' && fail "\\\\server alone was encrypted"
[ "$(local_files)" = "$before" ] || fail "files on C: changed: $(local_files)"
[ "$failures" = 0 ] && echo "zrv.exe keeps a UNC path on its share and refuses a server without one"
exit "$failures"
