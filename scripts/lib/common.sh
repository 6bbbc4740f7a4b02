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

# Only the tests need these: KiCad 9's pcbnew module for /usr/bin/python3
# judges the boards the host writes, and KiCad 9's demo projects are real
# boards to try it on. Debian 12 carries KiCad 9 in bookworm-backports.
TANDREL_KICAD_PACKAGES=(kicad kicad-demos)
TANDREL_KICAD_SUITE=bookworm-backports

# Runs a command as root (directly, or through sudo).
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# True when some enabled apt source names the suite, whatever its file is
# called (one-line .list entries or deb822 .sources files).
apt_has_suite() {
  local suite=$1
  local files=(/etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources)
  local existing=()
  local file
  for file in "${files[@]}"; do
    [ -f "$file" ] && existing+=("$file")
  done
  [ ${#existing[@]} -eq 0 ] && return 1
  grep -hv '^[[:space:]]*#' "${existing[@]}" |
    grep -Eq "^[[:space:]]*(deb[[:space:]].*[[:space:]]|Suites:.*[[:space:]])$suite([[:space:]]|$)"
}

# The major version of KiCad that /usr/bin/python3's pcbnew module belongs
# to, or nothing when the module does not load.
kicad_major_version() {
  /usr/bin/python3 -c 'import pcbnew; print(pcbnew.Version())' 2>/dev/null | cut -d. -f1
}

# Installs KiCad 9 and its demos from Debian's backports unless they are
# there; refuses to go on without KiCad 9's pcbnew, as the KiCad checks
# would otherwise judge with another KiCad or skip unnoticed.
ensure_kicad9() {
  local demos
  demos=$(dpkg-query -W -f='${Version}' kicad-demos 2>/dev/null || true)
  if [ "$(kicad_major_version)" != 9 ] || [ "${demos%%.*}" != 9 ]; then
    if ! apt_has_suite "$TANDREL_KICAD_SUITE"; then
      echo "Adding Debian's $TANDREL_KICAD_SUITE to apt's sources"
      printf '%s\n' "Types: deb" "URIs: http://deb.debian.org/debian" \
        "Suites: $TANDREL_KICAD_SUITE" "Components: main" \
        "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" |
        as_root tee "/etc/apt/sources.list.d/$TANDREL_KICAD_SUITE.sources" >/dev/null
    fi
    echo "Installing KiCad 9 from $TANDREL_KICAD_SUITE: ${TANDREL_KICAD_PACKAGES[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      -t "$TANDREL_KICAD_SUITE" "${TANDREL_KICAD_PACKAGES[@]}"
  fi
  local version
  version=$(/usr/bin/python3 -c 'import pcbnew; print(pcbnew.Version())' 2>/dev/null || true)
  if [ "${version%%.*}" != 9 ]; then
    echo "KiCad 9's pcbnew module does not load in /usr/bin/python3 (found: ${version:-none})" >&2
    return 1
  fi
}

# KiCad 6.0.11's demo projects, unpacked from Debian 12's own kicad-demos into
# a cache folder (the installed demos are KiCad 9's): the tests keep KiCad 6
# files under test with them. Prints the demos folder.
TANDREL_KICAD6_DEMOS_VERSION=6.0.11+dfsg-1
fetch_kicad6_demos() {
  local cache=${XDG_CACHE_HOME:-$HOME/.cache}/tandrel/kicad-demos-$TANDREL_KICAD6_DEMOS_VERSION
  local demos=$cache/usr/share/kicad/demos
  if [ ! -d "$demos" ]; then
    mkdir -p "$cache"
    (cd "$cache" && apt-get download -qq "kicad-demos=$TANDREL_KICAD6_DEMOS_VERSION" >&2 &&
      dpkg-deb -x kicad-demos_*.deb . && rm -f kicad-demos_*.deb)
  fi
  echo "$demos"
}

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
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
}

# use_ccache: where ccache is installed, puts it in front of the compilers
# (the cmake options in LAUNCHER_OPTIONS) to keep their work between builds and
# between clones on one machine: paths are taken relative to the clone, and
# the build folder is left out of the key although the debug information names
# it.
LAUNCHER_OPTIONS=()
use_ccache() {
  command -v ccache >/dev/null || return 0
  export CCACHE_BASEDIR=$TANDREL_ROOT CCACHE_NOHASHDIR=true
  LAUNCHER_OPTIONS=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
}

# build_tree DIR [cmake options...]: configures (once) and builds everything.
build_tree() {
  local dir=$1
  shift
  use_ccache
  cmake -S "$TANDREL_ROOT" -B "$dir" -DTANDREL_WERROR=ON "${LAUNCHER_OPTIONS[@]}" "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}
