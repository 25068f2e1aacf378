# Sourced by the scripts: where each configuration is built.
#
# KELMO_BUILD_PREFIX names the plain build directory (default: build in the
# checkout); every other configuration adds a suffix to it, so that
# KELMO_BUILD_PREFIX=/scratch/kelmo gives /scratch/kelmo, /scratch/kelmo-asan,
# /scratch/kelmo-fuzz and so on. A relative prefix is taken from the
# checkout. The per-script variables (KELMO_FUZZ_BUILD_DIR and the like)
# still override a single directory.
#
# Needs $root, the checkout.
kelmo_build_dir() {
  local prefix=${KELMO_BUILD_PREFIX:-build}
  case $prefix in
    /*) ;;
    *) prefix=$root/$prefix ;;
  esac
  echo "$prefix${1:+-$1}"
}

# The CMake generator for every configuration: Ninja where it is installed,
# CMake's default otherwise.
kelmo_generator=()
command -v ninja >/dev/null 2>&1 && kelmo_generator=(-G Ninja)
