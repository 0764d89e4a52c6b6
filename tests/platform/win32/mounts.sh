#!/bin/sh
# mounts.sh up|down DIR: a read-only bind mount DIR/ro of DIR/ro-source and a
# 2 MiB tmpfs DIR/full, each holding a file "mounted". Needs root; where
# mounting fails the tests that need it skip.
set -u
dir=$2
case $1 in
up)
  "$0" down "$dir"
  mkdir -p "$dir/ro-source" "$dir/ro" "$dir/full"
  : > "$dir/ro-source/mounted"
  if mount --bind "$dir/ro-source" "$dir/ro" 2>/dev/null; then
    mount -o remount,bind,ro "$dir/ro" 2>/dev/null || umount "$dir/ro"
  fi
  if mount -t tmpfs -o size=2m tmpfs "$dir/full" 2>/dev/null; then
    : > "$dir/full/mounted"
  fi
  ;;
down)
  for m in "$dir/ro" "$dir/full"; do
    if mountpoint -q "$m" 2>/dev/null; then umount "$m" 2>/dev/null || umount -l "$m"; fi
  done
  rm -rf "$dir/ro-source" "$dir/full" "$dir/ro" 2>/dev/null
  ;;
esac
exit 0
