#!/usr/bin/env bash
# Checks the Debian packages that scripts/package.sh made, without
# installing them on this machine: unpacks them into a scratch root, builds
# a host against the unpacked libkelmo-dev with find_package and one with
# pkg-config, runs both against the unpacked libkelmo0, and runs the
# unpacked tool. Also checks the packages' fields: versions, dependencies,
# the copyright files, which files go where, and that nothing names the
# build's paths.
#
#   deb_test.sh DIST_DIR SOURCE_DIR BUILD_DIR
#
# BUILD_DIR is the build the packages were made from (its version and its
# path, which no packaged file may name).
set -euo pipefail
dist=$1
source=$2
build=$3

work=$(mktemp -d "${TMPDIR:-/tmp}/kelmo-deb-XXXXXX")
work=$(cd "$work" && pwd -P)  # the paths the tool and the hosts report
trap 'rm -rf "$work"' EXIT
root=$work/root

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

expect_line() {  # expect_line FILE TEXT: FILE has TEXT as one of its lines
  grep -qxF -- "$2" "$1" || { echo "--- $1:" >&2; cat "$1" >&2; fail "no line \"$2\""; }
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "$build names no project version"
arch=$(dpkg --print-architecture)
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

echo "== packages of version $version"
declare -A deb
for package in libkelmo0 libkelmo-dev kelmo-tools; do
  deb[$package]=$dist/${package}_${version}_${arch}.deb
  [ -f "${deb[$package]}" ] || fail "no ${deb[$package]}"
  [ "$(dpkg-deb -f "${deb[$package]}" Package)" = "$package" ] || fail "${deb[$package]} is not $package"
  [ "$(dpkg-deb -f "${deb[$package]}" Version)" = "$version" ] || fail "$package is not of version $version"
  dpkg-deb -x "${deb[$package]}" "$root"
  [ -s "$root/usr/share/doc/$package/copyright" ] || fail "$package has no /usr/share/doc/$package/copyright"
  dpkg-deb -c "${deb[$package]}" | awk '{print $6}' | sed 's|^\./|/|' >"$work/$package.files"
done

echo "== dependencies"
depends() { dpkg-deb -f "${deb[$1]}" Depends; }
# dpkg-shlibdeps names the C and C++ runtimes of the library and the tool.
for package in libkelmo0 kelmo-tools; do
  for runtime in libc6 libstdc++6; do
    [[ ", $(depends "$package")" == *", $runtime (>= "* ]] ||
      fail "$package does not depend on $runtime: $(depends "$package")"
  done
done
for package in libkelmo-dev kelmo-tools; do
  depends "$package" | grep -qF "libkelmo0 (= $version)" ||
    fail "$package does not depend on libkelmo0 (= $version): $(depends "$package")"
done
dpkg-deb --ctrl-tarfile "${deb[libkelmo0]}" | tar -xOf - ./shlibs >"$work/shlibs"
expect_line "$work/shlibs" "libkelmo 0 libkelmo0 (>= $version)"

echo "== which package holds which file"
libdir=$(dirname "$(grep -m 1 '/libkelmo\.so\.0$' "$work/libkelmo0.files")")
[ "$libdir" != "." ] || fail "libkelmo0 holds no libkelmo.so.0"
for pair in "libkelmo0 $libdir/libkelmo.so.$version" "libkelmo-dev $libdir/libkelmo.so" \
            "libkelmo-dev /usr/include/kelmo/kelmo.h" "libkelmo-dev $libdir/pkgconfig/kelmo.pc" \
            "libkelmo-dev $libdir/cmake/kelmo/kelmoConfigVersion.cmake" "kelmo-tools /usr/bin/kelmo"; do
  read -r package file <<<"$pair"
  expect_line "$work/$package.files" "$file"
done
# The runtime package holds the library alone (Debian's rule for library
# packages, so that two sonames can be installed side by side).
if grep -v -e "^$libdir/libkelmo\.so\.0" -e '^/usr/share/doc/libkelmo0/' -e '/$' "$work/libkelmo0.files"; then
  fail "libkelmo0 holds more than the library and its documents"
fi
[ "$(readlink "$root$libdir/libkelmo.so.0")" = "libkelmo.so.$version" ] ||
  fail "libkelmo.so.0 does not lead to libkelmo.so.$version"

echo "== no path of the build in any packaged file"
build_path=$(cd "$build" && pwd -P)
source_path=$(cd "$source" && pwd -P)
named=$(grep -r -l -a -F -e "$build_path" -e "$source_path" "$root" || true)
[ -z "$named" ] || fail "these files name the build's paths: $named"

if command -v lintian >/dev/null 2>&1; then
  echo "== lintian"
  # The tool's manual is its --help for now: there is no manual page yet.
  status=0
  lintian --fail-on error,warning --suppress-tags no-manual-page "${deb[@]}" >"$work/lintian.txt" 2>&1 ||
    status=$?
  grep -v "running with root privileges" "$work/lintian.txt" || true
  [ "$status" -eq 0 ] || fail "lintian reports errors or warnings"
fi

host_env=(env -u KELMO_LIBRARY -u LD_LIBRARY_PATH)

echo "== a host built with find_package against the unpacked libkelmo-dev"
cmake -S "$source/tests/package/headers_consumer" -B "$work/cmake-host" "${generator[@]}" \
  -DCMAKE_PREFIX_PATH="$root/usr" -DKELMO_WANTED_VERSION="$version" >"$work/cmake-host.log" ||
  { cat "$work/cmake-host.log"; fail "configuring the find_package host"; }
grep -q "^kelmo_DIR:PATH=$root$libdir/cmake/kelmo$" "$work/cmake-host/CMakeCache.txt" ||
  fail "find_package did not take the unpacked package"
cmake --build "$work/cmake-host" >"$work/cmake-host-build.log" 2>&1 ||
  { cat "$work/cmake-host-build.log"; fail "building the find_package host"; }
"${host_env[@]}" "$work/cmake-host/headers_consumer" >"$work/cmake-host.txt" ||
  { cat "$work/cmake-host.txt"; fail "running the find_package host"; }
expect_line "$work/cmake-host.txt" "loaded $root$libdir/libkelmo.so.0: b is 7"
# The version file refuses another major version.
major=${version%%.*}
if cmake -S "$source/tests/package/headers_consumer" -B "$work/cmake-host-next" "${generator[@]}" \
     -DCMAKE_PREFIX_PATH="$root/usr" -DKELMO_WANTED_VERSION="$((major + 1)).0" >"$work/next.log" 2>&1; then
  fail "find_package(kelmo $((major + 1)).0) accepted version $version"
fi

echo "== a host built with pkg-config against the unpacked libkelmo-dev"
export PKG_CONFIG_PATH=$root$libdir/pkgconfig
[ "$(pkg-config --modversion kelmo)" = "$version" ] || fail "pkg-config reports version $(pkg-config --modversion kelmo)"
library=$(pkg-config --variable=library kelmo)
[ "$(realpath "$library")" = "$(realpath "$root$libdir/libkelmo.so.0")" ] ||
  fail "pkg-config names $library as the library"
# shellcheck disable=SC2046
c++ -std=c++17 "$source/tests/package/pkgconfig_consumer.cpp" -o "$work/pkg-config-host" \
  $(pkg-config --cflags --libs kelmo) -Wl,-rpath,"$(pkg-config --variable=libdir kelmo)" \
  -DKELMO_LIBRARY_FILE="\"$library\"" || fail "building with pkg-config's flags"
"${host_env[@]}" "$work/pkg-config-host" >"$work/pkg-config-host.txt" ||
  { cat "$work/pkg-config-host.txt"; fail "running the pkg-config host"; }
expect_line "$work/pkg-config-host.txt" "pkg-config consumer: ok"

echo "== the unpacked tool"
"${host_env[@]}" "$root/usr/bin/kelmo" --version >"$work/version.txt"
expect_line "$work/version.txt" "kelmo $version"
expect_line "$work/version.txt" "library: $root$libdir/libkelmo.so.0"
expect_line "$work/version.txt" "library version: $version"
printf '<a><b port="7"/></a>' | "${host_env[@]}" "$root/usr/bin/kelmo" get - b/port --as int >"$work/get.txt"
expect_line "$work/get.txt" "7"

echo "Debian packages passed"
