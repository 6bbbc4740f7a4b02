// Writes a KiCad board back with the host's placements. Only the footprints
// whose placement changed are edited, and within them only what KiCad itself
// changes for that edit; every other byte stays as read, so a board saved
// without edits is the file it was.
//
// A move rewrites the footprint's (at x y angle). A rotation by d also adds d
// to the angles of its pads and texts, which the file keeps absolute. A change
// of side is KiCad's left-right flip: every local y of the footprint's pads,
// texts and graphics is negated, pad angles become
// new + old orientation - angle, text angles that plus 180°, texts on F. and
// B. layers get or lose (justify mirror), arcs swap start and end so that
// they still run counter-clockwise, and F. and B. layers swap. 3D models stay
// as written. Zones of a footprint keep board coordinates, so every edit
// moves, turns and mirrors their points with the footprint.
// New angles are normalised as KiCad does: footprints to (-180°, 180°], pads
// and texts to [0°, 360°).
// A reference or value text that a client set (one that stands elsewhere than
// the footprint's edits carry it) gets the host's offset and angle on the
// footprint as placed, and its layer, (justify mirror) and hide as the host
// has them; that wins over the footprint's edit. A set text the file cannot
// hold refuses the save (DesignFileError naming the footprint).
#pragma once

#include <filesystem>
#include <string>

#include "model/design.h"
#include "storage/kicad/kicadboard.h"

namespace dbxhost::kicad {

// The board's text with the placements of design's components (matched to
// the footprints by component id and designator). Components the design no
// longer holds leave their footprints as they were.
std::string writeKicadBoard(const KicadBoard& board, const Design& design);

// Writes the board atomically after checking that the text reads back.
// Throws DesignFileError naming the file.
void saveKicadBoard(const KicadBoard& board, const Design& design,
                    const std::filesystem::path& target);

// KiCad's number texts: millimetres from nanometres and degrees from
// thousandths, without trailing zeros ("1.27", "-0.5", "90").
std::string formatMillimetres(int64_t nanometres);
std::string formatDegrees(int64_t milliDegrees);

}  // namespace dbxhost::kicad
