#!/usr/bin/python3
"""KiCad's own reading of a board's copper and texts, for checking dbxhost against it.

    kicadcoppercheck.py dump BOARD
        loads BOARD with KiCad's LoadBoard and prints one line per copper
        item, in nanometres with y down as KiCad keeps them:
            segment X1 Y1 X2 Y2 WIDTH LAYER NET GROUP
            arc X1 Y1 XM YM X2 Y2 WIDTH LAYER NET GROUP
            via X Y SIZE DRILL TOP BOTTOM NET GROUP
            zone LAYER,... NET KEEPOUT X Y X Y ... GROUP
        NET is the net's name ("-" for none), GROUP the name of the group
        holding the item ("-" for none). Exits with 1 if the board does not
        load.

    kicadcoppercheck.py texts BOARD
        loads BOARD likewise and prints one line per reference and value text
        of every footprint, in footprint order:
            REFERENCE KIND X Y ANGLE LAYER MIRRORED VISIBLE
        KIND is "reference" or "value"; X and Y are the text's position on
        the board in nanometres with y down; ANGLE is its angle on the board
        as the file keeps it, in tenths of a degree in [0, 3600); LAYER is the layer's name as the file writes it
        ("F.SilkS"); MIRRORED and VISIBLE are 0 or 1.

Run by /usr/bin/python3, whose pcbnew module is KiCad 9's.
"""

import sys

import pcbnew

# KiCad's standard names of the layers whose file names differ.
FILE_NAMES = {
    "F.Silkscreen": "F.SilkS", "B.Silkscreen": "B.SilkS",
    "F.Courtyard": "F.CrtYd", "B.Courtyard": "B.CrtYd",
    "F.Adhesive": "F.Adhes", "B.Adhesive": "B.Adhes",
    "User.Drawings": "Dwgs.User", "User.Comments": "Cmts.User",
    "User.Eco1": "Eco1.User", "User.Eco2": "Eco2.User",
}


def word(text):
    return text if text else "-"


def group_of(item):
    group = item.GetParentGroup()
    return word(group.GetName() if group else "")


def texts(board):
    for fp in board.GetFootprints():
        for kind, text in (("reference", fp.Reference()), ("value", fp.Value())):
            position = text.GetPosition()
            # KiCad 9 keeps a footprint text's angle on the board, as the file does.
            angle = int(round(text.GetTextAngle().AsTenthsOfADegree())) % 3600
            layer = board.GetStandardLayerName(text.GetLayer())
            print(fp.GetReference(), kind, position.x, position.y, angle,
                  FILE_NAMES.get(layer, layer), int(text.IsMirrored()), int(text.IsVisible()))


def copper(board):
    name = board.GetStandardLayerName
    for item in board.GetTracks():
        net = word(item.GetNetname())
        if item.GetClass() == "PCB_VIA":
            top, bottom = item.TopLayer(), item.BottomLayer()
            print("via", item.GetPosition().x, item.GetPosition().y, item.GetWidth(top),
                  item.GetDrillValue(), name(top), name(bottom), net, group_of(item))
        elif item.GetClass() == "PCB_ARC":
            s, m, e = item.GetStart(), item.GetMid(), item.GetEnd()
            print("arc", s.x, s.y, m.x, m.y, e.x, e.y, item.GetWidth(), name(item.GetLayer()),
                  net, group_of(item))
        else:
            s, e = item.GetStart(), item.GetEnd()
            print("segment", s.x, s.y, e.x, e.y, item.GetWidth(), name(item.GetLayer()), net,
                  group_of(item))
    for zone in board.Zones():
        layers = ",".join(name(layer) for layer in zone.GetLayerSet().Seq())
        outline = zone.Outline().Outline(0)
        points = " ".join("%d %d" % (outline.CPoint(i).x, outline.CPoint(i).y)
                          for i in range(outline.PointCount()))
        print("zone", layers, word(zone.GetNetname()), int(zone.GetIsRuleArea()), points,
              group_of(zone))


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("dump", "texts"):
        print(__doc__)
        return 2
    try:
        board = pcbnew.LoadBoard(sys.argv[2])
    except Exception as error:  # KiCad raises its own IO_ERROR
        print("the board does not load:", error)
        return 1
    (copper if sys.argv[1] == "dump" else texts)(board)
    return 0


if __name__ == "__main__":
    sys.exit(main())
