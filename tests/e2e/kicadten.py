"""KiCad 10's own reading of a board, for the KiCad 10 tests: run with the
python3 of the KiCad 10 tree (scripts/lib/kicad10.sh), on copies of boards
inside that tree.

    kicadten.py version
    kicadten.py resave IN OUT     KiCad 10 loads IN and saves it as OUT
    kicadten.py unlocked IN OUT   the same with every footprint unlocked, as a
                                  user unlocks them before placing copies
    kicadten.py nets BOARD        every pad and copper item with its net
    kicadten.py time BOARD N      seconds of each of N loads of BOARD
"""
import sys
import time

import pcbnew


def mm(value):
    return "%.6f" % pcbnew.ToMM(value)


def line(*fields):
    print("\t".join(fields))


def nets(board):
    """One line per pad (P REF PAD X Y NET) and per copper item (T KIND UUID
    NET), in the board's order, the fields separated by tabs (a pad number
    may be empty)."""
    for footprint in board.GetFootprints():
        reference = footprint.GetReference()
        for pad in footprint.Pads():
            at = pad.GetPosition()
            line("P", reference, pad.GetNumber(), mm(at.x), mm(at.y), pad.GetNetname())
    for track in board.GetTracks():
        line("T", track.GetClass(), track.m_Uuid.AsString(), track.GetNetname())
    for zone in board.Zones():
        if not zone.GetIsRuleArea() and zone.IsOnCopperLayer():
            line("T", "ZONE", zone.m_Uuid.AsString(), zone.GetNetname())


def main(argv):
    command = argv[1] if len(argv) > 1 else ""
    if command == "version":
        print(pcbnew.Version())
    elif command in ("resave", "unlocked") and len(argv) == 4:
        board = pcbnew.LoadBoard(argv[2])
        if command == "unlocked":
            for footprint in board.GetFootprints():
                footprint.SetLocked(False)
        if not pcbnew.SaveBoard(argv[3], board):
            print("KiCad 10 cannot save " + argv[3], file=sys.stderr)
            return 1
    elif command == "nets" and len(argv) == 3:
        nets(pcbnew.LoadBoard(argv[2]))
    elif command == "time" and len(argv) == 4:
        for _ in range(int(argv[3])):
            start = time.perf_counter()
            pcbnew.LoadBoard(argv[2])
            print("%.3f" % (time.perf_counter() - start))
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
