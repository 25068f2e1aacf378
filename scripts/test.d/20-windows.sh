#!/usr/bin/env bash
# Cross-builds kelmo.dll, both test programs, the tool and the examples for
# 64-bit Windows with MinGW-w64, and a host in MSVC's binary interface with
# clang, and runs the tests under Wine, so that the library is tested with the
# real Windows code-page converter underneath. Checks that the DLL exports
# exactly the two entry points. Any failing test fails the run; tests that
# need a code page this Wine lacks skip themselves and say why.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
. "$root/scripts/lib/build_dirs.sh"
build=${KELMO_MINGW_BUILD_DIR:-$(kelmo_build_dir mingw)}
jobs=${KELMO_JOBS:-$(nproc)}

"$root/scripts/install_deps.sh" g++-mingw-w64-x86-64 wine64 googletest clang lld

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

# Release: debug information would only make the MinGW link slow. The tool
# and the examples are built too, so that their Windows code compiles. The
# tests are asked for by name: scripts/package.sh may have made this
# directory without them. The Windows archive is made from this build.
cmake -S "$root" -B "$build" "${kelmo_generator[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKELMO_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j "$jobs"

echo "-- exports of kelmo.dll"
"$root/tests/check_exports.sh" "$build/kelmo.dll"

# The slot host of tests/abi as a host built by Microsoft's compiler would be:
# clang in MSVC's binary interface, freestanding, linked against kernel32 only.
echo "-- building the MSVC-ABI host"
clang++ --target=x86_64-pc-windows-msvc -ffreestanding -fno-exceptions -fno-rtti \
  -fno-threadsafe-statics -std=c++17 -O1 -Wall -Wextra -Werror \
  -c "$root/tests/abi/slot_host.cpp" -o "$build/slot_host_msvc.obj"
lld-link /nologo /nodefaultlib /entry:HostStart /subsystem:console \
  "/out:$build/slot_host_msvc.exe" "$build/slot_host_msvc.obj" \
  /usr/x86_64-w64-mingw32/lib/libkernel32.a

# A prefix of this build's own, without a display, without debug channels and
# without the debugger, so that a crash ends the program instead of waiting.
export WINEPREFIX="$build/wineprefix"
export HOME="${HOME:-$build}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d"
unset DISPLAY WAYLAND_DISPLAY
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT

echo "-- starting Wine"
"$wine" wineboot -i >"$build/wineboot.log" 2>&1 || { cat "$build/wineboot.log"; exit 1; }

failed=0
summary=()
for suite in kelmo_unit_tests kelmo_host_tests; do
  log="$build/$suite.log"
  echo "-- $suite under Wine"
  status=0
  (cd "$build" && timeout 1200 "$wine" "tests/$suite.exe" --gtest_color=no) >"$log.raw" 2>&1 || status=$?
  tr -d '\r' <"$log.raw" >"$log"  # Windows line ends
  passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\.$/\1/p' "$log")
  skipped=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\?, listed below:$/\1/p' "$log")
  ran=$(sed -n 's/^\[==========\] \([0-9]*\) tests\? from .* ran\..*/\1/p' "$log")
  if [ "$status" -ne 0 ] || [ -z "$passed" ]; then
    failed=1
    summary+=("$suite: FAILED (exit status $status)")
    grep -E -B30 '^\[  FAILED  \]' "$log" | head -200 || tail -60 "$log"
    continue
  fi
  summary+=("$suite: ${ran:-?} ran, $passed passed, ${skipped:-0} skipped")
  if [ -n "$skipped" ]; then
    # Each skip with its reason: the message is the line before the verdict.
    awk '/^\[  SKIPPED \] .* \([0-9]+ ms\)$/ {sub(/ \([0-9]+ ms\)$/, ""); print "   " substr($0, 14) ": " last}
         {if ($0 !~ /^\/.*: Skipped$/ && $0 != "Skipped") last = $0}' "$log"
  fi
done

echo "-- MSVC-ABI host under Wine"
status=0
(cd "$build" && timeout 300 "$wine" slot_host_msvc.exe) >"$build/slot_host_msvc.log" 2>&1 || status=$?
tr -d '\r' <"$build/slot_host_msvc.log"
if [ "$status" -ne 0 ]; then
  failed=1
  summary+=("slot_host_msvc: FAILED (exit status $status)")
else
  summary+=("slot_host_msvc: passed")
fi

printf '%s\n' "${summary[@]}"
exit "$failed"
