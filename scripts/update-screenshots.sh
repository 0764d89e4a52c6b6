#!/usr/bin/env bash
# Copies the screenshots of the last ./run-tests into docs/screenshots.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
src="$root/build/win/screenshots"
for f in themed-page0-information themed-page1-encrypt themed-page2-decrypt themed-page3-status \
         classic-page1-encrypt status-progress; do
  # The tests write plain stored PNGs; recompress them for the repository.
  convert "$src/$f.png" -strip -define png:compression-level=9 "$root/docs/screenshots/$f.png"
done
echo "updated docs/screenshots from $src"
