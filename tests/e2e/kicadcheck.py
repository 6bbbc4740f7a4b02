#!/usr/bin/python3
"""Checks a board that Tandrel placed and dbxhost saved, in KiCad's own model.

    kicadcheck.py turn BOARD SHEETPATH
        Turns every footprint whose path starts with SHEETPATH by 45 or 90
        degrees (alternately, in board order) about its own origin, flips it
        to the other side, and saves BOARD in place. Prints the designators
        it turned, one a line.

    kicadcheck.py enrich BOARD SHEETPATH
        Gives the copper of the footprints whose path starts with SHEETPATH
        what a routed board has beyond straight tracks: a via where two of
        their tracks meet, one track turned into an arc, and a filled zone on
        both outer copper layers over the footprint with most pads, on the
        net of the board's first zone. Saves BOARD in place.

    kicadcheck.py check [--copper-added] ORIGINAL SAVED TEMPLATE=COPY...
        Verifies that SAVED loads; that every COPY footprint has its
        TEMPLATE's side, angle and pads (pad positions relative to the
        footprint); that one vector shifts every template footprint onto its
        copy (spread <= 20 nm); that tracks, zones, nets and every footprint
        other than the copies are as in ORIGINAL; and that KiCad's DRC finds
        no courtyard overlap between two copies that their templates do not
        have. With --copper-added, Place copied the routing too: the tracks
        and zones are left to "routed" below. Prints one line per fault and
        exits 1 when there is any.

    kicadcheck.py routed ORIGINAL SAVED TEMPLATE=COPY...
        Verifies the copper that Place copied with the template's routing:
        every track, arc, via and zone of SAVED that ORIGINAL lacks repeats a
        template item shifted like the footprints, lies in a "Tandrel G"
        group (but teardrops where KiCad groups none: kicadapi.py), and is on the net that the template item's net maps to
        through the pads of the footprint pairs, which is also the net that
        KiCad's connectivity gives it on loading; the copper of ORIGINAL is
        all still there; KiCad's DRC finds no violation among the copies that
        the template does not have at the same place relative to its parts;
        and two copy pads are connected wherever their template pads are.
        Prints the DRC and unconnected counts of both boards.
    kicadcheck.py texts SAVED TEMPLATE=COPY...
        Verifies that SAVED loads and that every COPY footprint's Reference
        and Value texts stand where its TEMPLATE's do in the footprint's own
        frame (offset within TEXT_LIMIT_NM), at the same angle relative to
        the footprint, on the same layer, mirrored and shown alike. Prints
        one line per fault and exits 1 when there is any.

Exit status 2: wrong arguments, or a board that does not load.
"""

import re
import sys

import pcbnew

import kicadapi

SPREAD_LIMIT_NM = 20
PAD_LIMIT_NM = 1
# The flip of KiCad's "Flip" command (F), about the footprint's position.
FLIP = pcbnew.FLIP_DIRECTION_TOP_BOTTOM
# The host keeps positions in 10 nm units: a copied text's offset may differ
# from its template's by that rounding.
TEXT_LIMIT_NM = 10


def load(path, as_stored=False):
    """The board as KiCad opens it, or as_stored: as the file states it,
    before KiCad's connectivity gives tracks the nets of the pads they touch."""
    try:
        if as_stored:
            board = pcbnew.PCB_IO_MGR.Load(pcbnew.PCB_IO_MGR.KICAD_SEXP, path)
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
        fp.Flip(fp.GetPosition(), FLIP)
        turned.append(fp.GetReference())
    if not turned:
        print(f"no footprint under {sheet_path}")
        sys.exit(2)
    if not pcbnew.SaveBoard(board_path, board):
        print(f"{board_path}: cannot save")
        sys.exit(2)
    for reference in turned:
        print(reference)


def sheet_box(board, sheet_path):
    """The footprints under the sheet path and their bounding box."""
    fps = [fp for fp in board.GetFootprints() if fp.GetPath().AsString().startswith(sheet_path)]
    if not fps:
        print(f"no footprint under {sheet_path}")
        sys.exit(2)
    box = fps[0].GetBoundingBox(False, False)
    for fp in fps[1:]:
        box.Merge(fp.GetBoundingBox(False, False))
    return fps, box


def enrich(board_path, sheet_path):
    board = load(board_path)
    fps, box = sheet_box(board, sheet_path)
    pads = {(p.GetPosition().x, p.GetPosition().y) for fp in fps for p in fp.Pads()}
    inside_tracks = [t for t in board.GetTracks() if t.GetClass() == "PCB_TRACK" and
                     box.Contains(t.GetStart()) and box.Contains(t.GetEnd())]
    ends = {}
    for t in inside_tracks:
        for p in (t.GetStart(), t.GetEnd()):
            ends.setdefault((p.x, p.y, t.GetLayer(), t.GetNetCode()), []).append(t)
    joints = sorted(k for k, v in ends.items() if len(v) == 2 and (k[0], k[1]) not in pads)
    if not joints:
        print("no joint of two tracks to put a via on")
        sys.exit(2)
    # The joint farthest from the copper of other nets, for a via clear of it.
    others = [(p.x, p.y, t.GetNetCode()) for t in board.GetTracks()
              for p in (t.GetStart(), t.GetEnd())]
    others += [(p.GetPosition().x, p.GetPosition().y, p.GetNetCode()) for p in board.GetPads()]
    x, y, _, netcode = max(joints, key=lambda j: min(
        (j[0] - ox) ** 2 + (j[1] - oy) ** 2 for ox, oy, net in others if net != j[3]))
    via = pcbnew.PCB_VIA(board)
    via.SetPosition(pcbnew.VECTOR2I(x, y))
    via.SetLayerPair(pcbnew.F_Cu, pcbnew.B_Cu)
    rules = board.GetDesignSettings()
    via.SetWidth(rules.GetCurrentViaSize())
    via.SetDrill(rules.GetCurrentViaDrill())
    via.SetNetCode(netcode)
    board.Add(via)

    straight = sorted((t for t in inside_tracks if t.GetLength() > 2e6 and
                       (t.GetStart().x, t.GetStart().y) not in pads and
                       (t.GetStart().x, t.GetStart().y) != (x, y) and
                       (t.GetEnd().x, t.GetEnd().y) != (x, y)),
                      key=lambda t: (t.GetStart().x, t.GetStart().y))
    if not straight:
        print("no straight track to turn into an arc")
        sys.exit(2)
    track = straight[0]
    s, e = track.GetStart(), track.GetEnd()
    length = track.GetLength()
    bulge = 200000  # nm
    mid = pcbnew.VECTOR2I(int((s.x + e.x) / 2 - (e.y - s.y) * bulge / length),
                         int((s.y + e.y) / 2 + (e.x - s.x) * bulge / length))
    arc = pcbnew.PCB_ARC(board)
    arc.SetStart(s)
    arc.SetMid(mid)
    arc.SetEnd(e)
    arc.SetWidth(track.GetWidth())
    arc.SetLayer(track.GetLayer())
    arc.SetNetCode(track.GetNetCode())
    board.Remove(track)
    board.Add(arc)

    zone_net = board.Zones()[0].GetNetCode()
    biggest = max(fps, key=lambda fp: len(fp.Pads()))
    area = biggest.GetBoundingBox(False, False)
    zone = pcbnew.ZONE(board)
    layers = pcbnew.LSET()
    layers.AddLayer(pcbnew.F_Cu)
    layers.AddLayer(pcbnew.B_Cu)
    zone.SetLayerSet(layers)
    zone.SetNetCode(zone_net)
    outline = zone.Outline()
    outline.NewOutline()
    for px, py in ((area.GetX(), area.GetY()), (area.GetRight(), area.GetY()),
                   (area.GetRight(), area.GetBottom()), (area.GetX(), area.GetBottom())):
        outline.Append(px, py)
    board.Add(zone)
    pcbnew.ZONE_FILLER(board).Fill(board.Zones())
    if not pcbnew.SaveBoard(board_path, board):
        print(f"{board_path}: cannot save")
        sys.exit(2)


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
    text = kicadapi.drc_report(board)
    pairs = set()
    for block in re.split(r"\n(?=\[)", text):
        if not block.startswith("[courtyards_overlap]"):
            continue
        refs = re.findall(r"@\([^)]*\): Footprint (\S+)", block)
        if len(refs) == 2:
            pairs.add(frozenset(refs))
    return pairs


def parse_pairs(pair_args):
    pairs = []
    for arg in pair_args:
        template, _, copy = arg.partition("=")
        if not template or not copy:
            print(f"bad pair {arg!r}: TEMPLATE=COPY expected")
            sys.exit(2)
        pairs.append((template, copy))
    return pairs


def check(original_path, saved_path, pair_args, copper_added=False):
    original = load(original_path)
    saved = load(saved_path)
    faults = []
    pairs = parse_pairs(pair_args)
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
    if not copper_added and tracks(stored_saved) != tracks(stored_original):
        faults.append("tracks or vias changed")
    if not copper_added and zones(stored_saved) != zones(stored_original):
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


# The routing copy.

COPPER_LIMIT_NM = 20
DRC_LIMIT_MM = 0.001
COPY_GROUP_PREFIX = "Tandrel G"


def copper(board):
    """Every track, arc, via and zone: (kind, layers, width, points, net, group)."""
    out = []
    for t in board.GetTracks():
        kind = t.GetClass()
        if kind == "PCB_VIA":
            v = t.Cast()
            layers = (v.TopLayer(), v.BottomLayer(), v.GetDrillValue())
            points = ((t.GetPosition().x, t.GetPosition().y),)
        elif kind == "PCB_ARC":
            a = t.Cast()
            layers = (t.GetLayer(),)
            points = tuple((p.x, p.y) for p in (a.GetStart(), a.GetMid(), a.GetEnd()))
        else:
            layers = (t.GetLayer(),)
            points = ((t.GetStart().x, t.GetStart().y), (t.GetEnd().x, t.GetEnd().y))
        # A via's width is its pad's on its top layer (KiCad 9 keeps one per layer).
        width = t.Cast().GetWidth(t.Cast().TopLayer()) if kind == "PCB_VIA" else t.GetWidth()
        group = t.GetParentGroup()
        out.append((kind, layers, width, points, t.GetNetname(),
                    group.GetName() if group else ""))
    for z in board.Zones():
        outline = z.Outline()
        points = tuple((outline.CVertex(i).x, outline.CVertex(i).y)
                       for i in range(outline.TotalVertices()))
        group = z.GetParentGroup()
        out.append(("ZONE", (z.GetLayerSet().FmtHex(), z.GetIsRuleArea(), z.IsTeardropArea()), 0,
                    points, z.GetNetname(), group.GetName() if group else ""))
    return out


def groupable(item):
    """Whether a group can hold the item in the KiCad judging (kicadapi)."""
    return kicadapi.TEARDROPS_IN_GROUPS or item[0] != "ZONE" or not item[1][2]


def shifted_like(item, other, shift):
    """Whether item is other moved by shift, nets and groups aside."""
    if item[:3] != other[:3] or len(item[3]) != len(other[3]):
        return False
    return all(abs(p[0] - q[0] - shift[0]) <= COPPER_LIMIT_NM and
               abs(p[1] - q[1] - shift[1]) <= COPPER_LIMIT_NM for p, q in zip(item[3], other[3]))


def without(items, removed):
    """items less one occurrence of each of removed, by geometry and net."""
    left = list(items)
    for item in removed:
        key = item[:5]
        for i, candidate in enumerate(left):
            if candidate[:5] == key:
                del left[i]
                break
    return left


def mapped_nets(board, pairs):
    """Template net -> the set of copy nets at the same footprint and pad."""
    fps = footprints(board)
    mapping = {}
    for template, copy in pairs:
        copy_pads = {}
        for pad in fps[copy].Pads():
            copy_pads.setdefault(pad.GetNumber(), set()).add(pad.GetNetname())
        for pad in fps[template].Pads():
            if not pad.GetNetname():
                continue
            nets = mapping.setdefault(pad.GetNetname(), set())
            nets |= copy_pads.get(pad.GetNumber(), {""})
    return mapping


def drc(board):
    """KiCad's DRC report: the violations as (kind, positions in mm, text), and
    the number of unconnected pads."""
    text = kicadapi.drc_report(board)
    found = re.search(r"\*\* Found (\d+) unconnected pads \*\*", text)
    unconnected = int(found.group(1)) if found else -1
    violations = []
    section = ""
    for block in re.split(r"\n(?=\[|\*\*)", text):
        if block.startswith("**"):
            section = block
            continue
        if not block.startswith("[") or "unconnected pads" in section:
            continue
        kind = block[1:block.index("]")]
        positions = [(float(x), float(y)) for x, y in
                     re.findall(r"@\((-?[\d.]+) mm, (-?[\d.]+) mm\)", block)]
        violations.append((kind, positions, block.strip()))
    return violations, unconnected


def clusters(board, items=None):
    """(reference, pad number) -> cluster index by KiCad's connectivity, through
    the pads and copper of the board, or only those that items (a set of
    copper() entries) names."""
    connectivity = board.GetConnectivity()
    copper_nodes = list(board.GetTracks()) + list(board.Zones())
    if items is not None:
        entries = copper(board)
        copper_nodes = [n for n, entry in zip(copper_nodes, entries) if entry in items]
    pads = list(board.GetPads())
    nodes = pads + copper_nodes
    index = {item.m_Uuid.AsString(): i for i, item in enumerate(nodes)}
    parent = list(range(len(nodes)))

    def root(i):
        while parent[i] != i:
            parent[i] = parent[parent[i]]
            i = parent[i]
        return i

    for i, item in enumerate(nodes):
        for other in list(connectivity.GetConnectedTracks(item)) + \
                list(connectivity.GetConnectedPads(item)):
            j = index.get(other.m_Uuid.AsString())
            if j is not None:
                parent[root(i)] = root(j)
    return {(pad.GetParentFootprint().GetReference(), pad.GetNumber()): root(i)
            for i, pad in enumerate(pads)}


def check_copied_nets(stored, loaded, original, pairs, shift, faults):
    """Every copied item repeats a template item on the mapped net, which is
    the one KiCad's connectivity expects. Returns the copied items and the
    template items they repeat."""
    copied = without(copper(stored), copper(original))
    loaded_items = copper(loaded)
    template_items = copper(original)
    mapping = mapped_nets(stored, pairs)
    models = []
    for item in copied:
        where = f"{item[0]} at {item[3][0]} on {item[4] or 'no net'}"
        if not item[5].startswith(COPY_GROUP_PREFIX) and groupable(item):
            faults.append(f"{where}: added outside a {COPY_GROUP_PREFIX}n group")
        model = next((t for t in template_items if shifted_like(item, t, shift)), None)
        if model is None:
            faults.append(f"{where}: repeats no template item")
            continue
        if model in models:
            faults.append(f"{where}: a second copy of one template item")
        models.append(model)
        expected = mapping.get(model[4], {""}) if model[4] else {""}
        if len(expected) != 1:
            faults.append(f"{where}: copied though {model[4]} maps to {sorted(expected)}")
        elif item[4] != next(iter(expected)):
            faults.append(f"{where}: template net {model[4]} maps to {next(iter(expected))}")
        as_loaded = [t[4] for t in loaded_items if t[:4] == item[:4]]
        if item[4] not in as_loaded:
            faults.append(f"{where}: KiCad's connectivity puts it on {as_loaded}")
    for item in without(template_items, copper(stored)):
        faults.append(f"{item[0]} at {item[3][0]} on {item[4]}: the board's own copper is gone")
    return copied, models


def check_nothing_left_behind(original, pairs, models, faults):
    """Every item of the template's nets that lies within the template's
    footprints has a copy, unless its net has no single counterpart."""
    box = region(original, {t for t, _ in pairs})
    pad_nets = {pad.GetNetname() for t, _ in pairs
                for pad in footprints(original)[t].Pads() if pad.GetNetname()}
    mapping = mapped_nets(original, pairs)
    for item in without(copper(original), models):
        if item[4] not in pad_nets or len(mapping.get(item[4], ())) != 1:
            continue
        if all(inside((x / 1e6, y / 1e6), box, 0.0) for x, y in item[3]):
            faults.append(f"{item[0]} at {item[3][0]} on {item[4]}: within the template, "
                          "not copied")


def region(board, references):
    """The bounding box of the footprints in mm, as (left, top, right, bottom)."""
    box = None
    for fp in board.GetFootprints():
        if fp.GetReference() not in references:
            continue
        r = fp.GetBoundingBox(False, False)
        edges = (r.GetX(), r.GetY(), r.GetRight(), r.GetBottom())
        box = edges if box is None else (min(box[0], edges[0]), min(box[1], edges[1]),
                                         max(box[2], edges[2]), max(box[3], edges[3]))
    return tuple(v / 1e6 for v in box)


def inside(point, box, margin_mm):
    return (box[0] - margin_mm <= point[0] <= box[2] + margin_mm and
            box[1] - margin_mm <= point[1] <= box[3] + margin_mm)


def cut_at_the_area(kind, moved, left_out):
    """Whether a copy's dangling end lies where its template item goes on with
    copper that was not copied (it leaves the template's area): the copy
    repeats the part inside and the user routes the rest."""
    if kind not in ("track_dangling", "via_dangling") or len(moved) != 1:
        return False
    x, y = moved[0][0] * 1e6, moved[0][1] * 1e6
    limit = DRC_LIMIT_MM * 1e6
    return any(abs(px - x) <= limit and abs(py - y) <= limit
               for item in left_out if item[0] != "ZONE" for px, py in item[3])


def check_copy_drc(loaded, original, pairs, shift, models, margin_mm, faults):
    """Violations at the copy must be the template's, moved by shift, or a
    dangling end where the template's copper leaves its area. Silkscreen
    violations are counted apart: Place copies no footprint graphics."""
    violations, unconnected = drc(loaded)
    copy_box = region(loaded, {c for _, c in pairs})
    template_box = region(loaded, {t for t, _ in pairs})
    at_template = [v for v in violations if any(inside(p, template_box, margin_mm) for p in v[1])]
    at_copy = [v for v in violations if any(inside(p, copy_box, margin_mm) for p in v[1])]
    left_out = without(copper(original), models)
    dx, dy = shift[0] / 1e6, shift[1] / 1e6
    unmatched = list(at_template)
    counts = {"repeated": 0, "cut": 0, "silk": 0}
    for kind, positions, text in at_copy:
        moved = sorted((x - dx, y - dy) for x, y in positions)
        match = next((v for v in unmatched if v[0] == kind and len(v[1]) == len(moved) and all(
            abs(a[0] - b[0]) <= DRC_LIMIT_MM and abs(a[1] - b[1]) <= DRC_LIMIT_MM
            for a, b in zip(sorted(v[1]), moved))), None)
        if match is not None:
            unmatched.remove(match)
            counts["repeated"] += 1
        elif cut_at_the_area(kind, moved, left_out):
            counts["cut"] += 1
        elif kind.startswith("silk_"):
            counts["silk"] += 1
        else:
            faults.append(f"DRC at the copy, not at the template: {text}")
    return len(violations), len(at_template), len(at_copy), counts, unconnected


def check_copy_connections(loaded, pairs, copied, models, faults):
    """The copy's pads are connected through the copied copper exactly where
    the template's are through the copper it was copied from; on the whole
    board a copy pad is connected to no pad of another copy footprint that
    its template pad is not connected to. Returns the pairs of template pads
    connected through the copied copper."""
    copy_of = dict(pairs)
    template_of = {c: t for t, c in pairs}
    local_template = clusters(loaded, set(models))
    local_copy = clusters(loaded, set(copied))
    connected = 0
    template_pads = sorted(p for p in local_template if p[0] in copy_of)
    for i, a in enumerate(template_pads):
        for b in template_pads[i + 1:]:
            joined = local_template[a] == local_template[b]
            connected += joined
            a_copy, b_copy = (copy_of[a[0]], a[1]), (copy_of[b[0]], b[1])
            if joined != (local_copy.get(a_copy) == local_copy.get(b_copy)):
                faults.append(f"{a_copy[0]} pad {a_copy[1]} and {b_copy[0]} pad {b_copy[1]} "
                              f"{'are not' if joined else 'are'} connected; "
                              f"{a[0]} pad {a[1]} and {b[0]} pad {b[1]} "
                              f"{'are' if joined else 'are not'}")
    whole = clusters(loaded)
    copy_pads = sorted(p for p in whole if p[0] in template_of)
    for i, a in enumerate(copy_pads):
        for b in copy_pads[i + 1:]:
            a_model, b_model = (template_of[a[0]], a[1]), (template_of[b[0]], b[1])
            if whole[a] == whole[b] and whole.get(a_model) != whole.get(b_model):
                faults.append(f"{a[0]} pad {a[1]} and {b[0]} pad {b[1]} are connected; "
                              f"{a_model[0]} pad {a_model[1]} and {b_model[0]} pad "
                              f"{b_model[1]} are not")
    return connected


def routed(original_path, saved_path, pair_args):
    pairs = parse_pairs(pair_args)
    original = load(original_path, as_stored=True)
    stored = load(saved_path, as_stored=True)
    loaded = load(saved_path)
    faults = []
    fps = footprints(stored)
    missing = [r for pair in pairs for r in pair if r not in fps]
    if missing:
        print(f"missing in the saved board: {missing}")
        return 1
    template, copy = pairs[0]
    shift = (fps[copy].GetPosition().x - fps[template].GetPosition().x,
             fps[copy].GetPosition().y - fps[template].GetPosition().y)
    copied, models = check_copied_nets(stored, loaded, original, pairs, shift, faults)
    check_nothing_left_behind(original, pairs, models, faults)
    # Copied zones come without their fill, as KiCad refills a zone it has moved.
    pcbnew.ZONE_FILLER(loaded).Fill(loaded.Zones())
    connected = check_copy_connections(loaded, pairs, copied, models, faults)
    margin_mm = 2.0
    total, at_template, at_copy, counts, unconnected = check_copy_drc(
        loaded, original, pairs, shift, models, margin_mm, faults)
    _, original_unconnected = drc(load(original_path))
    print(f"{len(copied)} copied items, shift {shift[0]} {shift[1]} nm, {connected} template "
          "pad pairs connected through the copied copper")
    print(f"DRC violations: {total} on the saved board, {at_template} at the template, "
          f"{at_copy} at the copy: {counts['repeated']} as at the template, {counts['cut']} "
          f"dangling ends where the template's copper leaves its area, {counts['silk']} "
          "silkscreen")
    print(f"unconnected pads: {original_unconnected} on the original board, {unconnected} "
          f"on the saved board")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


def footprint_texts(fp):
    """The Reference and Value texts in the footprint's own frame: offset,
    angle relative to the footprint, layer, mirror, visibility."""
    facts = {}
    for kind, text in (("Reference", fp.Reference()), ("Value", fp.Value())):
        offset = text.GetFPRelativePosition()
        # KiCad 9 keeps a text's angle on the board.
        relative = text.GetTextAngle().AsTenthsOfADegree() - fp.GetOrientation().AsTenthsOfADegree()
        facts[kind] = (offset.x, offset.y, round(relative % 3600.0, 3) % 3600.0,
                       text.GetLayerName(), text.IsMirrored(), text.IsVisible())
    return facts


def check_texts(saved_path, pair_args):
    saved = footprints(load(saved_path))
    faults = []
    checked = 0
    for template, copy in parse_pairs(pair_args):
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
    if len(argv) >= 5 and argv[:2] == ["check", "--copper-added"]:
        return check(argv[2], argv[3], argv[4:], copper_added=True)
    if len(argv) >= 4 and argv[0] == "check":
        return check(argv[1], argv[2], argv[3:])
    if len(argv) == 3 and argv[0] == "enrich":
        enrich(argv[1], argv[2])
        return 0
    if len(argv) >= 4 and argv[0] == "routed":
        return routed(argv[1], argv[2], argv[3:])
    if len(argv) >= 3 and argv[0] == "texts":
        return check_texts(argv[1], argv[2:])
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
