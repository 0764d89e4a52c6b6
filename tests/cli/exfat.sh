#!/usr/bin/env bash
# zrv on exFAT through FUSE, as USB sticks and cards are mounted: no rename
# without replacing, no links, no unnamed files. A round trip, a job killed
# at its last step and the leftover it leaves, and six jobs at once; with the
# native zrv, or with zrv.exe under Wine (in the prefix of WINEPREFIX).
# Natively also: a file system that refuses locks, and an edit within the
# second that exFAT's times keep.
#   exfat.sh native|wine ZRV WORK
set -uo pipefail
mode=$1 zrv=$2 work=$3
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
rm -rf "$work"
mkdir -p "$work/mnt"
truncate -s 96M "$work/image"
mkfs.exfat "$work/image" >/dev/null || { echo "FAIL: mkfs.exfat"; exit 1; }
loop=$($sudo losetup -f --show "$work/image") || { echo "FAIL: no loop device"; exit 1; }
cleanup() {
  $sudo umount "$work/mnt" 2>/dev/null
  $sudo losetup -d "$loop" 2>/dev/null
}
trap cleanup EXIT
$sudo mount.exfat-fuse -o uid="$(id -u)",gid="$(id -g)" "$loop" "$work/mnt" || { echo "FAIL: mount"; exit 1; }
mount | grep -q " $work/mnt type fuseblk" || { echo "FAIL: not mounted through FUSE"; exit 1; }
dir=$work/mnt
printf 'password\n' >"$work/pw"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

path() { if [ "$mode" = wine ]; then local p=${1//\//\\}; echo "Z:$p"; else echo "$1"; fi; }
# zrv with the password file; exec'd, so that in the background $! is its process.
run() {
  if [ "$mode" = wine ]; then
    WINEDEBUG=-all exec wine "$zrv" --password-file "$(path "$work/pw")" "$@"
  else
    exec "$zrv" --password-file "$work/pw" "$@"
  fi
}
leftovers() { find "$dir" -maxdepth 1 -name '.ferrune-*.tmp' | wc -l; }

# A round trip: the input goes only once the output is in place.
head -c 1500000 /dev/urandom >"$work/plain"
cp "$work/plain" "$dir/doc"
(run encrypt "$(path "$dir/doc")") 2>"$work/err" || fail "encrypt: $(cat "$work/err")"
[ -s "$dir/doc.zrv" ] && [ ! -e "$dir/doc" ] || fail "encrypt left: $(ls -A "$dir")"
(run decrypt "$(path "$dir/doc.zrv")") 2>"$work/err" || fail "decrypt: $(cat "$work/err")"
cmp -s "$work/plain" "$dir/doc" || fail "the round trip changed the file"
[ ! -e "$dir/doc.zrv" ] || fail "decrypt kept the input"
(run --keep encrypt "$(path "$dir/doc")") 2>"$work/err" || fail "encrypt --keep: $(cat "$work/err")"

# Killed while its output is written and proven. Natively the temporary file
# has a name here and stays until a job or a check in the folder sweeps it;
# under Wine the system removes it with the process.
gate=$work/gate
(FERRUNE_TEST_PAUSE=$(path "$gate") FERRUNE_TEST_PAUSE_AT=written run encrypt --force "$(path "$dir/doc")") \
  2>/dev/null &
job=$!
for _ in $(seq 1200); do [ -e "$gate" ] && break; sleep 0.05; done
[ -e "$gate" ] || fail "the job never reached its pause"
if [ "$mode" = wine ]; then
  kill -9 "$job"
  wait "$job" 2>/dev/null
  for _ in $(seq 100); do [ "$(leftovers)" = 0 ] && break; sleep 0.1; done
  [ "$(leftovers)" = 0 ] || fail "zrv.exe left $(ls -A "$dir")"
else
  kill -9 "$job"
  wait "$job" 2>/dev/null
  [ "$(leftovers)" = 1 ] || fail "expected the killed job's temporary file: $(ls -A "$dir")"
  (run check "$(path "$dir/doc.zrv")") 2>"$work/err" || fail "check: $(cat "$work/err")"
  [ "$(leftovers)" = 0 ] || fail "the check did not sweep: $(ls -A "$dir")"
fi
rm -f "$gate"
cmp -s "$work/plain" "$dir/doc" || fail "the killed job changed its input"

if [ "$mode" = native ]; then
  # Where the file system refuses locks (as NFS without its lock service):
  # the job works without them and leaves nothing.
  (ASAN_OPTIONS=detect_leaks=0 exec strace -f -qq -o /dev/null -e trace=flock -e inject=flock:error=ENOLCK \
     "$zrv" --password-file "$work/pw" --keep encrypt --force "$dir/doc") 2>"$work/err" ||
    fail "encrypt without locks: $(cat "$work/err")"
  [ "$(leftovers)" = 0 ] || fail "a job without locks left: $(ls -A "$dir")"

  # Whole seconds: an edit of the same size within the second of the file's
  # last write, once all was read and proven, still moves its write time
  # past what the job took.
  head -c 1500000 /dev/urandom >"$work/edit1"
  head -c 1500000 /dev/urandom >"$work/edit2"
  cp "$work/edit1" "$dir/edited"
  (FERRUNE_TEST_PAUSE=$gate FERRUNE_TEST_PAUSE_AT=commit run encrypt "$dir/edited") 2>"$work/err" &
  job=$!
  for _ in $(seq 1200); do [ -e "$gate" ] && break; sleep 0.05; done
  dd if="$work/edit2" of="$dir/edited" conv=notrunc status=none
  rm -f "$gate"
  wait "$job"
  grep -q "The original file was kept: the file changed while it was read" "$work/err" ||
    fail "an edit within the second went unseen: $(cat "$work/err")"
  cmp -s "$work/edit2" "$dir/edited" || fail "the edited file is gone"
  rm -f "$dir/edited" "$dir/edited.zrv"
fi

# Six jobs at once in one folder, both ways.
rm -f "$dir/doc" "$dir/doc.zrv"
for i in 1 2 3 4 5 6; do head -c $((400000 + i * 1000)) /dev/urandom >"$work/plain$i"; cp "$work/plain$i" "$dir/f$i"; done
for verb in encrypt decrypt; do
  pids=()
  for i in 1 2 3 4 5 6; do
    file=$dir/f$i
    [ "$verb" = decrypt ] && file=$file.zrv
    (run "$verb" "$(path "$file")") 2>"$work/err$i" &
    pids+=($!)
  done
  for i in 1 2 3 4 5 6; do wait "${pids[$((i - 1))]}" || fail "$verb f$i: $(cat "$work/err$i")"; done
done
for i in 1 2 3 4 5 6; do cmp -s "$work/plain$i" "$dir/f$i" || fail "f$i changed in the round trip"; done
[ "$(ls -A "$dir" | wc -l)" = 6 ] || fail "six jobs left: $(ls -A "$dir")"

[ "$failures" = 0 ] && echo "zrv ($mode) on exFAT through FUSE: round trip, a killed job, six jobs at once"
exit "$failures"
