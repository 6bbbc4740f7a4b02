#!/usr/bin/python3
"""KiCad's own judgement of the footprints dbxhost flipped, turned and moved.

    kicadflipcheck.py make BOARD
        writes a board with footprints that hold every graphic kind KiCad
        flips (lines, rectangles, arcs, circles, polygons, curves, texts with
        every justification, pads of every shape with offsets, chamfers,
        trapezoid deltas and custom primitives, a keep-out zone), on both sides
        and at several angles.

    kicadflipcheck.py compare ORIGINAL EDITED
        loads both boards; on every footprint of ORIGINAL that EDITED placed
        elsewhere, does what KiCad does for that edit (Flip about its position,
        SetOrientation, SetPosition) and compares every item of the result with
        EDITED's. Prints each difference and exits with 1 if there is one.

Run by /usr/bin/python3, whose pcbnew module is KiCad 9's.
"""

import sys

import pcbnew

TOLERANCE_NM = 2  # KiCad rounds turned coordinates to whole nanometres
TOP_LEFT, BOTTOM_RIGHT = 1, 8  # KiCad's RECT_CHAMFER_POSITIONS, not in its Python module
# The flip of KiCad's "Flip" command (F), about the footprint's position.
FLIP = pcbnew.FLIP_DIRECTION_TOP_BOTTOM


def mm(value):
    return pcbnew.FromMM(value)


def point(x, y):
    return pcbnew.VECTOR2I(mm(x), mm(y))


def degrees(value):
    return pcbnew.EDA_ANGLE(value, pcbnew.DEGREES_T)


def add_shape(fp, shape, layer, width=0.12):
    item = pcbnew.PCB_SHAPE(fp, shape)
    item.SetLayer(layer)
    item.SetWidth(mm(width))
    return item


def kinds_footprint(board, name, reference):
    """The footprint at the origin, unturned: its items' board positions are
    their positions in the footprint."""
    fp = pcbnew.FOOTPRINT(board)
    fp.SetFPIDAsString("Kinds:" + name)
    fp.SetReference(reference)
    fp.SetValue("kinds")
    fp.Reference().SetPosition(point(0.5, -3))
    fp.Value().SetPosition(point(-0.5, 3))
    fp.Value().SetHorizJustify(pcbnew.GR_TEXT_H_ALIGN_LEFT)

    line = add_shape(fp, pcbnew.SHAPE_T_SEGMENT, pcbnew.F_SilkS)
    line.SetStart(point(-2, -1.5))
    line.SetEnd(point(1.5, -2))
    fp.Add(line)

    rect = add_shape(fp, pcbnew.SHAPE_T_RECTANGLE, pcbnew.F_CrtYd, 0.05)
    rect.SetStart(point(-2.5, -2.5))
    rect.SetEnd(point(2.75, 2.25))
    fp.Add(rect)

    # A quarter arc and a wide one, as pin-1 notches and outlines are drawn.
    for start, mid, end in (((1, -1), (1.7071, -0.2929), (2, 1)),
                            ((-1.5, 0.5), (-0.5, 1.5), (0.5, 0.5))):
        arc = add_shape(fp, pcbnew.SHAPE_T_ARC, pcbnew.F_SilkS)
        arc.SetArcGeometry(point(*start), point(*mid), point(*end))
        fp.Add(arc)

    circle = add_shape(fp, pcbnew.SHAPE_T_CIRCLE, pcbnew.F_Fab)
    circle.SetStart(point(-1.25, 1.5))
    circle.SetEnd(point(-1, 1.75))
    fp.Add(circle)

    poly = add_shape(fp, pcbnew.SHAPE_T_POLY, pcbnew.F_SilkS)
    poly.SetPolyPoints([point(0, -2.25), point(0.5, -1.75), point(-0.25, -1.5)])
    poly.SetFilled(True)
    fp.Add(poly)

    curve = add_shape(fp, pcbnew.SHAPE_T_BEZIER, pcbnew.F_Fab)
    curve.SetStart(point(-2, 2))
    curve.SetBezierC1(point(-1, 0.5))
    curve.SetBezierC2(point(0.5, 2.5))
    curve.SetEnd(point(1.5, 1))
    fp.Add(curve)

    # Texts on a layer of each side and on layers that belong to neither.
    for text, x, y, angle, justify, layer in (
            ("L", -1.5, -0.5, 0, pcbnew.GR_TEXT_H_ALIGN_LEFT, pcbnew.F_Fab),
            ("R", 1.5, 0.75, 45, pcbnew.GR_TEXT_H_ALIGN_RIGHT, pcbnew.F_Fab),
            ("C", 0, 0.25, 90, pcbnew.GR_TEXT_H_ALIGN_CENTER, pcbnew.F_Fab),
            ("U", 1, 2, 0, pcbnew.GR_TEXT_H_ALIGN_LEFT, pcbnew.Cmts_User),
            ("D", -1, -2, 30, pcbnew.GR_TEXT_H_ALIGN_CENTER, pcbnew.Dwgs_User)):
        label = pcbnew.PCB_TEXT(fp)
        label.SetText(text)
        label.SetLayer(layer)
        label.SetPosition(point(x, y))
        label.SetTextAngle(degrees(angle))
        label.SetHorizJustify(justify)
        label.SetVertJustify(pcbnew.GR_TEXT_V_ALIGN_TOP)
        fp.Add(label)

    smd = pcbnew.LSET()
    for layer in (pcbnew.F_Cu, pcbnew.F_Paste, pcbnew.F_Mask):
        smd.AddLayer(layer)

    def pad(number, shape, x, y, w, h, angle=0, layers=None):
        p = pcbnew.PAD(fp)
        p.SetNumber(number)
        p.SetShape(shape)
        p.SetAttribute(pcbnew.PAD_ATTRIB_SMD)
        p.SetLayerSet(layers if layers is not None else smd)
        p.SetSize(pcbnew.VECTOR2I(mm(w), mm(h)))
        p.SetPosition(point(x, y))
        p.SetOrientation(degrees(angle))
        fp.Add(p)
        return p

    chamfered = pad("1", pcbnew.PAD_SHAPE_CHAMFERED_RECT, -1.5, -1, 0.8, 0.6, 30)
    chamfered.SetRoundRectRadiusRatio(0.1)
    chamfered.SetChamferRectRatio(0.25)
    chamfered.SetChamferPositions(TOP_LEFT | BOTTOM_RIGHT)

    rounded = pad("2", pcbnew.PAD_SHAPE_ROUNDRECT, -0.5, -1, 0.6, 0.9)
    rounded.SetRoundRectRadiusRatio(0.25)

    trapezoid = pad("3", pcbnew.PAD_SHAPE_TRAPEZOID, 0.5, -1, 0.9, 0.7, 45)
    trapezoid.SetDelta(pcbnew.VECTOR2I(mm(0.2), mm(0.1)))

    drilled = pcbnew.LSET.AllCuMask()
    drilled.AddLayer(pcbnew.F_Mask)
    drilled.AddLayer(pcbnew.B_Mask)
    oval = pad("4", pcbnew.PAD_SHAPE_OVAL, 1.5, -1, 1.2, 0.8, 90, drilled)
    oval.SetAttribute(pcbnew.PAD_ATTRIB_PTH)
    oval.SetDrillShape(pcbnew.PAD_DRILL_SHAPE_OBLONG)
    oval.SetDrillSize(pcbnew.VECTOR2I(mm(0.8), mm(0.4)))
    oval.SetOffset(point(0.1, 0.15))

    custom = pad("5", pcbnew.PAD_SHAPE_CUSTOM, 0, 1.25, 0.5, 0.5, 20)
    custom.SetAnchorPadShape(pcbnew.F_Cu, pcbnew.PAD_SHAPE_CIRCLE)
    custom.AddPrimitivePoly(pcbnew.F_Cu, pcbnew.VECTOR_VECTOR2I(
        [point(0, 0), point(0.75, 0.1), point(0.25, 0.6)]), mm(0.05), True)

    def primitive(shape, width, filled=False):
        item = pcbnew.PCB_SHAPE(None, shape)
        item.SetWidth(mm(width))
        item.SetFilled(filled)
        return item

    segment = primitive(pcbnew.SHAPE_T_SEGMENT, 0.1)
    segment.SetStart(point(-0.5, 0))
    segment.SetEnd(point(-0.25, 0.5))
    arc = primitive(pcbnew.SHAPE_T_ARC, 0.1)
    arc.SetCenter(point(0, 0))
    arc.SetStart(point(0.5, -0.25))
    arc.SetArcAngleAndEnd(degrees(90), True)
    ring = primitive(pcbnew.SHAPE_T_CIRCLE, 0.05)
    ring.SetStart(point(0.3, -0.3))
    ring.SetEnd(point(0.45, -0.3))
    box = primitive(pcbnew.SHAPE_T_RECTANGLE, 0.05)
    box.SetStart(point(-0.6, -0.6))
    box.SetEnd(point(-0.3, -0.2))
    bezier = primitive(pcbnew.SHAPE_T_BEZIER, 0.05)
    bezier.SetStart(point(-0.2, 0.4))
    bezier.SetEnd(point(0.2, 0.6))
    bezier.SetBezierC1(point(0.1, 0.2))
    bezier.SetBezierC2(point(0.4, 0.5))
    for item in (segment, arc, ring, box, bezier):
        custom.AddPrimitiveShape(pcbnew.F_Cu, item)
        item.thisown = False  # the pad owns its primitives now

    back = pcbnew.LSET()
    for layer in (pcbnew.B_Cu, pcbnew.B_Mask):
        back.AddLayer(layer)
    pad("6", pcbnew.PAD_SHAPE_RECT, 2, 1.5, 0.4, 0.3, 0, back)

    zone = pcbnew.ZONE(fp)
    zone.SetIsRuleArea(True)
    zone.SetDoNotAllowTracks(True)
    zone.SetLayer(pcbnew.F_Cu)
    outline = zone.Outline()
    outline.NewOutline()
    for x, y in ((-1, 2), (1, 2), (1.5, 2.5), (-1, 2.75)):
        outline.Append(mm(x), mm(y))
    fp.Add(zone)
    return fp


def make(path):
    board = pcbnew.BOARD()
    # Orientations as the designer left them, on both sides.
    placements = (("K1", 20, 20, 0, False), ("K2", 30, 20, 90, False),
                  ("K3", 40, 20, 30, False), ("K4", 20, 30, 0, True),
                  ("K5", 30, 30, -45, True), ("K6", 40, 30, 180, False))
    for reference, x, y, angle, bottom in placements:
        fp = kinds_footprint(board, "Every_Kind", reference)
        board.Add(fp)
        fp.SetPosition(point(x, y))
        fp.SetOrientation(degrees(angle))
        if bottom:
            fp.Flip(fp.GetPosition(), FLIP)
    if not pcbnew.SaveBoard(path, board):
        sys.exit("cannot save " + path)


def xy(p):
    return (int(p.x), int(p.y))


def polygon_points(poly_set):
    points = []
    for o in range(poly_set.OutlineCount()):
        outline = poly_set.Outline(o)
        points.append([xy(outline.CPoint(i)) for i in range(outline.PointCount())])
    return points


def same_polygon_form(points):
    """A ring of points in one form whatever its first point and direction:
    KiCad 9 may reverse a mirrored polygon's points, which draws the same
    polygon."""
    if not points:
        return points
    forms = []
    for ring in (points, points[::-1]):
        first = ring.index(min(ring))
        forms.append(ring[first:] + ring[:first])
    return min(forms)


def shape_facts(shape):
    kind = shape.GetShape()
    facts = {"shape": kind, "width": shape.GetWidth(), "layer": shape.GetLayer()}
    if kind != pcbnew.SHAPE_T_POLY:
        facts["start"] = xy(shape.GetStart())
        facts["end"] = xy(shape.GetEnd())
    if kind == pcbnew.SHAPE_T_ARC:
        # KiCad 9 recomputes the middle point of an arc it flips; the arc is
        # its start, centre and angle.
        facts["center"] = xy(shape.GetCenter())
        facts["arc angle"] = shape.GetArcAngle().AsTenthsOfADegree()
    elif kind == pcbnew.SHAPE_T_CIRCLE:
        facts["center"] = xy(shape.GetCenter())
        # A length like any coordinate: KiCad derives it from the rounded
        # centre and end, so it carries their rounding.
        facts["radius"] = (shape.GetRadius(),)
    elif kind == pcbnew.SHAPE_T_BEZIER:
        facts["c1"] = xy(shape.GetBezierC1())
        facts["c2"] = xy(shape.GetBezierC2())
    elif kind == pcbnew.SHAPE_T_POLY:
        facts["points"] = [same_polygon_form(ring)
                           for ring in polygon_points(shape.GetPolyShape())]
        facts["filled"] = shape.IsFilled()
    return facts


def text_facts(text):
    return {"text": text.GetText(), "layer": text.GetLayer(), "position": xy(text.GetTextPos()),
            # KiCad keeps the angle on the board, unnormalised (180° and
            # -180° are one angle), and draws it at GetDrawRotation.
            "angle": text.GetTextAngle().AsTenthsOfADegree() % 3600.0,
            "drawn angle": text.GetDrawRotation().AsTenthsOfADegree(),
            "mirrored": text.IsMirrored(),
            "hjustify": text.GetHorizJustify(), "vjustify": text.GetVertJustify(),
            "visible": text.IsVisible(), "size": xy(text.GetTextSize())}


def copper_layer(p):
    """The pad's first copper layer: KiCad 9 keeps a pad's shape per layer."""
    return p.GetLayerSet().CuStack()[0]


def pad_facts(p):
    facts = {"number": p.GetNumber(), "shape": p.GetShape(), "position": xy(p.GetPosition()),
             "size": xy(p.GetSize()), "angle": p.GetOrientation().AsTenthsOfADegree(),
             "layers": p.GetLayerSet().FmtHex(), "offset": xy(p.GetOffset()),
             "delta": xy(p.GetDelta()), "drill": xy(p.GetDrillSize()),
             "chamfers": p.GetChamferPositions(), "chamfer ratio": p.GetChamferRectRatio(),
             "radius ratio": p.GetRoundRectRadiusRatio(), "net": p.GetNetname(),
             # The copper as KiCad draws it: corners, chamfers, trapezoid
             # deltas and the primitives of custom pads (which the Python
             # module does not list) all end up in this outline.
             "outline": polygon_points(p.GetEffectivePolygon(copper_layer(p)))}
    if p.GetShape() == pcbnew.PAD_SHAPE_CUSTOM:
        facts["anchor"] = p.GetAnchorPadShape(copper_layer(p))
    return facts


def footprint_facts(fp):
    facts = {"reference": fp.GetReference(), "position": xy(fp.GetPosition()),
             "angle": fp.GetOrientation().AsTenthsOfADegree(), "layer": fp.GetLayer(),
             "texts": [text_facts(fp.Reference()), text_facts(fp.Value())],
             "shapes": [], "pads": [pad_facts(p) for p in fp.Pads()],
             "zones": [{"layers": z.GetLayerSet().FmtHex(), "outline": polygon_points(z.Outline())}
                       for z in fp.Zones()]}
    for item in fp.GraphicalItems():
        item = item.Cast()
        if isinstance(item, pcbnew.PCB_TEXT):
            facts["texts"].append(text_facts(item))
        else:
            facts["shapes"].append(shape_facts(item))
    return facts


def differences(expected, found, where, worst):
    """Every place where found differs from expected: coordinates by more than
    the tolerance, everything else at all. worst[0] becomes the largest
    coordinate deviation seen, in nanometres."""
    if isinstance(expected, dict):
        for key in expected:
            yield from differences(expected[key], found.get(key), where + "." + key, worst)
    elif isinstance(expected, list):
        if not isinstance(found, list) or len(found) != len(expected):
            yield "%s: %d items, KiCad has %d" % (where, len(found or []), len(expected))
            return
        for i, (e, f) in enumerate(zip(expected, found)):
            yield from differences(e, f, "%s[%d]" % (where, i), worst)
    elif isinstance(expected, tuple) and all(isinstance(v, int) for v in expected):
        if not isinstance(found, tuple) or len(found) != len(expected):
            yield "%s: %s, KiCad has %s" % (where, found, expected)
            return
        deviation = max(abs(e - f) for e, f in zip(expected, found))
        worst[0] = max(worst[0], deviation)
        if deviation > TOLERANCE_NM:
            yield "%s: %s, KiCad has %s" % (where, found, expected)
    elif isinstance(expected, float):
        if found is None or abs(expected - found) > 1e-6:
            yield "%s: %s, KiCad has %s" % (where, found, expected)
    elif expected != found:
        yield "%s: %s, KiCad has %s" % (where, found, expected)


def compare(original_path, edited_path):
    original = pcbnew.LoadBoard(original_path)
    edited = pcbnew.LoadBoard(edited_path)
    originals, results = list(original.GetFootprints()), list(edited.GetFootprints())
    if len(originals) != len(results):
        sys.exit("%d footprints, KiCad has %d" % (len(results), len(originals)))
    problems, checked, worst = [], 0, [0]
    for fp, result in zip(originals, results):
        if fp.GetReference() != result.GetReference():
            sys.exit("footprint %s where KiCad has %s" % (result.GetReference(),
                                                          fp.GetReference()))
        if (xy(fp.GetPosition()) == xy(result.GetPosition())
                and fp.IsFlipped() == result.IsFlipped()
                and fp.GetOrientation().AsTenthsOfADegree()
                == result.GetOrientation().AsTenthsOfADegree()):
            continue
        if fp.IsFlipped() != result.IsFlipped():
            fp.Flip(fp.GetPosition(), FLIP)
        fp.SetOrientation(result.GetOrientation())
        fp.SetPosition(result.GetPosition())
        checked += 1
        problems += differences(footprint_facts(fp), footprint_facts(result), fp.GetReference(),
                                worst)
    for line in problems:
        print(line)
    print("%d footprints checked, %d differences, largest deviation %d nm"
          % (checked, len(problems), worst[0]))
    return 1 if problems or checked == 0 else 0


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "make":
        make(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "compare":
        sys.exit(compare(sys.argv[2], sys.argv[3]))
    else:
        sys.exit(__doc__)
