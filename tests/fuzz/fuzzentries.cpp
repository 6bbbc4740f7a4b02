#include "fuzzentries.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "dbx/design.h"
#include "dbx/wire.h"
#include "engine/hostdbx.h"
#include "model/syntheticdesign.h"
#include "quietui.h"
#include "replaydbx.h"
#include "storage/designfile.h"
#include "storage/kicad/kicadboard.h"
#include "storage/kicad/kicadschematic.h"

namespace tandrel::fuzz {

void designFileInput(const uint8_t* data, std::size_t size) {
  try {
    dbxhost::parseDesign(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz");
  } catch (const dbxhost::DesignFileError&) {
    // A refused file is the expected answer to most inputs.
  }
}

void kicadBoardInput(const uint8_t* data, std::size_t size) {
  try {
    dbxhost::kicad::parseKicadBoard(std::string(reinterpret_cast<const char*>(data), size), "fuzz");
  } catch (const dbxhost::DesignFileError&) {
    // Refused: the expected answer to most inputs.
  }
}

namespace {

// A private folder holding the example's channel sheet beside the root file
// each input is written to, so that a root naming that sheet reaches it.
// Removed when the process ends.
class SchematicFolder {
 public:
  SchematicFolder() {
    std::string pattern = std::filesystem::temp_directory_path() / "tandrel-fuzz-sch.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    std::filesystem::copy_file(TANDREL_KICAD_EXAMPLE "/channel.kicad_sch",
                               path_ / "channel.kicad_sch");
  }
  ~SchematicFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  SchematicFolder(const SchematicFolder&) = delete;
  SchematicFolder& operator=(const SchematicFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace

void kicadSchematicInput(const uint8_t* data, std::size_t size) {
  static const dbxhost::kicad::KicadBoard board =
      dbxhost::kicad::readKicadBoard(TANDREL_KICAD_EXAMPLE "/quad-opamp.kicad_pcb");
  static const SchematicFolder folder;
  const std::filesystem::path root = folder.path() / "root.kicad_sch";
  std::ofstream(root, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  dbxhost::Design design;
  design.nets = board.nets;
  design.pcb = board.pcb;
  try {
    dbxhost::kicad::readKicadSchematic(root, design);
  } catch (const dbxhost::DesignFileError&) {
    // Refused: the expected answer to most inputs.
  }
}

void frameStreamInput(const uint8_t* data, std::size_t size) {
  static const dbxhost::Design design = dbxhost::makeSyntheticDesign(2, 3, true);
  dbxhost::HostDbx host(design);
  DBX::wire::ServerConversation conversation;
  DBX::wire::FrameBuffer frames;
  frames.append(reinterpret_cast<const char*>(data), size);
  std::string payload, reason;
  while (frames.next(payload, reason) == DBX::wire::FrameBuffer::Result::kFrame) {
    if (!DBX::wire::dispatchRequest(host, conversation, payload, DBX::kToolNamePcb, reason)) break;
  }
}

namespace {

// Runs one action of the design; a DBX failure or another refusal of the
// program's own is the expected end of most.
template <class Action>
void expectOwnErrorsOnly(Action&& action) {
  try {
    action();
  } catch (const TandrelError&) {
  }
}

}  // namespace

void hostReplyInput(const uint8_t* data, std::size_t size) {
  static QuietUi ui;  // boxes would only slow the fuzzer down
  diag::Ui* previous = diag::installUi(&ui);
  ReplayDbx host(data, size);
  DBX::Design design(host);
  design.setWalkLimits({.perWalk = 2000, .perAction = 20000});
  for (const uint8_t tool : {DBX::kToolPcb, DBX::kToolSch, DBX::kToolPcb}) {
    expectOwnErrorsOnly([&] { design.selectTool(tool); });
  }
  const DBX::Design::DPack& pcb = design.pack(DBX::kToolPcb);
  const DBX::Component* like =
      pcb.components().left.empty() ? nullptr : pcb.components().left.begin()->second;
  for (const auto& entry : pcb.components().left) {
    DBX::Component* component = entry.second;
    expectOwnErrorsOnly([&] { component->setHighlight(DBX::DBX_COLOR_RED); });
    expectOwnErrorsOnly([&] { component->placeAt(1000, -1000, like); });
  }
  std::vector<std::string> highlighted;
  expectOwnErrorsOnly([&] { design.highlightedRefDes(highlighted); });
  design.clear();
  diag::installUi(previous);
}

}  // namespace tandrel::fuzz
