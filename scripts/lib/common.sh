# Shared by the scripts: the Debian packages the project needs, and the build.
# Sourced, not run.

TANDREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

TANDREL_PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-qpa-plugins
  nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
  ccache
)

# Only the tests need these: KiCad 6's pcbnew module for /usr/bin/python3
# judges the boards the host writes, and KiCad's demo projects are real boards
# to try it on.
TANDREL_TEST_PACKAGES=(kicad kicad-demos)

# Installs whichever of the packages is missing (as root, or through sudo).
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "${TANDREL_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
}

# The cmake options that put ccache in front of the compilers, where it is
# installed: it keeps the compiler's work between builds and between clones on
# one machine (paths are taken relative to the clone).
launcher_options() {
  command -v ccache >/dev/null || return 0
  export CCACHE_BASEDIR=$TANDREL_ROOT
  echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache
}

# build_tree DIR [cmake options...]: configures (once) and builds everything.
build_tree() {
  local dir=$1
  shift
  # shellcheck disable=SC2046  # the options are words without blanks
  cmake -S "$TANDREL_ROOT" -B "$dir" -DTANDREL_WERROR=ON $(launcher_options) "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}
