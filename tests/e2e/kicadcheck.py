#!/usr/bin/python3
"""Checks a board that Tandrel placed and dbxhost saved, in KiCad's own model.

    kicadcheck.py turn BOARD SHEETPATH
        Turns every footprint whose path starts with SHEETPATH by 45 or 90
        degrees (alternately, in board order) about its own origin, flips it
        to the other side, and saves BOARD in place. Prints the designators
        it turned, one a line.

    kicadcheck.py check ORIGINAL SAVED TEMPLATE=COPY...
        Verifies that SAVED loads; that every COPY footprint has its
        TEMPLATE's side, angle and pads (pad positions relative to the
        footprint); that one vector shifts every template footprint onto its
        copy (spread <= 20 nm); that tracks, zones, nets and every footprint
        other than the copies are as in ORIGINAL; and that KiCad's DRC finds
        no courtyard overlap between two copies that their templates do not
        have. Prints one line per fault and exits 1 when there is any.

    kicadcheck.py texts SAVED TEMPLATE=COPY...
        Verifies that SAVED loads and that every COPY footprint's Reference
        and Value texts stand where its TEMPLATE's do in the footprint's own
        frame (offset within TEXT_LIMIT_NM), at the same angle relative to
        the footprint, on the same layer, mirrored and shown alike. Prints
        one line per fault and exits 1 when there is any.

Exit status 2: wrong arguments, or a board that does not load.
"""

import os
import re
import sys
import tempfile

import pcbnew

SPREAD_LIMIT_NM = 20
PAD_LIMIT_NM = 1
# The host keeps positions in 10 nm units: a copied text's offset may differ
# from its template's by that rounding.
TEXT_LIMIT_NM = 10


def load(path, as_stored=False):
    """The board as KiCad opens it, or as_stored: as the file states it,
    before KiCad's connectivity gives tracks the nets of the pads they touch."""
    try:
        if as_stored:
            board = pcbnew.IO_MGR.Load(pcbnew.IO_MGR.KICAD_SEXP, path)
        else:
            board = pcbnew.LoadBoard(path)
    except Exception as error:  # pcbnew raises its own IO_ERROR types
        print(f"{path}: does not load: {error}")
        sys.exit(2)
    if board is None:
        print(f"{path}: does not load")
        sys.exit(2)
    return board


def footprints(board):
    return {fp.GetReference(): fp for fp in board.GetFootprints()}


def angle(fp):
    return round(fp.GetOrientationDegrees() % 360.0, 6) % 360.0


def pose(fp):
    p = fp.GetPosition()
    return (p.x, p.y, angle(fp), fp.IsFlipped())


def relative_pads(fp):
    origin = fp.GetPosition()
    return [(pad.GetNumber(), pad.GetPosition().x - origin.x, pad.GetPosition().y - origin.y)
            for pad in fp.Pads()]


def turn(board_path, sheet_path):
    board = load(board_path)
    turned = []
    for fp in sorted(board.GetFootprints(), key=lambda f: f.GetReference()):
        if not fp.GetPath().AsString().startswith(sheet_path):
            continue
        step = 45.0 if len(turned) % 2 == 0 else 90.0
        fp.SetOrientationDegrees(fp.GetOrientationDegrees() + step)
        fp.Flip(fp.GetPosition(), False)
        turned.append(fp.GetReference())
    if not turned:
        print(f"no footprint under {sheet_path}")
        sys.exit(2)
    if not pcbnew.SaveBoard(board_path, board):
        print(f"{board_path}: cannot save")
        sys.exit(2)
    for reference in turned:
        print(reference)


def tracks(board):
    out = []
    for t in board.GetTracks():
        out.append((t.GetClass(), t.GetStart().x, t.GetStart().y, t.GetEnd().x, t.GetEnd().y,
                    t.GetWidth(), t.GetLayer(), t.GetNetname()))
    return sorted(out)


def zones(board):
    out = []
    for z in board.Zones():
        outline = z.Outline()
        points = []
        for i in range(outline.TotalVertices()):
            v = outline.CVertex(i)
            points.append((v.x, v.y))
        out.append((z.GetNetname(), z.GetLayerSet().FmtHex(), tuple(points)))
    return sorted(out)


def nets(board):
    return sorted(str(name) for name in board.GetNetInfo().NetsByName().keys())


def courtyard_overlaps(board):
    """Pairs of designators whose courtyards overlap, as KiCad's DRC says."""
    handle, report = tempfile.mkstemp(suffix=".rpt")
    os.close(handle)
    try:
        if not pcbnew.WriteDRCReport(board, report, pcbnew.EDA_UNITS_MILLIMETRES, True):
            print("DRC report could not be written")
            sys.exit(2)
        with open(report, encoding="utf-8") as f:
            text = f.read()
    finally:
        os.unlink(report)
    pairs = set()
    for block in re.split(r"\n(?=\[)", text):
        if not block.startswith("[courtyards_overlap]"):
            continue
        refs = re.findall(r"@\([^)]*\): Footprint (\S+)", block)
        if len(refs) == 2:
            pairs.add(frozenset(refs))
    return pairs


def check(original_path, saved_path, pair_args):
    original = load(original_path)
    saved = load(saved_path)
    faults = []
    pairs = []
    for arg in pair_args:
        template, _, copy = arg.partition("=")
        if not template or not copy:
            print(f"bad pair {arg!r}: TEMPLATE=COPY expected")
            sys.exit(2)
        pairs.append((template, copy))
    before, after = footprints(original), footprints(saved)
    copies = {copy for _, copy in pairs}
    copy_of = {template: copy for template, copy in pairs}

    shifts = []
    for template, copy in pairs:
        if template not in after or copy not in after:
            faults.append(f"{template} or {copy} missing in the saved board")
            continue
        t, c = after[template], after[copy]
        if t.IsFlipped() != c.IsFlipped():
            faults.append(f"{copy}: side differs from {template}")
        if angle(t) != angle(c):
            faults.append(f"{copy}: angle {angle(c)} differs from {template}'s {angle(t)}")
        tp, cp = relative_pads(t), relative_pads(c)
        if len(tp) != len(cp):
            faults.append(f"{copy}: {len(cp)} pads, {template} has {len(tp)}")
        for a, b in zip(tp, cp):
            if a[0] != b[0] or abs(a[1] - b[1]) > PAD_LIMIT_NM or abs(a[2] - b[2]) > PAD_LIMIT_NM:
                faults.append(f"{copy}: pad {b} differs from {template}'s {a}")
        shifts.append((c.GetPosition().x - t.GetPosition().x, c.GetPosition().y - t.GetPosition().y))
    if shifts:
        spread_x = max(s[0] for s in shifts) - min(s[0] for s in shifts)
        spread_y = max(s[1] for s in shifts) - min(s[1] for s in shifts)
        print(f"shift {shifts[0][0]} {shifts[0][1]} nm, spread {spread_x} x {spread_y} nm")
        if spread_x > SPREAD_LIMIT_NM or spread_y > SPREAD_LIMIT_NM:
            faults.append(f"shift spread {spread_x} x {spread_y} nm over {SPREAD_LIMIT_NM} nm")

    for reference, fp in before.items():
        if reference in copies:
            continue
        if reference not in after:
            faults.append(f"{reference}: gone from the saved board")
        elif pose(after[reference]) != pose(fp):
            faults.append(f"{reference}: moved from {pose(fp)} to {pose(after[reference])}")
    if set(after) != set(before):
        faults.append("footprints added or removed")
    # A copy whose pad lands on a track would make KiCad's connectivity
    # rename that track's net on loading: the file itself must be unchanged.
    stored_original = load(original_path, as_stored=True)
    stored_saved = load(saved_path, as_stored=True)
    if tracks(stored_saved) != tracks(stored_original):
        faults.append("tracks or vias changed")
    if zones(stored_saved) != zones(stored_original):
        faults.append("zones changed")
    if nets(stored_saved) != nets(stored_original):
        faults.append("nets changed")

    template_overlaps = courtyard_overlaps(saved)
    for pair in sorted(template_overlaps, key=sorted):
        a, b = sorted(pair)
        if a not in copies or b not in copies:
            continue
        templates = {t for t, c in pairs if c in pair}
        if frozenset(templates) not in template_overlaps:
            faults.append(f"courtyards of {a} and {b} overlap; their templates' do not")
    print(f"{len(pairs)} copies checked, {len(copy_of)} templates")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


def footprint_texts(fp):
    """The Reference and Value texts in the footprint's own frame: offset,
    angle relative to the footprint, layer, mirror, visibility."""
    facts = {}
    for kind, text in (("Reference", fp.Reference()), ("Value", fp.Value())):
        offset = text.GetPos0()
        facts[kind] = (offset.x, offset.y, round(text.GetTextAngle() % 3600.0, 3) % 3600.0,
                       text.GetLayerName(), text.IsMirrored(), text.IsVisible())
    return facts


def check_texts(saved_path, pair_args):
    saved = footprints(load(saved_path))
    faults = []
    checked = 0
    for arg in pair_args:
        template, _, copy = arg.partition("=")
        if not template or not copy:
            print(f"bad pair {arg!r}: TEMPLATE=COPY expected")
            sys.exit(2)
        if template not in saved or copy not in saved:
            faults.append(f"{template} or {copy} missing in the saved board")
            continue
        model, made = footprint_texts(saved[template]), footprint_texts(saved[copy])
        for kind, (mx, my, *rest) in model.items():
            cx, cy, *copied = made[kind]
            if abs(mx - cx) > TEXT_LIMIT_NM or abs(my - cy) > TEXT_LIMIT_NM:
                faults.append(f"{copy}: {kind} offset ({cx}, {cy}) differs from {template}'s "
                              f"({mx}, {my})")
            if copied != rest:
                faults.append(f"{copy}: {kind} angle, layer, mirror, visibility {copied} differ "
                              f"from {template}'s {rest}")
        checked += 1
    print(f"texts of {checked} copies checked")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


def main(argv):
    if len(argv) == 3 and argv[0] == "turn":
        turn(argv[1], argv[2])
        return 0
    if len(argv) >= 4 and argv[0] == "check":
        return check(argv[1], argv[2], argv[3:])
    if len(argv) >= 3 and argv[0] == "texts":
        return check_texts(argv[1], argv[2:])
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
