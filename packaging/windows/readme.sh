#!/usr/bin/env bash
# Prints the zip's README.txt (LF line ends; the caller makes them CRLF): the
# README's sections for Windows users in plain text, so both say the same.
#   readme.sh README.md VERSION
set -euo pipefail
readme=$1
version=$2

section() {  # one "## " section of the README, as plain text
  local text
  text=$(awk -v want="## $1" '
    /^## / { inside = ($0 == want); if (inside) { print substr($0, 4); gsub(/./, "-"); print substr($0, 4) }; next }
    !inside { next }
    /^```/ { next }
    { print }' "$readme")
  [ -n "$text" ] || { echo "readme.sh: no section \"$1\" in $readme" >&2; exit 1; }
  printf '%s\n\n' "$text" | sed -e 's/\*\*//g' -e 's/`//g' -e "s/<version>/$version/g"
}

cat <<TEXT
Ferrune $version for 64-bit Windows

Ferrune encrypts one file with a password into a .zrv file and decrypts it
again, from the file manager's context menu. zrv.exe reads and writes the same
files from a console. LICENSE holds the licence (MIT).

TEXT
section "Install on Windows"
section "Security"
