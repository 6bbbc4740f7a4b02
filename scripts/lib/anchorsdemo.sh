# The KiCad part of the demo, shared by scripts/demo and scripts/screenshots:
# KiCad 9's multichannel demo with its channels CH2 to CH4 stripped of their
# copper and of every part but their anchor IC (by KiCad's own pcbnew), to
# be placed back on the anchors with CH1's routing. Sourced, not run.

ANCHORS_DEMO_BOARD=/usr/share/kicad/demos/multichannel/multichannel_mixer.kicad_pcb

# True when KiCad's demo and its pcbnew module are here; says what is missing
# otherwise.
anchors_demo_available() {
  if [ ! -f "$ANCHORS_DEMO_BOARD" ] || ! /usr/bin/python3 -c 'import pcbnew' 2>/dev/null; then
    echo "KiCad 9's demos or its pcbnew module are missing (scripts/test installs them):" \
      "the KiCad board is left out." >&2
    return 1
  fi
}

# Copies the multichannel project into DIR and strips its channels there;
# prints the board's path.
anchors_demo_prepare() {
  local dir=$1
  cp -r "$(dirname "$ANCHORS_DEMO_BOARD")"/. "$dir"/
  chmod -R u+w "$dir"
  local board="$dir/$(basename "$ANCHORS_DEMO_BOARD")"
  /usr/bin/python3 "$TANDREL_ROOT/tests/e2e/kicadanchorcheck.py" prepare "$board" IC2 \
    >/dev/null 2>&1 || {
    echo "pcbnew could not prepare $board" >&2
    return 1
  }
  echo "$board"
}

# Runs the driver under Xvfb (or Qt's offscreen platform when
# QT_QPA_PLATFORM says so, as the tests do) on a prepared copy: CH1 (the
# group of IC2) as the template, the others placed on their anchors with its
# routing; the pictures go into OUT_DIR, their paths printed.
anchors_demo_run() {
  local build_dir=$1 out=$2
  local work
  work=$(mktemp -d "${TMPDIR:-/tmp}/tandrel-anchors-demo.XXXXXX")
  local board
  board=$(anchors_demo_prepare "$work") || { rm -rf "$work"; return 1; }
  local display=(xvfb-run -a -s "-screen 0 1600x1000x24")
  [ "${QT_QPA_PLATFORM:-}" = offscreen ] && display=()
  "${display[@]}" "$build_dir"/tests/e2e/tandrel_demo_driver "$board" "$out" IC2 | grep '\.png$'
  local status=${PIPESTATUS[0]}
  rm -rf "$work"
  return "$status"
}
