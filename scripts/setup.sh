#!/usr/bin/env bash
# Installs what the build and the tests need, only what is missing.
set -euo pipefail
packages=(cmake make g++ g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
          wine wine64 fonts-wine xvfb xauth x11-utils imagemagick googletest
          libssl-dev libunistring-dev pkg-config clang libclang-rt-14-dev
          zip unzip lintian dpkg-dev file strace exfat-fuse exfatprogs)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null
fi
