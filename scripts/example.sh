#!/usr/bin/env bash
# Builds the library and runs the bundled example host program.
set -euo pipefail
cd "$(dirname "$0")/.."
"$(pwd)/scripts/install_deps.sh"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target kelmo kelmo_example
mkdir -p build/example-output
./build/examples/kelmo_example "${1:-examples/data/settings.xml}" "${2:-build/example-output}"
