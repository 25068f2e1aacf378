#!/usr/bin/env bash
# Installs the built project into a scratch prefix and uses it the way a
# consumer would: the examples through find_package(kelmo CONFIG), a small
# program through pkg-config, and the installed tool. Then moves the whole
# installation elsewhere and checks that everything still finds itself.
#
#   package_test.sh BUILD_DIR SOURCE_DIR CXX_COMPILER [SANITIZERS]
set -euo pipefail
build=$1
source=$2
cxx=$3
sanitize=${4:-}

work=$(mktemp -d "${TMPDIR:-/tmp}/kelmo-package-XXXXXX")
trap 'rm -rf "$work"' EXIT

flags=""
[ -n "$sanitize" ] && flags="-fsanitize=$sanitize -fno-omit-frame-pointer"
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
libdir_name=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
libdir_name=${libdir_name:-lib}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
with_tool=yes
grep -q '^KELMO_BUILD_TOOLS:BOOL=OFF' "$build/CMakeCache.txt" && with_tool=no
with_pkg_config=yes
command -v pkg-config >/dev/null 2>&1 || with_pkg_config=no

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

expect_line() {  # expect_line FILE TEXT: FILE has TEXT as one of its lines
  grep -qxF -- "$2" "$1" || { echo "--- $1:" >&2; cat "$1" >&2; fail "no line \"$2\""; }
}

check_prefix() {  # check_prefix PREFIX LABEL
  local prefix=$1 label=$2
  local lib=$prefix/$libdir_name
  local out=$work/$label
  mkdir -p "$out"

  echo "== $label: files"
  local files=(include/kelmo/kelmo.h include/kelmo/kelmo.hpp include/kelmo/easy.hpp include/kelmo/easy/path.hpp
               "$libdir_name/libkelmo.so" "$libdir_name/libkelmo.so.0" "$libdir_name/libkelmo.so.$version"
               "$libdir_name/cmake/kelmo/kelmoConfig.cmake"
               "$libdir_name/cmake/kelmo/kelmoConfigVersion.cmake" "$libdir_name/pkgconfig/kelmo.pc")
  [ "$with_tool" = yes ] && files+=(bin/kelmo)
  for f in "${files[@]}"; do
    [ -e "$prefix/$f" ] || fail "$f is not installed"
  done
  if command -v readelf >/dev/null 2>&1; then
    readelf -d "$lib/libkelmo.so.$version" | grep -q 'SONAME.*\[libkelmo\.so\.0\]' ||
      fail "libkelmo.so.$version has no soname libkelmo.so.0"
  fi

  echo "== $label: examples through find_package(kelmo CONFIG)"
  cmake -S "$source/examples" -B "$out/examples" "${generator[@]}" \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >"$out/configure.log" ||
    { cat "$out/configure.log"; fail "configuring the examples"; }
  cmake --build "$out/examples" >"$out/build.log" 2>&1 || { cat "$out/build.log"; fail "building the examples"; }
  grep -q "kelmo_DIR:PATH=$lib/cmake/kelmo" "$out/examples/CMakeCache.txt" ||
    fail "the examples did not use the package in $prefix"
  mkdir -p "$out/example-output"
  "$out/examples/kelmo_example" "$source/examples/data/settings.xml" "$out/example-output" \
    >"$out/example.txt" || fail "kelmo_example"
  expect_line "$out/example.txt" "UTF-8 file, UTF-16LE file and the edited tree agree (687 characters of XML)"
  "$out/examples/kelmo_settings_example" >"$out/settings.txt" || fail "kelmo_settings_example"
  expect_line "$out/settings.txt" "gateway listens on port 8080 (timeout 12.5 s, tls off, 100 connections)"
  expect_line "$out/settings.txt" "    <connections>512</connections>"
  "$out/examples/kelmo_linked_example" >"$out/linked.txt" || fail "kelmo_linked_example"
  expect_line "$out/linked.txt" "read back: port 5432, 6 password bytes"

  echo "== $label: a C++14 host of kelmo::headers finds the library by itself"
  # Built outside the prefix, so that only the package can say where the
  # library lies.
  local host=$work/headers-$label
  cmake -S "$source/tests/package/headers_consumer" -B "$host" "${generator[@]}" \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >"$out/headers-configure.log" ||
    { cat "$out/headers-configure.log"; fail "configuring the kelmo::headers host"; }
  cmake --build "$host" >"$out/headers-build.log" 2>&1 ||
    { cat "$out/headers-build.log"; fail "building the kelmo::headers host in C++14"; }
  env -u KELMO_LIBRARY -u LD_LIBRARY_PATH "$host/headers_consumer" >"$out/headers.txt" ||
    { cat "$out/headers.txt"; fail "the kelmo::headers host"; }
  expect_line "$out/headers.txt" "loaded $lib/libkelmo.so.0: b is 7"

  if [ "$with_pkg_config" = no ]; then
    echo "== $label: pkg-config is not installed; the pkg-config consumer is not built"
  else
    check_pkg_config "$prefix" "$label"
  fi
  if [ "$with_tool" = yes ]; then
    check_tool "$prefix" "$label"
  fi
}

check_pkg_config() {  # check_pkg_config PREFIX LABEL
  local prefix=$1 label=$2
  local lib=$prefix/$libdir_name
  local out=$work/$label
  echo "== $label: a program built with pkg-config"
  export PKG_CONFIG_PATH=$lib/pkgconfig
  [ "$(pkg-config --modversion kelmo)" = "$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")" ] ||
    fail "pkg-config reports version $(pkg-config --modversion kelmo)"
  local library
  library=$(pkg-config --variable=library kelmo)
  [ -f "$library" ] || fail "pkg-config names $library, which does not exist"
  # shellcheck disable=SC2046,SC2086
  "$cxx" -std=c++17 $flags "$source/tests/package/pkgconfig_consumer.cpp" -o "$out/consumer" \
    $(pkg-config --cflags --libs kelmo) -Wl,-rpath,"$(pkg-config --variable=libdir kelmo)" \
    -DKELMO_LIBRARY_FILE="\"$library\"" || fail "building with pkg-config flags"
  "$out/consumer" >"$out/consumer.txt" || { cat "$out/consumer.txt"; fail "the pkg-config consumer"; }
  expect_line "$out/consumer.txt" "pkg-config consumer: ok"
}

check_tool() {  # check_tool PREFIX LABEL
  local prefix=$1 label=$2
  local lib=$prefix/$libdir_name
  local out=$work/$label
  echo "== $label: the installed tool uses the installed library"
  env -u KELMO_LIBRARY "$prefix/bin/kelmo" --version >"$out/version.txt"
  expect_line "$out/version.txt" "library: $lib/libkelmo.so.0"
  expect_line "$out/version.txt" "library version: $version"
  if command -v objcopy >/dev/null 2>&1; then
    # Debugging information aside, the program names no file of the build.
    # A sanitized build is the one exception: its checks carry, for their
    # messages, the names of the headers they sit in as the compiler found
    # them, and the layers' headers are found through links in the build
    # tree. Those names are never opened.
    objcopy --strip-debug "$prefix/bin/kelmo" "$out/kelmo-stripped"
    local build_path named
    build_path=$(cd "$build" && pwd -P)
    named=$(strings -a "$out/kelmo-stripped" | grep -F "$build_path" | grep -vF "$build_path/layers/" || true)
    [ -z "$named" ] || fail "the installed tool holds a path of the build tree: $(printf '%s' "$named" | head -n 1)"
  fi
  printf '<a><b port="7"/></a>' | env -u KELMO_LIBRARY "$prefix/bin/kelmo" get - b/port --as int >"$out/get.txt"
  expect_line "$out/get.txt" "7"
}

cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }
check_prefix "$work/prefix" installed

mv "$work/prefix" "$work/moved"
check_prefix "$work/moved" moved

echo "package test passed"
