#!/usr/bin/env bash
# Builds the library, the tool and the bundled example host program, without
# the tests (so without test-only packages), and runs the example. It builds
# into build/ (KELMO_BUILD_PREFIX moves it, see scripts/lib/build_dirs.sh) and
# writes its files into example-output/ there unless told otherwise:
#
#   scripts/example.sh [SETTINGS_XML [OUTPUT_DIR]]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. "$root/scripts/lib/build_dirs.sh"
build=$(kelmo_build_dir)
"$root/scripts/install_deps.sh" --build-only
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELMO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target kelmo kelmo_example kelmo_cli
output=${2:-$build/example-output}
mkdir -p "$output"
"$build/examples/kelmo_example" "${1:-examples/data/settings.xml}" "$output"
