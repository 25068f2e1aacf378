#!/usr/bin/env bash
# Makes the release files, all of one version (the project's, in
# CMakeLists.txt):
#   libkelmo0_VERSION_ARCH.deb     the shared library and its soname link
#   libkelmo-dev_VERSION_ARCH.deb  headers, CMake and pkg-config files
#   kelmo-tools_VERSION_ARCH.deb   the command-line tool
#   kelmo-VERSION-win64.zip        kelmo.dll, kelmo.exe, the headers and notes
# into build-dist/ (KELMO_DIST_DIR moves it).
#
#   scripts/package.sh [deb] [windows]     (both when none is named)
#
# The Debian packages are built in build-deb/ with Debian's own compiler
# and linker flags (dpkg-buildflags), made one from each install component
# with dpkg-deb, and dpkg-shlibdeps works out what they need of the system.
# The Windows files come from the MinGW-w64 build in build-mingw/, which the
# Windows test step builds too: what is built there already is not built
# again. Installs what it needs on a fresh Debian machine, like the other
# scripts.
set -euo pipefail
umask 022
cd "$(dirname "$0")/.."
root=$(pwd)
. "$root/scripts/lib/build_dirs.sh"
jobs=${KELMO_JOBS:-$(nproc)}
dist=${KELMO_DIST_DIR:-$(kelmo_build_dir dist)}
deb_build=${KELMO_DEB_BUILD_DIR:-$(kelmo_build_dir deb)}
mingw_build=${KELMO_MINGW_BUILD_DIR:-$(kelmo_build_dir mingw)}

want_deb=no
want_windows=no
[ $# -eq 0 ] && set -- deb windows
for what in "$@"; do
  case $what in
    deb) want_deb=yes ;;
    windows) want_windows=yes ;;
    *) echo "usage: $0 [deb] [windows]" >&2; exit 2 ;;
  esac
done

deps=()
[ "$want_deb" = yes ] && deps+=(dpkg-dev)
[ "$want_windows" = yes ] && deps+=(g++-mingw-w64-x86-64 zip)
"$root/scripts/install_deps.sh" --build-only "${deps[@]}"

mkdir -p "$dist"

# The version, as CMake configured the build directory from CMakeLists.txt.
# The changelog must describe it before anything is shipped.
version=""
take_version() {  # take_version BUILD_DIR
  local configured
  configured=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt")
  [ -n "$configured" ] || { echo "package.sh: $1 names no project version" >&2; exit 1; }
  if [ -n "$version" ] && [ "$configured" != "$version" ]; then
    echo "package.sh: $1 was configured for version $configured, not $version" >&2
    exit 1
  fi
  version=$configured
  cmake -DCHANGELOG="$root/CHANGELOG.md" -DVERSION="$version" \
    -P "$root/cmake/check_changelog_version.cmake" >/dev/null
}

# The Debian packages: one install component each, the package's name, its
# section, and whether it depends on the runtime package of its version.
# The runtime package is named after the soname (libkelmo.so.0: libkelmo0),
# so that libraries of two sonames can be installed side by side.
deb_packages=(
  "runtime libkelmoSONAME libs no"
  "development libkelmo-dev libdevel yes"
  "tools kelmo-tools utils yes"
)

deb_description() {  # deb_description PACKAGE: the Description field
  local common=" kelmo keeps typed parameters in a tree of reference-counted nodes and reads
 and writes that tree as XML, in many encodings. Host programs load it as a
 shared library and use it through fixed C++ interfaces.
 ."
  case $1 in
    libkelmo[0-9]*) printf '%s\n%s\n%s\n' "typed parameter trees read and written as XML - library" "$common" \
      " This package contains the shared library." ;;
    libkelmo-dev) printf '%s\n%s\n%s\n' "typed parameter trees read and written as XML - development files" "$common" \
      " This package contains the headers, the CMake package (find_package(kelmo))
 and the pkg-config file." ;;
    kelmo-tools) printf '%s\n%s\n%s\n' "typed parameter trees read and written as XML - command-line tool" "$common" \
      " This package contains the tool kelmo, which checks, reformats, queries and
 edits XML parameter files with the library." ;;
  esac
}

make_deb() {
  echo "== Debian packages"
  # Debian's flags: hardening, and source paths written relative to the
  # checkout. Whatever else of the build might name build-deb/ is mapped
  # away too.
  local cppflags cxxflags ldflags
  cppflags=$(dpkg-buildflags --get CPPFLAGS)
  cxxflags=$(dpkg-buildflags --get CXXFLAGS)
  ldflags=$(dpkg-buildflags --get LDFLAGS)
  cmake -S "$root" -B "$deb_build" "${kelmo_generator[@]}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DKELMO_BUILD_TESTS=OFF -DKELMO_BUILD_TOOLS=ON \
    -DCMAKE_CXX_FLAGS="$cppflags $cxxflags -ffile-prefix-map=$root=. -ffile-prefix-map=$deb_build=." \
    -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
  take_version "$deb_build"
  cmake --build "$deb_build" --target kelmo kelmo_cli -j "$jobs"
  local soname runtime
  soname=$(readelf -d "$deb_build/libkelmo.so.$version" | sed -n 's/.*(SONAME).*\[libkelmo\.so\.\([0-9]*\)\]$/\1/p')
  [ -n "$soname" ] || { echo "package.sh: libkelmo.so.$version has no soname" >&2; exit 1; }
  runtime=libkelmo$soname

  local arch maintainer date
  arch=$(dpkg --print-architecture)
  maintainer="${DEBFULLNAME:-The kelmo authors} <${DEBEMAIL:-kelmo@example.org}>"
  # The date of the release's changelog entry: the sources' own, so that
  # the same sources make the same packages.
  date=$(date -u -R -d "@${SOURCE_DATE_EPOCH:-$(stat -c %Y "$root/CHANGELOG.md")}")
  local stage=$deb_build/deb
  rm -rf "$stage"
  local entry component package section same
  for entry in "${deb_packages[@]}"; do
    read -r component package section same <<<"$entry"
    package=${package/SONAME/$soname}
    local dir=$stage/$package
    DESTDIR=$dir cmake --install "$deb_build" --component "$component" >"$stage.log" ||
      { cat "$stage.log"; exit 1; }
    # Stripped as Debian strips: no symbol table, no debugging information
    # (which would name the build's paths), no compiler comments.
    local file
    while IFS= read -r file; do
      case $file in
        *.so.*) strip --remove-section=.comment --remove-section=.note --strip-unneeded "$file" ;;
        *) strip --remove-section=.comment --remove-section=.note "$file" ;;
      esac
    done < <(find "$dir" -type f \( -name '*.so.*' -o -perm -u+x \))

    local doc=$dir/usr/share/doc/$package
    mkdir -p "$doc" "$dir/DEBIAN"
    install -m 0644 "$root/LICENSE" "$doc/copyright"
    # A native package's changelog.gz is in Debian's format; it points to
    # the project's own changelog, which libkelmo-dev carries.
    printf '%s\n' "kelmo ($version) unstable; urgency=medium" "" \
      "  * kelmo $version. The changes are listed in" \
      "    /usr/share/doc/libkelmo-dev/CHANGELOG.md.gz." "" \
      " -- $maintainer  $date" | gzip -9 -n >"$doc/changelog.gz"
    if [ "$package" = libkelmo-dev ]; then
      gzip -9 -n -c "$root/README.md" >"$doc/README.md.gz"
      gzip -9 -n -c "$root/CHANGELOG.md" >"$doc/CHANGELOG.md.gz"
    fi

    # What the package's programs and libraries need of the system's
    # libraries, as dpkg-shlibdeps finds it; it wants a debian/control to
    # stand in.
    local depends="" binaries=()
    mapfile -t binaries < <(find "$dir/usr" -type f \( -name '*.so.*' -o -perm -u+x \))
    if [ ${#binaries[@]} -gt 0 ]; then
      mkdir -p "$stage/shlibdeps/debian"
      : >"$stage/shlibdeps/debian/control"
      depends=$(cd "$stage/shlibdeps" && dpkg-shlibdeps -O "${binaries[@]/#/-e}" |
        sed -n 's/^shlibs:Depends=//p')
    fi
    if [ "$same" = yes ]; then
      depends="$runtime (= $version)${depends:+, $depends}"
    fi
    if [ "$package" = "$runtime" ]; then
      # Programs linked against this version need this version or newer;
      # the loader's cache is renewed after the library is installed.
      echo "libkelmo $soname $runtime (>= $version)" >"$dir/DEBIAN/shlibs"
      echo "activate-noawait ldconfig" >"$dir/DEBIAN/triggers"
    fi
    {
      echo "Package: $package"
      echo "Version: $version"
      echo "Architecture: $arch"
      echo "Maintainer: $maintainer"
      echo "Installed-Size: $(du -k -s --exclude=DEBIAN "$dir" | cut -f1)"
      [ -n "$depends" ] && echo "Depends: $depends"
      echo "Section: $section"
      echo "Priority: optional"
      echo "Description: $(deb_description "$package")"
    } >"$dir/DEBIAN/control"
    (cd "$dir" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$dir/DEBIAN/md5sums"
    chmod 0644 "$dir"/DEBIAN/*
    local deb=$dist/${package}_${version}_${arch}.deb
    dpkg-deb --root-owner-group -Zxz --build "$dir" "$deb" >/dev/null
    echo "   $deb"
  done
}

make_windows() {
  echo "== Windows archive"
  # The Windows test step configures this directory with the tests; a new
  # one here goes without them, as only the DLL and the tool are needed.
  local fresh=()
  [ -f "$mingw_build/CMakeCache.txt" ] || fresh=(-DKELMO_BUILD_TESTS=OFF)
  cmake -S "$root" -B "$mingw_build" "${kelmo_generator[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" \
    -DCMAKE_BUILD_TYPE=Release "${fresh[@]}" >/dev/null
  take_version "$mingw_build"
  cmake --build "$mingw_build" --target kelmo kelmo_cli -j "$jobs"

  local name=kelmo-$version-win64
  local stage=$mingw_build/archive
  rm -rf "$stage"
  cmake --install "$mingw_build" --prefix "$stage/install" --strip >"$stage.log" 2>&1 ||
    { cat "$stage.log"; exit 1; }
  local dir=$stage/$name
  mkdir -p "$dir"
  cp "$stage/install/bin/kelmo.dll" "$stage/install/bin/kelmo.exe" "$dir/"
  cp -R "$stage/install/include" "$dir/include"
  cp "$root/README.md" "$root/LICENSE" "$root/CHANGELOG.md" "$root/docs/msvc_hosts.md" "$dir/"
  rm -f "$dist/$name.zip"
  (cd "$stage" && zip -q -X -r -9 "$dist/$name.zip" "$name")
  echo "   $dist/$name.zip"
}

[ "$want_deb" = yes ] && make_deb
[ "$want_windows" = yes ] && make_windows
exit 0
