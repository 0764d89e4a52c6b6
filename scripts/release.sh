#!/usr/bin/env bash
# Release builds and the artefacts people install, written to dist/:
#   ferrune-<version>-setup-x64.exe     the per-user Windows setup (NSIS)
#   ferrune-<version>-windows-x64.zip   ferrune.exe, zrv.exe, README.txt, LICENSE,
#                                       THIRD-PARTY-NOTICES.txt: the portable way
#   zrv_<version>-1_amd64.deb           the native zrv for Debian and Ubuntu
#   SHA256SUMS
# The same commit gives the same bytes wherever and whenever it is built.
#   FERRUNE_RELEASE_BUILD  build folder (default build/release), made afresh
#   FERRUNE_DIST           output folder (default dist)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FERRUNE_RELEASE_BUILD:-$root/build/release}
dist=${FERRUNE_DIST:-$root/dist}
jobs=${FERRUNE_JOBS:-2}

# Nothing from the caller's environment may reach the bytes.
umask 022
export TZ=UTC LC_ALL=C
unset CFLAGS CXXFLAGS CPPFLAGS LDFLAGS RCFLAGS MAKEFLAGS CMAKE_BUILD_PARALLEL_LEVEL
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct) ||
    { echo "release: no git history here; set SOURCE_DATE_EPOCH" >&2; exit 2; }
fi
export SOURCE_DATE_EPOCH
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no 2>/dev/null)" ]; then
  echo "release: the working tree has uncommitted changes; these artefacts are not the last commit's" >&2
fi

case "$build" in /*) ;; *) build=$PWD/$build ;; esac
case "$dist" in /*) ;; *) dist=$PWD/$dist ;; esac
# Afresh every time, but only what this script makes: the folder may be anywhere.
rm -rf "$build/win" "$build/native" "$build/package" "$build/zip" "$build"/ferrune-*-windows-x64.zip \
  "$build"/ferrune-*-setup-x64.exe
mkdir -p "$build" "$dist"

# Paths of this checkout must not end up in the binaries (__FILE__ in asserts).
# The build folder's map comes last, so it wins when the build is in the tree.
maps="-ffile-prefix-map=$root=. -ffile-prefix-map=$build=build"
# No test switches: a release reads none of FERRUNE_TEST_PAUSE, FERRUNE_FAULT and FERRUNE_TEST_STREAMS.
common=(-DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DFERRUNE_TEST_SWITCHES=OFF -DCMAKE_CXX_FLAGS="$maps")

echo "== Windows release build"
cmake -S "$root" -B "$build/win" "${common[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_EXE_LINKER_FLAGS="-s -Wl,--no-insert-timestamp" >"$build/win-configure.log"
cmake --build "$build/win" -j"$jobs" --target ferrune zrv >"$build/win-build.log"

echo "== native release build"
hardening="-D_FORTIFY_SOURCE=2 -fstack-protector-strong -fstack-clash-protection -fcf-protection"
cmake -S "$root" -B "$build/native" "${common[@]}" -DFERRUNE_SANITIZE=OFF -DFERRUNE_STATIC_UNISTRING=ON \
  -DCMAKE_CXX_FLAGS="$maps $hardening" -DCMAKE_EXE_LINKER_FLAGS="-s -Wl,-z,relro -Wl,-z,now" \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >"$build/native-configure.log"
cmake --build "$build/native" -j"$jobs" --target zrv zrv_docs >"$build/native-build.log"

version=$(cat "$build/win/version.txt")
[ "$version" = "$(cat "$build/native/version.txt")" ] || { echo "release: two versions" >&2; exit 1; }

echo "== Debian package"
(cd "$build/native" && cpack -G DEB -B "$build/package") >"$build/package.log"
debs=("$build"/package/zrv_*.deb)
[ "${#debs[@]}" = 1 ] && [ -f "${debs[0]}" ] || { echo "release: no single package made" >&2; exit 1; }
deb=${debs[0]}
deb_version=$(dpkg-deb -f "$deb" Version)
[ "${deb_version%-*}" = "$version" ] || { echo "release: package version $deb_version, project $version" >&2; exit 1; }
changelog_version=$(dpkg-parsechangelog -l "$root/packaging/debian/changelog" -S Version)
[ "$changelog_version" = "$deb_version" ] ||
  { echo "release: packaging/debian/changelog is at $changelog_version, the package at $deb_version" >&2; exit 1; }

echo "== Windows zip"
stage=$build/zip
mkdir -p "$stage"
cp "$build/win/app/ferrune.exe" "$build/win/cli/zrv.exe" "$stage/"
bash "$root/packaging/windows/readme.sh" "$root/README.md" "$version" | sed 's/$/\r/' >"$stage/README.txt"
sed 's/$/\r/' "$root/LICENSE" >"$stage/LICENSE"
sed 's/$/\r/' "$build/win/THIRD-PARTY-NOTICES.txt" >"$stage/THIRD-PARTY-NOTICES.txt"
chmod 0755 "$stage/ferrune.exe" "$stage/zrv.exe"
chmod 0644 "$stage/README.txt" "$stage/LICENSE" "$stage/THIRD-PARTY-NOTICES.txt"
# The setup keeps these times too, for the installed files.
touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*
zip_name=ferrune-$version-windows-x64.zip
# -X: no owners or extra time fields; the names in a fixed order.
(cd "$stage" && zip -X -9 -q "$build/$zip_name" ferrune.exe zrv.exe README.txt LICENSE THIRD-PARTY-NOTICES.txt)

echo "== Windows setup"
setup_name=ferrune-$version-setup-x64.exe
quad=$(sed -n 's/^#define FERRUNE_VERSION_RC //p' "$build/win/generated/ferrune_version.h" | tr , .)
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DVERSION_QUAD="$quad" -DSTAGE="$stage" \
  -DICON="$root/res/ferrune.ico" -DOUTFILE="$build/$setup_name" "$root/packaging/windows/setup.nsi" >"$build/setup.log" ||
  { cat "$build/setup.log" >&2; exit 1; }

rm -f "$dist"/ferrune-*-setup-x64.exe "$dist"/ferrune-*-windows-x64.zip "$dist"/zrv_*_amd64.deb "$dist/SHA256SUMS"
cp "$build/$setup_name" "$build/$zip_name" "$deb" "$dist/"
(cd "$dist" && sha256sum "$setup_name" "$zip_name" "$(basename "$deb")" >SHA256SUMS)
echo "== $dist"
(cd "$dist" && cat SHA256SUMS)
