#!/usr/bin/env bash
# Builds the library and runs the bundled example host program. It builds
# into build/ (KELMO_BUILD_PREFIX moves it, see scripts/lib/build_dirs.sh) and
# writes its files into example-output/ there unless told otherwise:
#
#   scripts/example.sh [SETTINGS_XML [OUTPUT_DIR]]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. "$root/scripts/lib/build_dirs.sh"
build=$(kelmo_build_dir)
"$root/scripts/install_deps.sh"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target kelmo kelmo_example
output=${2:-$build/example-output}
mkdir -p "$output"
"$build/examples/kelmo_example" "${1:-examples/data/settings.xml}" "$output"
