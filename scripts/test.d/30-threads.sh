#!/usr/bin/env bash
# Builds the library and the host-style tests with ThreadSanitizer in a
# configuration of their own and runs them: the thread tests first, then the
# rest of the host suite, which drives every entry point once more with the
# race detector watching. Any report fails the run.
#
# KELMO_TSAN_BUILD_DIR chooses the build directory (default build-tsan, or
# $KELMO_BUILD_PREFIX-tsan);
# KELMO_TSAN_SCOPE=threads runs the thread tests only.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
. "$root/scripts/lib/build_dirs.sh"
build=${KELMO_TSAN_BUILD_DIR:-$(kelmo_build_dir tsan)}
scope=${KELMO_TSAN_SCOPE:-all}
jobs=${KELMO_JOBS:-$(nproc)}

cmake -S "$root" -B "$build" "${kelmo_generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKELMO_SANITIZE=thread -DKELMO_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target kelmo kelmo_host_tests

# No suppressions: the thread tests convert only UTF-8 and UTF-16, which the
# library does itself, so no system converter module is loaded on a thread.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
tests="$build/tests/kelmo_host_tests"

echo "thread tests under ThreadSanitizer"
"$tests" --gtest_filter='Threads.*' --gtest_brief=1

if [ "$scope" != threads ]; then
  echo "rest of the host suite under ThreadSanitizer"
  "$tests" --gtest_filter='-Threads.*' --gtest_brief=1
fi
