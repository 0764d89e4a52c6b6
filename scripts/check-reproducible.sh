#!/usr/bin/env bash
# Builds the last commit's release twice, in two fresh clones under different
# paths, one after the other and with another umask, time zone and locale
# around the second, and compares every artefact byte for byte.
#   check-reproducible.sh [WORKDIR]   (default: a new folder under /tmp)
# The folder is removed when all is identical and kept for a look otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$(mktemp -d /tmp/ferrune-repro.XXXXXX)}
commit=$(git -C "$root" rev-parse HEAD)
first=$work/one/ferrune
second=$work/two/somewhere/else/ferrune-copy
echo "commit $commit"

release() {  # release CLONE LABEL: clone the commit and run the release script in it
  git clone -q --no-local "$root" "$1"
  git -C "$1" checkout -q --detach "$commit"
  echo "$2: $1, started $(date -u +%H:%M:%S), umask $(umask), TZ=${TZ:-unset}, LC_ALL=${LC_ALL:-unset}"
  (cd "$1" && bash scripts/release.sh) >"$work/$2.log" 2>&1 || { tail -n 20 "$work/$2.log"; exit 1; }
}

mkdir -p "$work"
(umask 022; export TZ=UTC LC_ALL=C; release "$first" first)
(umask 077; export TZ=Pacific/Kiritimati LC_ALL=C.UTF-8; release "$second" second)

names=$(cd "$first/dist" && ls)
[ "$names" = "$(cd "$second/dist" && ls)" ] || { echo "different files: $(ls "$first/dist") / $(ls "$second/dist")"; exit 1; }
same=1
for name in $names; do
  if cmp -s "$first/dist/$name" "$second/dist/$name"; then
    echo "identical: $name $(sha256sum <"$first/dist/$name" | cut -d' ' -f1)"
  else
    echo "DIFFERENT: $name"; cmp "$first/dist/$name" "$second/dist/$name" || true
    same=0
  fi
done
if [ "$same" = 1 ]; then
  rm -rf "$work"
  echo "reproducible: $(echo "$names" | wc -l) files identical from two clones"
else
  echo "not reproducible; both builds are kept in $work"
  exit 1
fi
