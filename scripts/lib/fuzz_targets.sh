# Sourced by the fuzz scripts: builds the libFuzzer targets with clang
# (AddressSanitizer and UndefinedBehaviorSanitizer) into $build, and names
# each target with the options that suit it.
#
# Needs $root, the checkout, and $build, the fuzz build directory.

# target, longest input in bytes, whether the XML dictionary helps
kelmo_fuzz_targets=(
  "parse_buffer 65536 dict"
  "parse_narrow 65536 dict"
  "parser_diff 65536 dict"
  "round_trip 65536 dict"
  "base64 16384 -"
  "number 4096 -"
  "tree_edit 4096 dict"
  "tool_edit 4096 dict"
  "easy_path 1024 -"
)

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# libFuzzer and the sanitizer runtimes come in a package of the clang
# release that is installed (before release 14 they were part of its common
# development package).
kelmo_fuzz_build() {
  "$root/scripts/install_deps.sh" clang
  local clang_major
  clang_major=$(clang --version | sed -n 's/.*clang version \([0-9][0-9]*\).*/\1/p' | head -n1)
  if [ -z "$clang_major" ]; then
    echo "cannot tell the release of clang from: $(clang --version | head -n1)" >&2
    return 1
  fi
  if [ "$clang_major" -ge 14 ]; then
    "$root/scripts/install_deps.sh" "libclang-rt-$clang_major-dev"
  else
    "$root/scripts/install_deps.sh" "libclang-common-$clang_major-dev"
  fi
  CC=clang CXX=clang++ cmake -S "$root/fuzz" -B "$build" "${kelmo_generator[@]}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j "${KELMO_JOBS:-$(nproc)}"
}

# The libFuzzer options for one target: kelmo_fuzz_options NAME MAX_LEN DICT
# SECONDS ARTIFACT_PREFIX, into the array fuzz_options.
kelmo_fuzz_options() {
  fuzz_options=(-max_total_time="$4" -rss_limit_mb=2048 -max_len="$2" -timeout=25
                -print_final_stats=1 -artifact_prefix="$5")
  [ "$3" = dict ] && fuzz_options+=(-dict="$root/fuzz/dict/xml.dict")
  return 0
}
