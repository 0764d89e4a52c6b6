#!/usr/bin/env bash
# Prints README.txt of the zip and the setup (LF line ends; the caller makes
# them CRLF): the README's first screen and its sections for Windows users, in
# plain text, so both say the same.
#   readme.sh README.md VERSION
set -euo pipefail
readme=$1
version=$2

# A link keeps its text, and its target unless the text names it already.
plain() {
  sed -E -e 's/\[([^]]*)\]\(\1\)/\1/g' -e 's/\[([^]]*)\]\(([^)]*)\)/\1 (\2)/g' \
    -e 's/\*\*//g' -e 's/`//g' -e "s/<version>/$version/g"
}

# The first screen: from the title to the developers' part.
intro() {
  local text
  text=$(awk 'NR > 1 && /^For developers/ { exit } NR > 1 { print }' "$readme" | sed -e '1{/^$/d}')
  [ -n "$text" ] || { echo "readme.sh: no first screen in $readme" >&2; exit 1; }
  printf '%s\n\n' "$text" | plain
}

section() {  # one "## " section of the README, as plain text, its "### " parts underlined
  local text
  text=$(awk -v want="## $1" '
    /^## / { inside = ($0 == want); if (inside) { print substr($0, 4); gsub(/./, "-"); print substr($0, 4) }; next }
    !inside { next }
    /^### / { print substr($0, 5); gsub(/./, "~"); print substr($0, 5); next }
    /^```/ { next }
    { print }' "$readme")
  [ -n "$text" ] || { echo "readme.sh: no section \"$1\" in $readme" >&2; exit 1; }
  printf '%s\n\n' "$text" | plain
}

cat <<TEXT
Ferrune $version for 64-bit Windows
$(echo "Ferrune $version for 64-bit Windows" | sed 's/./=/g')

TEXT
intro
section "Install on Windows"
section "Security"
echo "LICENSE holds Ferrune's licence (MIT); THIRD-PARTY-NOTICES.txt those of the code of others in the exes."
