// Where the host's design came from and how it is written back: a design file
// (JSON) or a KiCad project, whose board is rewritten in place of the one read.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "model/design.h"
#include "storage/filestamp.h"

namespace dbxhost {

class DesignStorage {
 public:
  virtual ~DesignStorage() = default;

  // Writes the design atomically in the format the target's name asks for: a
  // KiCad board for ".kicad_pcb", else a design file. Throws DesignFileError
  // naming the file and the reason; the old file then stays as it was.
  void save(const Design& design, const std::filesystem::path& target) const;

 protected:
  // A KiCad board can only be written over the board the design came from.
  virtual void saveKicadBoard(const Design& design, const std::filesystem::path& target) const;
};

struct OpenedDesign {
  Design design;
  std::shared_ptr<const DesignStorage> storage;
  // The file that saving writes (the board of a KiCad project), as it was
  // before it was read.
  std::optional<FileStamp> stamp;
};

bool isKicadBoardPath(const std::filesystem::path& file);

// Reads a design file, or a KiCad board (".kicad_pcb") with its project's
// schematic. Throws DesignFileError; nothing is returned unless all is valid.
OpenedDesign openDesign(const std::filesystem::path& file);

// The storage of a design made in memory or read from a design file.
std::shared_ptr<const DesignStorage> designFileStorage();

}  // namespace dbxhost
