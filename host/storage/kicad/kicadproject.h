// A KiCad project as the host's design: the board file, and the root
// schematic of its project beside it with its sheet files.
#pragma once

#include <filesystem>
#include <memory>

#include "storage/designstorage.h"
#include "storage/kicad/kicadboard.h"

namespace dbxhost::kicad {

// Keeps the board as read, so that saving rewrites it with the host's
// placements (see kicadboardwriter.h).
class KicadProjectStorage : public DesignStorage {
 public:
  explicit KicadProjectStorage(KicadBoard board) : board_(std::move(board)) {}

 protected:
  void saveKicadBoard(const Design& design, const std::filesystem::path& target) const override;

 private:
  KicadBoard board_;
};

// Reads BOARD.kicad_pcb and BOARD.kicad_sch, or, without that, the root
// schematic PROJECT.kicad_sch of the one PROJECT.kicad_pro in the board's
// folder. A missing schematic leaves the schematic empty (and says so on
// standard output); a malformed one refuses the whole project. Throws
// DesignFileError (KicadFileError for content).
OpenedDesign readKicadProject(const std::filesystem::path& boardFile);

}  // namespace dbxhost::kicad
