#!/usr/bin/env bash
# Benchmarks the library against pugixml, tinyxml2 and libxml2 on the same
# inputs in one run and prints one Markdown table (throughput, memory, and
# the ratio to each peer; ratios above 1 favour this library).
#
#   scripts/bench.sh [--quick] [--seconds S]
#
# Installs the peers' development packages when missing, builds in Release
# into build-bench/ (see scripts/lib/build_dirs.sh), generates the inputs there (about 10 MB each, 1 MB with
# --quick), and reads the real documents that Debian packages install when
# they are present. Extra arguments go to the benchmark program.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. "$root/scripts/lib/build_dirs.sh"
build=${KELMO_BENCH_DIR:-$(kelmo_build_dir bench)}
jobs=${KELMO_JOBS:-2}

"$root/scripts/install_deps.sh" libpugixml-dev libtinyxml2-dev libxml2-dev pkg-config

cmake -S "$root" -B "$build" "${kelmo_generator[@]}" -DCMAKE_BUILD_TYPE=Release \
  -DKELMO_BUILD_BENCH=ON -DKELMO_BUILD_TESTS=OFF -DKELMO_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target kelmo kelmo_bench kelmo_bench_inputs >/dev/null

size=$((10 * 1024 * 1024))
for arg in "$@"; do
  [ "$arg" = "--quick" ] && size=$((1024 * 1024))
done
inputs="$build/bench-inputs-$size"
if [ ! -f "$inputs/gb2312.xml" ]; then
  mkdir -p "$inputs"
  "$build/bench/kelmo_bench_inputs" "$inputs" "$size"
fi

echo "Machine: $(lscpu | sed -n 's/^Model name:[[:space:]]*//p'), $(nproc) cores," \
  "$(${CXX:-c++} --version | head -n1)"
"$build/bench/kelmo_bench" --library "$build/libkelmo.so" --inputs "$inputs" \
  --work "$build" "$@" 2>/dev/null
