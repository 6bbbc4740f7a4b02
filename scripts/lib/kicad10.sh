# KiCad 10 as a second judge beside the system's KiCad: a Debian unstable tree
# (chroot) with KiCad 10, its pcbnew module for the tree's python3 and its demo
# projects. Building it takes minutes, so it is kept between runs outside the
# clone, where CI on the same machine finds it again. Sourced, not run.
#
# TANDREL_KICAD10_ROOT: where the tree lives (exported for the tests, which
# skip their KiCad 10 checks without it, or fail with TANDREL_KICAD10_REQUIRED=1,
# which scripts/test exports once the tree is ready).

: "${TANDREL_KICAD10_ROOT:=/var/cache/tandrel/kicad10-root}"
export TANDREL_KICAD10_ROOT

TANDREL_KICAD10_MIRROR=http://deb.debian.org/debian
# The unstable suite's Release file on the package registry is served past its
# validity date; apt would refuse it otherwise.
TANDREL_KICAD10_APT=(-o Acquire::Check-Valid-Until=false -o Acquire::Retries=3)

# kicad10_version ROOT: prints the pcbnew version of the tree, fails without one.
kicad10_version() {
  chroot "$1" /usr/bin/python3 -c 'import pcbnew; print(pcbnew.Version())' 2>/dev/null
}

# kicad10_is_ready ROOT: the tree's python3 imports pcbnew, version 10.
kicad10_is_ready() {
  local version
  version=$(kicad10_version "$1") || return 1
  [[ $version == 10.* ]]
}

# Mounts /proc and /dev into the tree for apt's maintainer scripts; the trap
# of the caller undoes it.
kicad10_mount() {
  local root=$1
  mountpoint -q "$root/proc" || mount -t proc proc "$root/proc"
  mountpoint -q "$root/dev" || mount --bind /dev "$root/dev"
}

kicad10_unmount() {
  local root=$1
  mountpoint -q "$root/dev" && umount "$root/dev"
  mountpoint -q "$root/proc" && umount "$root/proc"
  return 0
}

# Removes a tree, never through a mount left in it by a run that was cut
# short (its /dev is the machine's own).
kicad10_remove() {
  kicad10_unmount "$1"
  rm -rf --one-file-system "$1"
}

# kicad10_fail MESSAGE: says why the tree cannot be had and stops.
kicad10_fail() {
  echo "KiCad 10 test tree: $*" >&2
  return 1
}

# Builds the tree in a fresh folder beside the final place and renames it
# there only once pcbnew 10 imports, so a broken build is never reused.
kicad10_build() {
  local root=$1 work="$1.new"
  kicad10_remove "$work"
  mkdir -p "$(dirname "$root")"
  echo "Building the KiCad 10 test tree in $root (Debian unstable, minbase)"
  debootstrap --variant=minbase unstable "$work" "$TANDREL_KICAD10_MIRROR" >"$work.log" 2>&1 ||
    { tail -n 20 "$work.log" >&2; kicad10_fail "debootstrap of Debian unstable failed (log: $work.log)"; return 1; }
  cp /etc/resolv.conf "$work/etc/resolv.conf"
  # Nothing in the tree starts a service.
  printf '#!/bin/sh\nexit 101\n' >"$work/usr/sbin/policy-rc.d"
  chmod +x "$work/usr/sbin/policy-rc.d"
  kicad10_mount "$work"
  local status=0
  {
    chroot "$work" apt-get "${TANDREL_KICAD10_APT[@]}" update &&
      DEBIAN_FRONTEND=noninteractive chroot "$work" apt-get "${TANDREL_KICAD10_APT[@]}" \
        install -y --no-install-recommends kicad kicad-demos python3 &&
      chroot "$work" apt-get clean
  } >>"$work.log" 2>&1 || status=$?
  kicad10_unmount "$work"
  if [ "$status" != 0 ]; then
    tail -n 20 "$work.log" >&2
    kicad10_fail "installing kicad, kicad-demos and python3 from Debian unstable failed (log: $work.log)"
    return 1
  fi
  local version
  version=$(kicad10_version "$work") || true
  if [[ $version != 10.* ]]; then
    chroot "$work" apt-cache policy kicad >&2 || true
    kicad10_fail "Debian unstable's kicad gives pcbnew '${version:-none}', not KiCad 10"
    return 1
  fi
  kicad10_remove "$root"
  mv "$work" "$root"
  mv "$work.log" "$root.log"
  echo "KiCad 10 test tree ready: pcbnew $version"
}

# ensure_kicad10_root: reuses the tree when its pcbnew 10 imports, builds it
# otherwise (as root; debootstrap comes from Debian when missing).
ensure_kicad10_root() {
  local root=$TANDREL_KICAD10_ROOT
  kicad10_is_ready "$root" && return 0
  [ "$(id -u)" -eq 0 ] || { kicad10_fail "building $root needs root (chroot, mount)"; return 1; }
  command -v debootstrap >/dev/null || ensure_packages debootstrap ||
    { kicad10_fail "debootstrap could not be installed"; return 1; }
  kicad10_build "$root"
}
