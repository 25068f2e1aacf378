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

. "$root/scripts/lib/fuzz_targets.sh"
kelmo_fuzz_build

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
artifacts="$build/findings"
mkdir -p "$artifacts"

failed=0
summary=()
for entry in "${kelmo_fuzz_targets[@]}"; do
  read -r name max_len dict <<<"$entry"
  rm -f "$artifacts/$name-"*
  corpus="$scratch/$name"
  mkdir -p "$corpus"
  cp "$root/fuzz/corpus/$name/"* "$corpus/"
  kelmo_fuzz_options "$name" "$max_len" "$dict" "$seconds" "$artifacts/$name-"
  log="$scratch/$name.log"
  echo "fuzz_$name: ${seconds}s"
  if "$build/fuzz_$name" "${fuzz_options[@]}" "$corpus" >"$log" 2>&1; then
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
