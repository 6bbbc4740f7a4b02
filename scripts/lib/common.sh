# Shared by the scripts: the Debian packages the project needs, and the build.
# Sourced, not run.

TANDREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

TANDREL_PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-qpa-plugins
  nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
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

# build_tree DIR [cmake options...]: configures (once) and builds everything.
build_tree() {
  local dir=$1
  shift
  cmake -S "$TANDREL_ROOT" -B "$dir" -DTANDREL_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}
