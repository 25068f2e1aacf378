#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer) in a configuration of their own and runs each
# for a bounded time, KELMO_FUZZ_SECONDS (default 60) apiece, on a scratch
# copy of its seed corpus, so that the committed corpus stays as it is. Any
# crash, leak, timeout or sanitizer report fails the run; the input that
# caused it is kept under the build directory and printed in hexadecimal.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
seconds=${KELMO_FUZZ_SECONDS:-60}
. "$root/scripts/lib/build_dirs.sh"
build=${KELMO_FUZZ_BUILD_DIR:-$(kelmo_build_dir fuzz)}
jobs=${KELMO_JOBS:-$(nproc)}

# libFuzzer and the sanitizer runtimes come in a package of the clang
# release that is installed (before release 14 they were part of its common
# development package).
"$root/scripts/install_deps.sh" clang
clang_major=$(clang --version | sed -n 's/.*clang version \([0-9][0-9]*\).*/\1/p' | head -n1)
if [ -z "$clang_major" ]; then
  echo "cannot tell the release of clang from: $(clang --version | head -n1)" >&2
  exit 1
fi
if [ "$clang_major" -ge 14 ]; then
  "$root/scripts/install_deps.sh" "libclang-rt-$clang_major-dev"
else
  "$root/scripts/install_deps.sh" "libclang-common-$clang_major-dev"
fi

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
CC=clang CXX=clang++ cmake -S "$root/fuzz" -B "$build" "${generator[@]}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$jobs"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
artifacts="$build/findings"
mkdir -p "$artifacts"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# target, longest input in bytes, whether the XML dictionary helps
targets=(
  "parse_buffer 65536 dict"
  "parse_narrow 65536 dict"
  "round_trip 65536 dict"
  "base64 16384 -"
  "number 4096 -"
  "tree_edit 4096 dict"
)

failed=0
summary=()
for entry in "${targets[@]}"; do
  read -r name max_len dict <<<"$entry"
  rm -f "$artifacts/$name-"*
  corpus="$scratch/$name"
  mkdir -p "$corpus"
  cp "$root/fuzz/corpus/$name/"* "$corpus/"
  options=(-max_total_time="$seconds" -rss_limit_mb=2048 -max_len="$max_len" -timeout=25
           -print_final_stats=1 -artifact_prefix="$artifacts/$name-")
  [ "$dict" = dict ] && options+=(-dict="$root/fuzz/dict/xml.dict")
  log="$scratch/$name.log"
  echo "fuzz_$name: ${seconds}s"
  if "$build/fuzz_$name" "${options[@]}" "$corpus" >"$log" 2>&1; then
    execs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
    summary+=("fuzz_$name: ${execs:-?} executions in ${seconds}s, no findings")
  else
    failed=1
    summary+=("fuzz_$name: FINDING")
    echo "---- fuzz_$name found a problem ----"
    grep -E -A40 "property broken|ERROR: |runtime error|SUMMARY" "$log" | head -80 || tail -40 "$log"
    for input in "$artifacts/$name-"*; do
      [ -e "$input" ] || continue
      echo "input $input:"
      od -An -tx1 -v "$input" | head -20
    done
  fi
done

printf '%s\n' "${summary[@]}"
exit "$failed"
