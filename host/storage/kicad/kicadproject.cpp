#include "storage/kicad/kicadproject.h"

#include <iostream>
#include <string>
#include <vector>

#include "storage/kicad/kicadboardwriter.h"
#include "storage/kicad/kicadschematic.h"

namespace dbxhost::kicad {

void KicadProjectStorage::saveKicadBoard(const Design& design,
                                         const std::filesystem::path& target) const {
  kicad::saveKicadBoard(board_, design, target);
}

namespace {

namespace fs = std::filesystem;

bool isFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

// Whatever stands at the path is the schematic, to be read or refused (a
// folder or a pipe there is the reader's to name).
bool isThere(const fs::path& path) {
  std::error_code error;
  return fs::exists(path, error);
}

// The schematic of the board's own name; else the root schematic of the
// folder's KiCad project (KiCad names a project's root schematic after its
// .kicad_pro), as for a second board of the project such as KiCad's
// multichannel_mixer-unrouted. Empty when there is none, or when several
// projects share the folder and none is the board's.
fs::path schematicOf(const fs::path& boardFile, std::string& why) {
  fs::path own = boardFile;
  own.replace_extension(".kicad_sch");
  if (isThere(own)) return own;
  std::vector<fs::path> projects;
  std::error_code error;
  const fs::path folder = boardFile.parent_path().empty() ? "." : boardFile.parent_path();
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (it->path().extension() == ".kicad_pro" && isFile(it->path()))
      projects.push_back(it->path());
  }
  if (projects.size() == 1) {
    fs::path root = projects.front();
    root.replace_extension(".kicad_sch");
    if (isThere(root)) return root;
    why = "no schematic " + own.string() + " beside the board, nor " + root.string() +
          " of its project";
    return {};
  }
  why = "no schematic " + own.string() + " beside the board";
  if (projects.size() > 1)
    why += ", and " + std::to_string(projects.size()) + " projects in its folder";
  return {};
}

}  // namespace

OpenedDesign readKicadProject(const std::filesystem::path& boardFile) {
  KicadBoard board = readKicadBoard(boardFile);
  Design design;
  design.nets = board.nets;
  design.pcb = board.pcb;
  std::string why;
  const fs::path schematic = schematicOf(boardFile, why);
  if (!schematic.empty()) {
    readKicadSchematic(schematic, design);
  } else {
    std::cout << "dbxhost: " << boardFile.string() << ": " << why << "; serving the board alone"
              << std::endl;
  }
  // The storage keeps what the writer needs; the design's copy goes to the host.
  board.pcb = {};
  board.nets.clear();
  return {std::move(design), std::make_shared<const KicadProjectStorage>(std::move(board)), {}};
}

}  // namespace dbxhost::kicad
