#!/usr/bin/python3
"""KiCad's own reading of a board's reference and value texts, for checking
dbxhost against it.

    kicadtextcheck.py dump BOARD
        loads BOARD with KiCad's LoadBoard and prints one line per reference
        and value text of every footprint, in footprint order:
            REFERENCE KIND X Y ANGLE LAYER MIRRORED VISIBLE
        KIND is "reference" or "value"; X and Y are the text's position on
        the board in nanometres with y down, as KiCad keeps them; ANGLE is
        its angle on the board (the footprint's orientation added), in
        tenths of a degree in [0, 3600); LAYER is the layer's name as the
        file writes it ("F.SilkS");
        MIRRORED and VISIBLE are 0 or 1. Exits with 1 if the board does not
        load.

Run by /usr/bin/python3, whose pcbnew module is KiCad 6's.
"""

import sys

import pcbnew

# KiCad 6's standard names of the layers whose file names differ.
FILE_NAMES = {
    "F.Silkscreen": "F.SilkS", "B.Silkscreen": "B.SilkS",
    "F.Courtyard": "F.CrtYd", "B.Courtyard": "B.CrtYd",
    "F.Adhesive": "F.Adhes", "B.Adhesive": "B.Adhes",
    "User.Drawings": "Dwgs.User", "User.Comments": "Cmts.User",
    "User.Eco1": "Eco1.User", "User.Eco2": "Eco2.User",
}


def layer_name(board, layer):
    name = board.GetStandardLayerName(layer)
    return FILE_NAMES.get(name, name)


def main():
    if len(sys.argv) != 3 or sys.argv[1] != "dump":
        print(__doc__)
        return 2
    try:
        board = pcbnew.LoadBoard(sys.argv[2])
    except Exception as error:  # KiCad raises its own IO_ERROR
        print("the board does not load:", error)
        return 1
    for fp in board.GetFootprints():
        for kind, text in (("reference", fp.Reference()), ("value", fp.Value())):
            position = text.GetPosition()
            angle = int(round(text.GetTextAngle() + fp.GetOrientation())) % 3600
            print(fp.GetReference(), kind, position.x, position.y, angle,
                  layer_name(board, text.GetLayer()), int(text.IsMirrored()),
                  int(text.IsVisible()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
