#!/usr/bin/env bash
# Checks the layering on the sources. Every quoted include names its file from
# the top of the tree ("core/format.h"), so the folder of each include is its
# layer: core/ includes only core/ and the C++ standard library and tests no
# platform; platform/ and shell/ stand on core/; app/ and cli/ never include
# each other, and cli/ never includes shell/; the window toolkit
# (app/toolkit/) stands on core/ and the Win32 handle owners and knows nothing
# of the program above it, and its rules that build natively stand on core/
# alone. Prints each breach; exits nonzero when there is one.
#   scripts/check-layers.sh [ROOT]
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 2
bad=0
breach() { echo "layers: $*"; bad=1; }

includes_of() {  # file:line:path for every quoted include below the folders
  grep -rHnoE '^\s*#\s*include\s*"[^"]+"' "$@" --include='*.h' --include='*.cpp' |
    sed -E 's/#\s*include\s*"([^"]+)"/\1/; s/:\s*/:/2'
}

# allow FOLDER PREFIX...: what FOLDER's includes may name, besides itself.
allow() {
  local folder=$1 file line path prefix ok
  shift
  while IFS=: read -r file line path; do
    if [ ! -f "$path" ]; then
      breach "$file:$line includes \"$path\", which is no file of the tree named from its top"
      continue
    fi
    ok=0
    for prefix in "$folder/" "$@"; do
      case $path in "$prefix"*) ok=1 ;; esac
    done
    [ "$ok" = 1 ] || breach "$file:$line includes \"$path\" from a layer above or beside it"
  done < <(includes_of "$folder")
}

# Anything outside the C++ standard library, by its name.
while IFS= read -r hit; do
  breach "$hit: core/ includes a platform header"
done < <(grep -rnE '^\s*#\s*include\s*<[^>]*(\.h|/[^>]*)>' core)
grep -rnE '_WIN32|__linux__|__unix__|__APPLE__' core && breach "core/ tests for a platform"

allow core
allow platform/posix core/
allow platform/openssl core/
# The registry calls fill the shell's registry seam.
allow platform/win32 core/ shell/registry_api.h
allow shell core/
allow app core/ platform/win32/ shell/
allow app/toolkit core/ platform/win32/win_handles.h
allow app/toolkit/logic core/
allow cli core/ platform/
grep -nE '(/|\$\{PROJECT_SOURCE_DIR\}/)(app|shell)([/ )"]|$)' cli/CMakeLists.txt && breach "cli/CMakeLists.txt reaches into app/ or shell/"
grep -nE '/cli([/ )"]|$)' app/CMakeLists.txt && breach "app/CMakeLists.txt reaches into cli/"
grep -noE '\.\./|\bferrune_[a-z0-9_]+' app/toolkit/CMakeLists.txt |
  grep -vE ':(ferrune_core|ferrune_toolkit|ferrune_toolkit_logic)$' && breach "app/toolkit/CMakeLists.txt links more than core/"

[ "$bad" = 0 ] && echo "layers: core/ is portable; platform/ and shell/ stand on it; app/ and cli/ stay apart; the toolkit knows no program"
exit "$bad"
