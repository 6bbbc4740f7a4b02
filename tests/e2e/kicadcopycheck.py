#!/usr/bin/python3
"""KiCad's own judgement of the copper that Place copied onto a board.

    kicadcopycheck.py copies ORIGINAL SAVED
        loads both boards with KiCad's LoadBoard. Every zone of SAVED in a
        group "Tandrel G..." (and every teardrop new to SAVED, where KiCad
        groups no teardrop: kicadapi.py) must repeat a zone of ORIGINAL
        moved by one vector: the same layers, and the same teardrop kind,
        name, priority, clearance, minimum thickness, pad connection, hatch,
        island removal and keepout rules. KiCad's DRC of SAVED may find no more "Items not
        allowed" than in ORIGINAL. Prints
            zones copied N, teardrops copied T
            items not allowed: BEFORE before, AFTER after
        and exits with 1 on any fault, naming it.

    kicadcopycheck.py roundtrip BOARD
        loads BOARD, saves it with KiCad's SaveBoard into a new file, loads
        that and compares: every footprint (reference, position, angle,
        side), track, arc, via, zone (layers, outline) and group (name,
        members) must be there in both, as many and at the same coordinates.
        Prints the counts; exits with 1 naming what differs.

    kicadcopycheck.py drawings BOARD TEMPLATE COPIES UUID...
        loads BOARD. Each drawing UUID (a board graphic on a silkscreen, fab
        or user layer) is carried as KiCad carries it from footprint
        TEMPLATE onto each footprint of COPIES (references joined by
        commas): turned about TEMPLATE's position by the difference of their
        angles, moved by the difference of their positions. Exactly one
        drawing of the same kind and layer in a group "Tandrel G..." must
        stand there, within 20 nm. Prints "drawings copied N"; exits with 1
        naming what is missing.

Run by /usr/bin/python3 with KiCad 9's pcbnew module, or by the python3 of
the KiCad 10 tree with KiCad 10's (kicadapi.py bridges the two).
"""

import collections
import os
import sys
import tempfile

import pcbnew

import kicadapi


def load(path):
    try:
        return pcbnew.LoadBoard(path)
    except Exception as error:  # KiCad raises its own IO_ERROR
        sys.exit("%s does not load: %s" % (path, error))


def group_name(item):
    group = item.GetParentGroup()
    return group.GetName() if group else ""


def outline(zone):
    points = zone.Outline().Outline(0)
    return [(points.CPoint(i).x, points.CPoint(i).y) for i in range(points.PointCount())]


def layers(zone):
    return tuple(zone.GetLayerSet().Seq())


def settings(zone):
    """What a copy keeps of its zone: everything but shape, net and identity."""
    keepout = ()
    if zone.GetIsRuleArea():
        keepout = (zone.GetDoNotAllowTracks(), zone.GetDoNotAllowVias(),
                   zone.GetDoNotAllowPads(), zone.GetDoNotAllowZoneFills(),
                   zone.GetDoNotAllowFootprints())
    return {
        "teardrop": zone.IsTeardropArea(),
        "name": zone.GetZoneName(),
        "priority": zone.GetAssignedPriority(),
        "clearance": zone.GetLocalClearance(),
        "min thickness": zone.GetMinThickness(),
        "pad connection": int(zone.GetPadConnection()),
        "hatch": int(zone.GetHatchStyle()),
        "island removal": int(zone.GetIslandRemovalMode()),
        "rule area": zone.GetIsRuleArea(),
        "keepout": keepout,
    }


def shift_between(copy, original):
    """The vector that moves original's outline onto copy's, or None."""
    a, b = outline(copy), outline(original)
    if len(a) != len(b) or not a:
        return None
    dx, dy = a[0][0] - b[0][0], a[0][1] - b[0][1]
    for (ax, ay), (bx, by) in zip(a, b):
        # Within the host's unit of 10 nm.
        if abs(ax - bx - dx) > 10 or abs(ay - by - dy) > 10:
            return None
    return dx, dy


def items_not_allowed(board):
    return sum(1 for line in kicadapi.drc_report(board).splitlines()
               if line.startswith("[items_not_allowed]"))


def copies(original_path, saved_path):
    original, saved = load(original_path), load(saved_path)
    faults = []
    templates = [z for z in original.Zones()]
    known = {(layers(z), tuple(outline(z))) for z in templates}
    copied = [z for z in saved.Zones() if group_name(z).startswith("Tandrel G") or (
        not kicadapi.TEARDROPS_IN_GROUPS and z.IsTeardropArea() and
        (layers(z), tuple(outline(z))) not in known)]
    teardrops = 0
    for zone in copied:
        matches = [t for t in templates
                   if layers(t) == layers(zone) and shift_between(zone, t) is not None]
        if not matches:
            faults.append("copied zone %s on %s repeats no zone of the board"
                          % (zone.GetZoneName() or "(unnamed)", zone.GetNetname()))
            continue
        wanted = settings(zone)
        if not any(settings(t) == wanted for t in matches):
            faults.append("copied zone at %s differs from its template: %s, template %s"
                          % (outline(zone)[0], wanted, settings(matches[0])))
        teardrops += int(zone.IsTeardropArea())
    before, after = items_not_allowed(original), items_not_allowed(saved)
    print("zones copied %d, teardrops copied %d" % (len(copied), teardrops))
    print("items not allowed: %d before, %d after" % (before, after))
    if after > before:
        faults.append("KiCad's DRC finds %d more \"Items not allowed\"" % (after - before))
    for fault in faults:
        print("FAULT:", fault)
    return 1 if faults else 0


def contents(board):
    """Every kept kind of item, as sortable descriptions."""
    items = collections.defaultdict(list)
    for fp in board.GetFootprints():
        p = fp.GetPosition()
        items["footprint"].append((fp.GetReference(), p.x, p.y,
                                   fp.GetOrientationDegrees(), fp.IsFlipped()))
    for track in board.GetTracks():
        kind = track.GetClass()
        if kind == "PCB_VIA":
            p = track.GetPosition()
            items["via"].append((p.x, p.y, track.GetWidth(pcbnew.F_Cu), track.GetDrillValue(),
                                 track.GetNetname()))
        elif kind == "PCB_ARC":
            s, m, e = track.GetStart(), track.GetMid(), track.GetEnd()
            items["arc"].append((s.x, s.y, m.x, m.y, e.x, e.y, track.GetLayer(),
                                 track.GetNetname()))
        else:
            s, e = track.GetStart(), track.GetEnd()
            items["track"].append((s.x, s.y, e.x, e.y, track.GetLayer(), track.GetNetname()))
    for zone in board.Zones():
        items["zone"].append((layers(zone), tuple(outline(zone)), zone.GetNetname(),
                              zone.IsTeardropArea()))
    for group in board.Groups():
        items["group"].append((group.GetName(), len(group.GetItems())))
    return {kind: sorted(found) for kind, found in items.items()}


def roundtrip(path):
    first = load(path)
    with tempfile.TemporaryDirectory() as folder:
        again = os.path.join(folder, "again.kicad_pcb")
        pcbnew.SaveBoard(again, first)
        second = load(again)
    before, after = contents(first), contents(second)
    faults = 0
    for kind in ("footprint", "track", "arc", "via", "zone", "group"):
        a, b = before.get(kind, []), after.get(kind, [])
        print("%s %d" % (kind, len(a)))
        if a != b:
            faults += 1
            lost = [x for x in a if x not in b][:3]
            print("FAULT: %ss differ after KiCad's load and save: %d, then %d; e.g. %s"
                  % (kind, len(a), len(b), lost))
    return 1 if faults else 0


def shape_points(shape):
    """The points that place a board graphic, as KiCad reports them."""
    kind = shape.GetShape()
    if kind == pcbnew.SHAPE_T_ARC:
        points = [shape.GetStart(), shape.GetArcMid(), shape.GetEnd()]
    elif kind == pcbnew.SHAPE_T_POLY:
        chain = shape.GetPolyShape().Outline(0)
        points = [chain.CPoint(i) for i in range(chain.PointCount())]
    elif kind == pcbnew.SHAPE_T_RECT:
        # Which corner is the start does not matter.
        return sorted((p.x, p.y) for p in shape.GetRectCorners())
    else:
        points = [shape.GetStart(), shape.GetEnd()]
    return [(p.x, p.y) for p in points]


def same_points(a, b):
    """Equal within 20 nm."""
    return len(a) == len(b) and all(abs(ax - bx) <= 20 and abs(ay - by) <= 20 for (ax, ay), (bx, by) in zip(a, b))


def drawings(path, template_ref, copy_refs, uuids):
    board = load(path)
    footprints = {fp.GetReference(): fp for fp in board.GetFootprints()}
    shapes = [d for d in board.GetDrawings() if d.GetClass() == "PCB_SHAPE"]
    by_uuid = {d.m_Uuid.AsString(): d for d in shapes}
    template = footprints.get(template_ref)
    faults = []
    copied = 0
    if template is None:
        faults.append("no footprint %s" % template_ref)
    for uuid in uuids if template else []:
        source = by_uuid.get(uuid)
        if source is None:
            faults.append("the template's drawing %s is gone" % uuid)
            continue
        for ref in copy_refs.split(","):
            copy = footprints.get(ref)
            if copy is None:
                faults.append("no footprint %s" % ref)
                continue
            wanted = source.Duplicate()
            wanted.Rotate(template.GetPosition(),
                          copy.GetOrientation() - template.GetOrientation())
            wanted.Move(copy.GetPosition() - template.GetPosition())
            found = [d for d in shapes
                     if group_name(d).startswith("Tandrel G") and d.GetShape() == wanted.GetShape()
                     and d.GetLayer() == wanted.GetLayer()
                     and same_points(shape_points(d), shape_points(wanted))]
            if len(found) != 1:
                faults.append("%d copies of drawing %s where %s wants it, at %s"
                              % (len(found), uuid, ref, shape_points(wanted)))
            copied += len(found)
    print("drawings copied %d" % copied)
    for fault in faults:
        print("FAULT:", fault)
    return 1 if faults else 0


def main():
    if len(sys.argv) >= 6 and sys.argv[1] == "drawings":
        return drawings(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5:])
    if len(sys.argv) == 4 and sys.argv[1] == "copies":
        return copies(sys.argv[2], sys.argv[3])
    if len(sys.argv) == 3 and sys.argv[1] == "roundtrip":
        return roundtrip(sys.argv[2])
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main())
