"""What the judges of boards need of KiCad where KiCad 9's pcbnew module and
KiCad 10's differ; imported by the judges beside this file, which run with
either (KiCad 10's in the Debian unstable tree of scripts/lib/kicad10.sh).

    drc_report(board)    the text of KiCad's DRC report on a loaded board
    TEARDROPS_IN_GROUPS  whether a group holds teardrop zones across a save
"""

import os
import subprocess
import sys
import tempfile

import pcbnew

MAJOR_VERSION = int(pcbnew.Version().split(".")[0])

# KiCad 10 saves teardrop zones without identity (it makes new ones up on
# loading), so no group can name them: their copies stand outside the
# copy's group.
TEARDROPS_IN_GROUPS = MAJOR_VERSION < 10


def drc_report(board):
    """KiCad 9's pcbnew writes the report itself. KiCad 10's WriteDRCReport
    needs the program object of KiCad's own programs and ends a plain python3
    with a segmentation fault, so KiCad 10's kicad-cli checks a copy of the
    board as it stands in memory (zones filled there included), saved with
    its project's rules beside it."""
    with tempfile.TemporaryDirectory() as folder:
        report = os.path.join(folder, "drc.rpt")
        if MAJOR_VERSION < 10:
            written = pcbnew.WriteDRCReport(board, report, pcbnew.EDA_UNITS_MM, True)
        else:
            copy = os.path.join(folder, "drc.kicad_pcb")
            written = pcbnew.SaveBoard(copy, board) and subprocess.run(
                ["kicad-cli", "pcb", "drc", "--all-track-errors", "--units", "mm",
                 "--output", report, copy],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
        if not written or not os.path.exists(report):
            print("DRC report could not be written")
            sys.exit(2)
        with open(report, encoding="utf-8") as text:
            return text.read()
