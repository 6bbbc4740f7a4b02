// The schematic of a KiCad project (6 and later): the root sheet file and the
// hierarchy of sheet files beside it, read into the host's schematic model.
//
// Every sheet instance becomes a sheet named by its path ("/", "/Power/",
// "/IO/Buffer_A/"), numbered depth-first in file order. Each placed symbol
// unit of an instance becomes one host symbol with the reference that KiCad
// gives it for that instance; components are per reference. Only symbols whose
// footprint is on the board are kept (pins carry the nets of its pads), and
// power symbols, kept as power connections on the net their value names.
// Symbols marked (on_board no) are left out; (in_bom no) and (dnp yes) change
// nothing, since their footprints stand on the board all the same.
#pragma once

#include <cstdint>
#include <filesystem>

#include "model/design.h"

namespace dbxhost::kicad {

// The newest schematic file version read: KiCad 10.0.7 writes 20260306
// (docs/kicad-formats.md). A newer file is refused, never read half right.
inline constexpr int64_t kNewestSchematicVersion = 20260306;

// Fills design.sch from the root schematic and its sheet files; design.pcb and
// design.nets must already hold the board. Throws KicadFileError ("<file>:
// line L: <reason>") when a file is malformed, a sheet file is missing or the
// hierarchy is recursive, and DesignFileError when the root file cannot be
// read; design.sch is then left as it was.
void readKicadSchematic(const std::filesystem::path& rootSchematic, Design& design);

}  // namespace dbxhost::kicad
