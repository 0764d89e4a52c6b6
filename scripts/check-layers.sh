#!/usr/bin/env bash
# Checks the layering on the sources: core/ includes no platform header and
# tests no _WIN32; cli/ and app/ never include each other; cli/ never
# includes shell/. Prints each breach; exits nonzero when there is one.
#   scripts/check-layers.sh [ROOT]
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 2
bad=0
breach() { echo "layers: $*"; bad=1; }

# Quoted includes name headers by their file name; each name lives once.
headers_of() { find "$@" -name '*.h' -printf '%f\n' 2>/dev/null | sort -u; }
includes_of() {  # file:line:header for every quoted include below the folders
  grep -rHnoE '^\s*#\s*include\s*"[^"]+"' "$@" --include='*.h' --include='*.cpp' |
    sed -E 's/#\s*include\s*"([^"]+)"/\1/; s/:\s*/:/2'
}

# Anything outside the C++ standard library, by its name.
while IFS= read -r hit; do
  breach "$hit: core/ includes a platform header"
done < <(grep -rnE '^\s*#\s*include\s*<[^>]*(\.h|/[^>]*)>' core)
grep -rnE '_WIN32|__linux__|__unix__|__APPLE__' core && breach "core/ tests for a platform"

core_headers=$(headers_of core)
while IFS=: read -r file line header; do
  grep -qxF "$(basename "$header")" <<<"$core_headers" || breach "$file:$line includes \"$header\", which is not in core/"
done < <(includes_of core)

forbid() {  # forbid FROM TO...: no quoted include from FROM names a header of TO
  local from=$1; shift
  local names; names=$(headers_of "$@")
  while IFS=: read -r file line header; do
    grep -qxF "$(basename "$header")" <<<"$names" && breach "$file:$line includes \"$header\" from $*"
  done < <(includes_of "$from")
}
forbid cli app shell
forbid app cli
grep -nE '(/|\$\{PROJECT_SOURCE_DIR\}/)(app|shell)([/ )"]|$)' cli/CMakeLists.txt && breach "cli/CMakeLists.txt reaches into app/ or shell/"
grep -nE '/cli([/ )"]|$)' app/CMakeLists.txt && breach "app/CMakeLists.txt reaches into cli/"

[ "$bad" = 0 ] && echo "layers: core/ is portable; app/ and cli/ stay apart"
exit "$bad"
