#include "storage/designstorage.h"

#include "storage/designfile.h"
#include "storage/kicad/kicadproject.h"

namespace dbxhost {

void DesignStorage::save(const Design& design, const std::filesystem::path& target) const {
  if (isKicadBoardPath(target)) {
    saveKicadBoard(design, target);
  } else {
    saveDesignFile(design, target);
  }
}

void DesignStorage::saveKicadBoard(const Design&, const std::filesystem::path& target) const {
  throw DesignFileError(target.string() +
                        ": not saved: a KiCad board is written only for a design read from one");
}

bool isKicadBoardPath(const std::filesystem::path& file) {
  return file.extension() == ".kicad_pcb";
}

OpenedDesign openDesign(const std::filesystem::path& file) {
  // Stamped before reading: a change made while it is read then shows as a
  // change at the next save, never as one the host has seen.
  std::optional<FileStamp> stamp = FileStamp::of(file);
  OpenedDesign opened = isKicadBoardPath(file)
                            ? kicad::readKicadProject(file)
                            : OpenedDesign{readDesignFile(file), designFileStorage(), {}};
  opened.stamp = std::move(stamp);
  return opened;
}

std::shared_ptr<const DesignStorage> designFileStorage() {
  static const auto storage = std::make_shared<const DesignStorage>();
  return storage;
}

}  // namespace dbxhost
