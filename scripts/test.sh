#!/usr/bin/env bash
# Builds the library and runs the whole test suite twice: once as shipped and
# once under AddressSanitizer and UndefinedBehaviorSanitizer (any report or
# leak fails). Installs the build dependencies first when they are missing.
# Builds into build/ and build-asan/ and the extra steps into build-*/ beside
# them; KELMO_BUILD_PREFIX moves them all (see scripts/lib/build_dirs.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${KELMO_JOBS:-$(nproc)}
. "$root/scripts/lib/build_dirs.sh"

"$root/scripts/install_deps.sh"


run_suite() {
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" "${kelmo_generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKELMO_BUILD_TESTS=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600)
}

echo "== build and test =="
run_suite "$(kelmo_build_dir)"

echo "== build and test with AddressSanitizer and UndefinedBehaviorSanitizer =="
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite "$(kelmo_build_dir asan)" -DKELMO_SANITIZE=address,undefined -DKELMO_BUILD_TOOLS=ON

for extra in "$root"/scripts/test.d/*.sh; do
  [ -e "$extra" ] || continue
  echo "== $(basename "$extra") =="
  bash "$extra"
done

echo "All tests passed."
