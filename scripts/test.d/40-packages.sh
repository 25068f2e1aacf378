#!/usr/bin/env bash
# Makes the release files with scripts/package.sh and checks them as a user
# gets them: the Debian packages unpacked into a scratch root (never
# installed on this machine) with hosts built against them, and the Windows
# archive unpacked and run under Wine (tests/package/deb_test.sh and
# win_archive_test.sh). Runs after the Windows step, whose MinGW build the
# archive is made from, so nothing is cross-built twice.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
. "$root/scripts/lib/build_dirs.sh"
dist=${KELMO_DIST_DIR:-$(kelmo_build_dir dist)}
deb_build=${KELMO_DEB_BUILD_DIR:-$(kelmo_build_dir deb)}
mingw_build=${KELMO_MINGW_BUILD_DIR:-$(kelmo_build_dir mingw)}
export KELMO_DIST_DIR=$dist KELMO_DEB_BUILD_DIR=$deb_build KELMO_MINGW_BUILD_DIR=$mingw_build

# What the checks use beyond what package.sh installs.
"$root/scripts/install_deps.sh" pkg-config lintian unzip wine64

"$root/scripts/package.sh"
"$root/tests/package/deb_test.sh" "$dist" "$root" "$deb_build"
"$root/tests/package/win_archive_test.sh" "$dist" "$root" "$mingw_build"
