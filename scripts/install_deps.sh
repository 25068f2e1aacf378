#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian machine, and
# the packages named as arguments. Everything is checked first, so a machine
# that has it all needs no network; as root it needs no sudo.
#
#   scripts/install_deps.sh [--build-only] [PACKAGE...]
#
# With --build-only, only what building the library, the tool and the
# examples needs: no test-only packages.
set -euo pipefail
build_only=no
if [ "${1:-}" = "--build-only" ]; then
  build_only=yes
  shift
fi

# True when the package is installed (not merely known, or removed with its
# configuration files left behind, which dpkg -s also reports).
installed() {
  [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

need=()
# A tool may come from elsewhere than a package (a newer CMake, say): then
# the command or header that the build uses is enough.
command -v cmake >/dev/null 2>&1 || installed cmake || need+=(cmake)
command -v g++ >/dev/null 2>&1 || installed g++ || need+=(g++)
if [ "$build_only" = no ]; then
  [ -f /usr/include/gtest/gtest.h ] || installed libgtest-dev || need+=(libgtest-dev)
  # Test-only: the differential conformance test reads documents with libxml2.
  command -v pkg-config >/dev/null 2>&1 || installed pkg-config || need+=(pkg-config)
  [ -f /usr/include/libxml2/libxml/parser.h ] || installed libxml2-dev || need+=(libxml2-dev)
fi
for package in "$@"; do
  installed "$package" || need+=("$package")
done
[ ${#need[@]} -eq 0 ] && exit 0

echo "Installing: ${need[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "install_deps.sh: these packages are missing and installing them needs root: ${need[*]}" >&2
    exit 1
  fi
  sudo=(sudo)
fi
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
