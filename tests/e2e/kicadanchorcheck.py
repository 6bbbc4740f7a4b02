#!/usr/bin/python3
"""Prepares a board of repeated sheet instances for Place by anchors, and
checks in KiCad's own model what Tandrel placed and dbxhost saved.

A channel is one instance of the sheet that the template anchor's footprint
belongs to; its parts are known by their symbol's identifier, the last step
of their path, which every instance of a sheet shares.

    kicadanchorcheck.py prepare BOARD ANCHOR [SHEETNAME=TURN...]
        Strips every channel but ANCHOR's: deletes the copper on the nets
        that only that channel's pads are on, and moves every part but the
        channel's anchor (the part of ANCHOR's symbol) 150 mm down. A TURN
        ("90", "45", "flip") then turns the anchor of the channel whose
        sheet name is SHEETNAME about its own position, or flips it to the
        other side. Saves BOARD in place; prints "CHANNEL SHEETNAME ANCHOR"
        for each stripped channel.

    kicadanchorcheck.py restored KICAD SAVED ANCHOR
        Verifies that every footprint of the stripped channels stands in
        SAVED where KICAD (the board before stripping) has it, within
        LIMIT_NM, at the same angle and side; and that every track, arc, via
        and zone of KICAD is in SAVED on the same net, layers and width with
        its points within LIMIT_NM, but where KiCad routes a channel on a
        shared net otherwise than the template: there the template's copy
        stands.

    kicadanchorcheck.py turned PREPARED SAVED ANCHOR
        Verifies that every channel of SAVED is the template (ANCHOR's
        channel in PREPARED) carried by the motion that takes the template's
        anchor onto the channel's: KiCad's own Move, Flip and Rotate of the
        template's footprints and copper give every pad, and every copied
        track, arc (start, mid, end), via and zone, within LIMIT_NM.

    kicadanchorcheck.py room BOARD PART DY_MM EDGE_DY_MM
        Moves the footprint PART down by DY_MM and the board's bottom edge
        (every Edge.Cuts point on it) down by EDGE_DY_MM, as a designer makes
        room for a channel. Saves BOARD in place.

    kicadanchorcheck.py drc BEFORE SAVED [NET...]
        Verifies that KiCad's DRC (zones refilled) finds in SAVED no more
        violations of any kind than in BEFORE, and no dangling track or via
        and no missing connection where BEFORE has none, but those with an
        item on one of the NETs: the template's own connections beyond the
        copied area (each NET named must account for one at least). Prints
        both boards' counts.

Prints one line per fault and exits 1 when there is any; 2 on wrong
arguments or a board that does not load.
"""

import collections
import re
import sys

import pcbnew

sys.dont_write_bytecode = True  # no cache of kicadcheck beside the sources
from kicadapi import drc_report
from kicadcheck import copper, drc, footprints, load

LIMIT_NM = 20
DANGLING = ("track_dangling", "via_dangling")
AWAY_NM = 150000000
FLIP = pcbnew.FLIP_DIRECTION_TOP_BOTTOM


def sheet_of(fp):
    return fp.GetPath().AsString().rsplit("/", 1)[0]


def symbol_of(fp):
    return fp.GetPath().AsString().rsplit("/", 1)[-1]


def channels(board, anchor):
    """The template's sheet path and {sheet path: {symbol: footprint}} of
    every instance whose symbols are the template's."""
    fps = footprints(board)
    if anchor not in fps:
        print(f"no footprint {anchor}")
        sys.exit(2)
    by_sheet = collections.defaultdict(dict)
    for fp in board.GetFootprints():
        by_sheet[sheet_of(fp)][symbol_of(fp)] = fp
    template = sheet_of(fps[anchor])
    symbols = set(by_sheet[template])
    return template, {s: parts for s, parts in by_sheet.items() if set(parts) == symbols}


def own_nets(board):
    """{sheet path: the nets that only that sheet's pads are on}."""
    users = collections.defaultdict(set)
    for pad in board.GetPads():
        users[pad.GetNetname()].add(sheet_of(pad.GetParentFootprint()))
    owned = collections.defaultdict(set)
    for net, where in users.items():
        if net and len(where) == 1:
            owned[next(iter(where))].add(net)
    return owned


def prepare(board_path, anchor, turns):
    # As stored: KiCad's connectivity would give the copper that a turned
    # anchor's pads now touch their nets.
    board = load(board_path, as_stored=True)
    template, chans = channels(board, anchor)
    symbol = symbol_of(footprints(board)[anchor])
    wanted = dict(t.split("=", 1) for t in turns)
    owned = own_nets(board)
    stripped = set().union(*(owned[s] for s in chans if s != template))
    for item in [i for i in list(board.GetTracks()) + list(board.Zones())
                 if i.GetNetname() in stripped]:
        board.Remove(item)
    for sheet, parts in sorted(chans.items()):
        if sheet == template:
            continue
        for sym, fp in parts.items():
            if sym != symbol:
                fp.Move(pcbnew.VECTOR2I(0, AWAY_NM))
        own = parts[symbol]
        turn = wanted.pop(own.GetSheetname(), None)
        if turn == "flip":
            own.Flip(own.GetPosition(), FLIP)
        elif turn is not None:
            own.Rotate(own.GetPosition(), pcbnew.EDA_ANGLE(float(turn), pcbnew.DEGREES_T))
        print(f"CHANNEL {own.GetSheetname()} {own.GetReference()}")
    if wanted:
        print(f"no channel named {sorted(wanted)}")
        sys.exit(2)
    # Written as is, without the connectivity pass of SaveBoard either.
    pcbnew.PCB_IO_MGR.Save(pcbnew.PCB_IO_MGR.KICAD_SEXP, board_path, board)


def room(board_path, part, dy_mm, edge_dy_mm):
    board = load(board_path, as_stored=True)
    fps = footprints(board)
    if part not in fps:
        print(f"no footprint {part}")
        sys.exit(2)
    fps[part].Move(pcbnew.VECTOR2I(0, pcbnew.FromMM(dy_mm)))
    edges = [d for d in board.GetDrawings() if d.GetLayer() == pcbnew.Edge_Cuts]
    bottom = max(max(e.GetStart().y, e.GetEnd().y) for e in edges)
    down = pcbnew.FromMM(edge_dy_mm)
    for edge in edges:
        if edge.GetStart().y == bottom:
            edge.SetStart(pcbnew.VECTOR2I(edge.GetStart().x, bottom + down))
        if edge.GetEnd().y == bottom:
            edge.SetEnd(pcbnew.VECTOR2I(edge.GetEnd().x, bottom + down))
    pcbnew.PCB_IO_MGR.Save(pcbnew.PCB_IO_MGR.KICAD_SEXP, board_path, board)


def close(points, others):
    return len(points) == len(others) and all(
        abs(p[0] - q[0]) <= LIMIT_NM and abs(p[1] - q[1]) <= LIMIT_NM
        for p, q in zip(points, others))


def same_outline(points, others):
    """Zone outlines alike whatever vertex they start from."""
    if len(points) != len(others):
        return False
    return any(close(points, others[i:] + others[:i]) for i in range(len(others)) or [0])


def matches(item, other):
    """Same kind, layers, width and net; points within LIMIT_NM."""
    if item[:3] != other[:3] or item[4] != other[4]:
        return False
    if item[0] == "ZONE":
        return same_outline(list(item[3]), list(other[3]))
    return close(item[3], other[3])


def unmatched(wanted, found):
    """The items of wanted with no counterpart in found, each used once."""
    left = list(found)
    missing = []
    for item in wanted:
        at = next((i for i, other in enumerate(left) if matches(item, other)), None)
        if at is None:
            missing.append(item)
        else:
            del left[at]
    return missing


def describe(item):
    return f"{item[0]} at {item[3][0]} on {item[4] or 'no net'}"


def restored(kicad_path, saved_path, anchor):
    kicad = load(kicad_path, as_stored=True)
    saved = load(saved_path, as_stored=True)
    template, chans = channels(kicad, anchor)
    after = footprints(saved)
    faults = []
    checked = 0
    for sheet, parts in chans.items():
        if sheet == template:
            continue
        for fp in parts.values():
            checked += 1
            placed = after.get(fp.GetReference())
            if placed is None:
                faults.append(f"{fp.GetReference()}: gone")
                continue
            p, q = fp.GetPosition(), placed.GetPosition()
            if abs(p.x - q.x) > LIMIT_NM or abs(p.y - q.y) > LIMIT_NM:
                faults.append(f"{fp.GetReference()}: at {q} not {p}")
            a, b = fp.GetOrientation().Normalize(), placed.GetOrientation().Normalize()
            if abs(a.AsDegrees() - b.AsDegrees()) > 1e-6 or fp.IsFlipped() != placed.IsFlipped():
                faults.append(f"{fp.GetReference()}: angle {b.AsDegrees()} flipped "
                              f"{placed.IsFlipped()}, KiCad {a.AsDegrees()} {fp.IsFlipped()}")
    # Groups aside: the copies' copper lies in Tandrel's group.
    wanted = [item[:5] for item in copper(kicad)]
    found = [item[:5] for item in copper(saved)]
    # Where KiCad routes a channel otherwise than CH1 (on a shared net),
    # Tandrel's copy of the template stands instead: KiCad's item has no
    # template item at the anchors' shift, and the saved one has.
    anchor_fp = footprints(kicad)[anchor]
    symbol = symbol_of(anchor_fp)
    shifts = [(parts[symbol].GetPosition().x - anchor_fp.GetPosition().x,
               parts[symbol].GetPosition().y - anchor_fp.GetPosition().y)
              for sheet, parts in chans.items() if sheet != template]
    repeats_template = lambda item: any(
        not unmatched([shifted(item, -dx, -dy)], wanted) for dx, dy in shifts)
    variations = 0
    for item in unmatched(wanted, found):
        if repeats_template(item):
            faults.append(f"{describe(item)}: not in the saved board")
        else:
            variations += 1
    for item in unmatched(found, wanted):
        if repeats_template(item):
            variations += 1
        else:
            faults.append(f"{describe(item)}: neither KiCad's board nor the template has it")
    print(f"{checked} footprints of {len(chans) - 1} channels, {len(wanted)} copper items "
          f"of KiCad's board checked; {variations} items where KiCad's own channel is routed "
          "otherwise than the template")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


def shifted(item, dx, dy):
    return item[:3] + (tuple((x + dx, y + dy) for x, y in item[3]),) + item[4:]


def carry(template_fps, items, source, target):
    """Applies to the template's footprints and the items KiCad's own Move,
    Flip and Rotate that take the footprint source onto target."""
    shift = target.GetPosition() - source.GetPosition()
    pivot = target.GetPosition()
    flip = source.IsFlipped() != target.IsFlipped()
    for thing in list(template_fps) + list(items):
        thing.Move(shift)
        if flip:
            thing.Flip(pivot, FLIP)
    turn = target.GetOrientation() - source.GetOrientation()
    for thing in list(template_fps) + list(items):
        thing.Rotate(pivot, turn)


def pads_of(fp):
    return [(p.GetNumber(), p.GetPosition().x, p.GetPosition().y) for p in fp.Pads()]


def turned(prepared_path, saved_path, anchor):
    prepared = load(prepared_path, as_stored=True)
    saved = load(saved_path, as_stored=True)
    template, chans = channels(prepared, anchor)
    symbol = symbol_of(footprints(prepared)[anchor])
    saved_fps = footprints(saved)
    new_copper = [item[:4] for item in unmatched([i[:5] for i in copper(saved)],
                                                 [i[:5] for i in copper(prepared)])]
    faults = []
    expected_copper = []
    for sheet, parts in sorted(chans.items()):
        if sheet == template:
            continue
        # A fresh board for each channel, its template carried onto it.
        board = load(prepared_path, as_stored=True)
        _, own = channels(board, anchor)
        model = own[template]
        source, target = model[symbol], own[sheet][symbol]
        items = [t for t in board.GetTracks()] + [z for z in board.Zones()]
        carry(model.values(), items, source, target)
        expected_copper += [item[:4] for item in copper(board)]
        for sym, fp in model.items():
            copy = saved_fps.get(parts[sym].GetReference())
            name = f"{parts[sym].GetReference()} ({sheet})"
            if copy is None:
                faults.append(f"{name}: gone")
                continue
            if copy.IsFlipped() != fp.IsFlipped():
                faults.append(f"{name}: on the other side than KiCad's flip of "
                              f"{fp.GetReference()}")
            want, got = fp.GetOrientation().Normalize(), copy.GetOrientation().Normalize()
            if abs(want.AsDegrees() - got.AsDegrees()) > 1e-6:
                faults.append(f"{name}: angle {got.AsDegrees()}, KiCad turns "
                              f"{fp.GetReference()} to {want.AsDegrees()}")
            for a, b in zip(pads_of(fp), pads_of(copy)):
                if a[0] != b[0] or abs(a[1] - b[1]) > LIMIT_NM or abs(a[2] - b[2]) > LIMIT_NM:
                    faults.append(f"{name}: pad {b} not at KiCad's {a}")
            if len(fp.Pads()) != len(copy.Pads()):
                faults.append(f"{name}: {len(copy.Pads())} pads, not {len(fp.Pads())}")
    # Every copied item is a template item carried onto some channel, nets
    # aside (they map through the pads); arcs keep start, mid and end.
    without_net = lambda item: item[:4] + ("",)
    left = unmatched([without_net(i) for i in new_copper],
                     [without_net(i) for i in expected_copper])
    for item in left:
        faults.append(f"{describe(item)}: copied, but no template item carried lies there")
    copied_arcs = sum(1 for item in new_copper if item[0] == "PCB_ARC")
    copied_arcs_expected = [i for i in expected_copper if i[0] == "PCB_ARC"]
    missing_arcs = unmatched([without_net(i) for i in copied_arcs_expected],
                             [without_net(i) for i in new_copper])
    for item in missing_arcs:
        faults.append(f"{describe(item)}: the template's arc is not copied there")
    print(f"{len(chans) - 1} channels, {len(new_copper)} copied items, {copied_arcs} arcs")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


def drc_counts(board):
    """KiCad's DRC as its dialog runs it by default, the zones refilled first
    as the copper they flow around has changed: the violations, and the
    missing connections as (positions, text)."""
    pcbnew.ZONE_FILLER(board).Fill(board.Zones())
    violations, _ = drc(board)
    text = drc_report(board)
    section = text[text.find("unconnected pads **"):]
    missing = [(tuple(re.findall(r"@\((-?[\d.]+) mm, (-?[\d.]+) mm\)", block)), block)
               for block in re.split(r"\n(?=\[)", section) if block.startswith("[unconnected")]
    return violations, missing


def on_named_net(text, nets):
    return next((n for n in nets if f"[{n}]" in text), None)


def drc_check(before_path, saved_path, outside_nets):
    before_violations, before_missing = drc_counts(load(before_path))
    saved_violations, saved_missing = drc_counts(load(saved_path))
    faults = []
    excused = collections.Counter()
    # Violations beyond the board before's of their kind, dangling ends and
    # missing connections where it has none, unless an item of them is on
    # one of the named nets. Parts that moved take their warnings along.
    def key(violation):
        kind, positions = violation[0], tuple(violation[1])
        return (kind, positions) if kind in DANGLING else kind

    for label, before, saved in (("DRC", before_violations, saved_violations),
                                 ("missing connection", before_missing, saved_missing)):
        known = collections.Counter(key(v) for v in before)
        for v in saved:
            if known[key(v)] > 0:
                known[key(v)] -= 1
                continue
            net = on_named_net(v[-1], outside_nets)
            if net is None:
                faults.append(f"{label} the board before lacks: {v[-1].strip()}")
            else:
                excused[net] += 1
    for net in outside_nets:
        if not excused[net]:
            faults.append(f"{net}: named, but nothing on it is excused")
    kinds = lambda violations: dict(collections.Counter(v[0] for v in violations))
    print(f"DRC before: {len(before_violations)} violations {kinds(before_violations)}, "
          f"{len(before_missing)} missing connections")
    print(f"DRC saved: {len(saved_violations)} violations {kinds(saved_violations)}, "
          f"{len(saved_missing)} missing connections; excused on the nets beyond the copied "
          f"area: {dict(excused)}")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


def main(argv):
    if len(argv) >= 3 and argv[0] == "prepare":
        prepare(argv[1], argv[2], argv[3:])
        return 0
    if len(argv) == 4 and argv[0] == "restored":
        return restored(argv[1], argv[2], argv[3])
    if len(argv) == 4 and argv[0] == "turned":
        return turned(argv[1], argv[2], argv[3])
    if len(argv) == 5 and argv[0] == "room":
        room(argv[1], argv[2], float(argv[3]), float(argv[4]))
        return 0
    if len(argv) >= 3 and argv[0] == "drc":
        return drc_check(argv[1], argv[2], argv[3:])
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
