#include "storage/kicad/kicadproject.h"

#include <iostream>

#include "storage/kicad/kicadboardwriter.h"
#include "storage/kicad/kicadschematic.h"

namespace dbxhost::kicad {

void KicadProjectStorage::saveKicadBoard(const Design& design,
                                         const std::filesystem::path& target) const {
  kicad::saveKicadBoard(board_, design, target);
}

OpenedDesign readKicadProject(const std::filesystem::path& boardFile) {
  KicadBoard board = readKicadBoard(boardFile);
  Design design;
  design.nets = board.nets;
  design.pcb = board.pcb;
  std::filesystem::path schematic = boardFile;
  schematic.replace_extension(".kicad_sch");
  std::error_code error;
  if (std::filesystem::exists(schematic, error)) {
    readKicadSchematic(schematic, design);
  } else {
    std::cout << "dbxhost: " << boardFile.string() << ": no schematic " << schematic.string()
              << " beside the board; serving the board alone" << std::endl;
  }
  // The storage keeps what the writer needs; the design's copy goes to the host.
  board.pcb = {};
  board.nets.clear();
  return {std::move(design), std::make_shared<const KicadProjectStorage>(std::move(board)), {}};
}

}  // namespace dbxhost::kicad
