#!/usr/bin/env bash
# Installs the package as a user would, in minimal Debian 12 and Debian 13
# systems, and uses it there: apt install ./zrv_*.deb, zrv --version,
# man -w zrv, an encryption and a decryption with --password-file, apt remove,
# and nothing of it left. One line per system: "install: debian-13 ok".
#   check-install.sh PACKAGE.deb   check the package in both systems
#   check-install.sh --prepare     only make the systems (run-tests starts this early)
# The systems come from debootstrap --variant=minbase, from the Debian archive
# that apt on this machine uses, and are kept in build/install-systems
# (FERRUNE_INSTALL_SYSTEMS), so a second run takes seconds; every check runs
# in a fresh copy (an overlay on the cached system). Needs root and the archive.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
systems=${FERRUNE_INSTALL_SYSTEMS:-$root/build/install-systems}
releases=("debian-12 bookworm" "debian-13 trixie")

[ "$(id -u)" = 0 ] || { echo "install: needs root (debootstrap and chroot)"; exit 2; }
if [ "${1:-}" = --prepare ]; then deb=""; else
  deb=${1:?usage: check-install.sh PACKAGE.deb | --prepare}
  [ -f "$deb" ] || { echo "install: no package $deb"; exit 2; }
  deb=$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")
fi
mkdir -p "$systems"

# The archive this machine's apt uses: its Debian and Debian-Security sites.
site() {
  apt-get indextargets --format '$(LABEL) $(REPO_URI)' 2>/dev/null | awk -v l="$1" '$1 == l { print $2; exit }'
}
mirror=$(site Debian)
security=$(site Debian-Security)
[ -n "$mirror" ] || { echo "install: apt here uses no Debian archive (apt-get indextargets)"; exit 2; }

# Runs a command inside a system, with /proc mounted for the maintainer scripts.
in_system() {
  local dir=$1 status
  shift
  mount -t proc proc "$dir/proc" || return 1
  LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive chroot "$dir" "$@"
  status=$?
  umount "$dir/proc"
  return "$status"
}

# Makes the cached system once: minbase, man-db for man -w, the release's
# updates and security suites, and package lists.
prepare() {
  local name=$1 suite=$2 base=$systems/$1
  [ -f "$base/.ferrune-ready" ] && return 0
  rm -rf "$base" "$base.new"
  debootstrap --variant=minbase --include=man-db "$suite" "$base.new" "$mirror" >"$systems/$name-debootstrap.log" 2>&1 ||
    { echo "install: $name: debootstrap failed"; tail -n 15 "$systems/$name-debootstrap.log"; return 1; }
  {
    echo "deb $mirror $suite main"
    echo "deb $mirror $suite-updates main"
    [ -z "$security" ] || echo "deb $security $suite-security main"
  } >"$base.new/etc/apt/sources.list"
  cp /etc/resolv.conf "$base.new/etc/resolv.conf"
  in_system "$base.new" apt-get update -qq >>"$systems/$name-debootstrap.log" 2>&1 ||
    { echo "install: $name: apt-get update failed"; tail -n 15 "$systems/$name-debootstrap.log"; return 1; }
  in_system "$base.new" apt-get clean
  touch "$base.new/.ferrune-ready"
  mv "$base.new" "$base"
}

# The checks inside a fresh copy of the system; the package is /tmp/$(basename deb).
use_package() {
  local dir=$1 pkg=/tmp/$(basename "$deb") version
  version=$(dpkg-deb -f "$deb" Version)
  version=${version%-*}
  in_system "$dir" dpkg-query -W -f '${Package}\n' | sort >"$dir/tmp/before"
  # apt itself drops its downloads; kept, the next run need not fetch them again.
  in_system "$dir" apt install -y -o APT::Keep-Downloaded-Packages=true "$pkg" || { echo "apt install failed"; return 1; }
  local out
  out=$(in_system "$dir" zrv --version) && [ "$out" = "zrv (Ferrune) $version" ] ||
    { echo "zrv --version printed: $out"; return 1; }
  out=$(in_system "$dir" man -w zrv) && [ "$out" = /usr/share/man/man1/zrv.1.gz ] ||
    { echo "man -w zrv printed: $out"; return 1; }
  [ -s "$dir/usr/share/doc/zrv/THIRD-PARTY-NOTICES.txt" ] || { echo "no THIRD-PARTY-NOTICES.txt"; return 1; }

  mkdir -p "$dir/tmp/trip"
  head -c 300000 /dev/urandom >"$dir/tmp/trip/data.bin"
  cp "$dir/tmp/trip/data.bin" "$dir/tmp/original"
  printf 'correct horse battery\n' >"$dir/tmp/pw"
  in_system "$dir" zrv --password-file /tmp/pw encrypt /tmp/trip/data.bin </dev/null || { echo "zrv encrypt failed"; return 1; }
  [ -f "$dir/tmp/trip/data.bin.zrv" ] && [ ! -e "$dir/tmp/trip/data.bin" ] || { echo "encrypt left: $(ls "$dir/tmp/trip")"; return 1; }
  in_system "$dir" zrv --password-file /tmp/pw decrypt /tmp/trip/data.bin.zrv </dev/null || { echo "zrv decrypt failed"; return 1; }
  cmp "$dir/tmp/trip/data.bin" "$dir/tmp/original" || return 1

  in_system "$dir" dpkg-query -L zrv >"$dir/tmp/files" || return 1
  in_system "$dir" apt remove -y zrv || { echo "apt remove failed"; return 1; }
  local f left=""
  while read -r f; do
    [ "$f" = /. ] || [ "$f" = /usr ] || [ "$f" = /usr/bin ] || [ "$f" = /usr/share ] || [ "$f" = /usr/share/doc ] ||
      [ "$f" = /usr/share/man ] || [ "$f" = /usr/share/man/man1 ] || [ ! -e "$dir$f" ] || left="$left $f"
  done <"$dir/tmp/files"
  [ -z "$left" ] || { echo "left after apt remove:$left"; return 1; }
  out=$(in_system "$dir" dpkg-query -W -f '${db:Status-Abbrev}' zrv 2>/dev/null)
  case "$out" in "" | un*) ;; *) echo "dpkg still knows zrv: $out"; return 1 ;; esac
  # What the package brought goes with autoremove: the system is as before.
  in_system "$dir" apt-get autoremove -y || return 1
  in_system "$dir" dpkg-query -W -f '${Package}\n' | sort | diff "$dir/tmp/before" - ||
    { echo "packages differ from before the install"; return 1; }
}

# Nothing may be mounted below a folder that is removed: rm would go into it.
unmount_below() {
  local m
  for m in $(awk -v d="$1/" 'index($2, d) == 1 { print $2 }' /proc/mounts | sort -r); do umount "$m" || umount -l "$m"; done
  ! awk -v d="$1/" 'index($2, d) == 1 { found = 1 } END { exit !found }' /proc/mounts
}
trap 'unmount_below "$systems"' EXIT

check() {  # check NAME: one system, in a fresh copy, the downloads kept beside it
  local name=$1 base=$systems/$1 run=$systems/$1.run debs=$systems/$1.debs status
  unmount_below "$run" || return 1
  rm -rf "$run"
  # The copy: the cached system below an overlay, or copied where that is refused.
  mkdir -p "$run/changes" "$run/work" "$run/root"
  mount -t overlay overlay -o "lowerdir=$base,upperdir=$run/changes,workdir=$run/work" "$run/root" 2>/dev/null ||
    { rmdir "$run/root" && cp -a "$base" "$run/root"; } || return 1
  mkdir -p "$debs"
  mount --bind "$debs" "$run/root/var/cache/apt/archives" || return 1
  cp "$deb" "$run/root/tmp/"
  # man -w needs no index, and man-db's rebuild of it takes half a minute.
  rm -f "$run/root/var/lib/man-db/auto-update"
  # Fresh lists, so the copy installs what the archive has today.
  in_system "$run/root" apt-get update -qq >"$systems/$name.log" 2>&1 &&
    use_package "$run/root" >>"$systems/$name.log" 2>&1
  status=$?
  unmount_below "$run" || return 1
  rm -rf "$run"
  return "$status"
}

failed=0
pids=()
for r in "${releases[@]}"; do
  set -- $r
  prepare "$1" "$2" &
  pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
[ "$failed" = 0 ] || exit 1
[ -n "$deb" ] || { echo "install: systems ready in $systems"; exit 0; }

for r in "${releases[@]}"; do
  set -- $r
  if check "$1"; then
    echo "install: $1 ok"
  else
    echo "install: $1 FAILED (log $systems/$1.log)"
    tail -n 20 "$systems/$1.log" | sed 's/^/    /'
    failed=1
  fi
done
exit "$failed"
