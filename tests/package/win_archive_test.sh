#!/usr/bin/env bash
# Checks the Windows archive that scripts/package.sh made: unpacks it into a
# directory of its own, checks what it holds, that kelmo.dll and kelmo.exe
# need no DLL of the MinGW runtime and name no path of the build, reads their
# version resources back, and runs the tool and two hosts under Wine in that
# directory, with nothing beside them but the archive's files: a host built
# with MinGW against the archive's headers, and the MSVC-ABI host of the
# Windows test step when that step has built it.
#
#   win_archive_test.sh DIST_DIR SOURCE_DIR MINGW_BUILD_DIR
set -euo pipefail
dist=$1
source=$2
build=$3

work=$(mktemp -d "${TMPDIR:-/tmp}/kelmo-win-XXXXXX")
work=$(cd "$work" && pwd -P)
cleanup() {
  [ -n "${wineserver:-}" ] && "$wineserver" -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

expect_line() {  # expect_line FILE TEXT: FILE has TEXT as one of its lines
  grep -qxF -- "$2" "$1" || { echo "--- $1:" >&2; cat "$1" >&2; fail "no line \"$2\""; }
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "$build names no project version"
name=kelmo-$version-win64
zip=$dist/$name.zip
[ -f "$zip" ] || fail "no $zip"

echo "== $name.zip"
unzip -q "$zip" -d "$work/unpacked"
dir=$work/unpacked/$name
[ "$(ls "$work/unpacked")" = "$name" ] || fail "the archive holds more than the folder $name"
for file in kelmo.dll kelmo.exe include/kelmo/kelmo.h include/kelmo/easy.hpp README.md LICENSE \
            CHANGELOG.md msvc_hosts.md; do
  [ -f "$dir/$file" ] || fail "the archive has no $file"
done
cmake -DCHANGELOG="$dir/CHANGELOG.md" -DVERSION="$version" \
  -P "$source/cmake/check_changelog_version.cmake" >/dev/null || fail "the archive's changelog"

echo "== the DLL and the tool need nothing of MinGW"
for file in kelmo.dll kelmo.exe; do
  x86_64-w64-mingw32-objdump -p "$dir/$file" | sed -n 's/^[[:space:]]*DLL Name: //p' >"$work/$file.imports"
  [ -s "$work/$file.imports" ] || fail "no imports found in $file"
  if grep -iE '^lib(stdc\+\+|gcc|winpthread)' "$work/$file.imports"; then
    fail "$file needs the MinGW runtime DLLs above"
  fi
  build_path=$(cd "$build" && pwd -P)
  source_path=$(cd "$source" && pwd -P)
  if grep -q -a -F -e "$build_path" -e "$source_path" "$dir/$file"; then
    fail "$file names a path of the build"
  fi
done

echo "== version resources"
IFS=. read -r major minor patch <<<"$version"
copyright=$(grep -m 1 '^Copyright ' "$source/LICENSE")
for file in kelmo.dll kelmo.exe; do
  rc=$work/$file.rc
  x86_64-w64-mingw32-windres -i "$dir/$file" -O rc -o "$rc" || fail "$file has no resources to read"
  expect_line "$rc" " FILEVERSION $major, $minor, $patch, 0"
  expect_line "$rc" " PRODUCTVERSION $major, $minor, $patch, 0"
  expect_line "$rc" "      VALUE \"FileVersion\", \"$version\""
  expect_line "$rc" "      VALUE \"ProductVersion\", \"$version\""
  expect_line "$rc" "      VALUE \"OriginalFilename\", \"$file\""
  expect_line "$rc" "      VALUE \"LegalCopyright\", \"$copyright\""
  grep -q '^      VALUE "FileDescription", "kelmo ' "$rc" || fail "$file has no description"
done

echo "== a host built against the archive's headers"
x86_64-w64-mingw32-g++-posix -std=c++17 -O1 -static -I "$dir/include" \
  "$source/tests/package/headers_consumer/main.cpp" -o "$dir/host.exe" ||
  fail "building a host with the archive's headers"
hosts=(host.exe)
if [ -f "$build/slot_host_msvc.exe" ]; then
  cp "$build/slot_host_msvc.exe" "$dir/"
  hosts+=(slot_host_msvc.exe)
else
  echo "   (no $build/slot_host_msvc.exe: the Windows test step builds it; not run)"
fi

echo "== under Wine, in the archive's folder"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
# The Windows test step's prefix when there is one, to spare starting a new
# one; no display, no debug channels, no debugger.
export WINEPREFIX=$build/wineprefix
[ -d "$WINEPREFIX" ] || WINEPREFIX=$work/wineprefix
export HOME=${HOME:-$work}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d"
unset DISPLAY WAYLAND_DISPLAY KELMO_LIBRARY
"$wine" wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; fail "starting Wine"; }

run() {  # run LOG PROGRAM ARGS...: in the archive's folder, Windows line ends dropped
  local log=$1
  shift
  local status=0
  (cd "$dir" && timeout 300 "$wine" "$@") >"$log.raw" 2>&1 || status=$?
  tr -d '\r' <"$log.raw" >"$log"
  [ "$status" -eq 0 ] || { cat "$log"; fail "$* under Wine (exit status $status)"; }
}

windows_dir="Z:$(printf '%s' "$dir" | tr / '\\')"
run "$work/version.txt" kelmo.exe --version
expect_line "$work/version.txt" "kelmo $version"
expect_line "$work/version.txt" "library: $windows_dir\\kelmo.dll"
expect_line "$work/version.txt" "library version: $version"
run "$work/host.txt" host.exe
expect_line "$work/host.txt" "loaded $windows_dir\\kelmo.dll: b is 7"
if [[ " ${hosts[*]} " == *" slot_host_msvc.exe "* ]]; then
  run "$work/slot_host.txt" slot_host_msvc.exe
  echo "   the MSVC-ABI host passed"
fi

echo "Windows archive passed"
