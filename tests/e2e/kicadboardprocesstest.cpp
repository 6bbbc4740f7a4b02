// A real KiCad board served by a dbxhost process: components placed by a DBX
// client the way Tandrel places copies, saved by the host and read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "dbx/design.h"
#include "dbx/socketdbx.h"
#include "fileio.h"
#include "geometry.h"
#include "hostprocess.h"
#include "kicad/kicadboard.h"
#include "kicadreference.h"
#include "scriptedui.h"

namespace {

using tandrel::testing::HostProcess;
using tandrel::testing::makePrivateTempDir;
namespace fs = std::filesystem;
namespace kicad = dbxhost::kicad;

class KicadBoardProcessTest : public ::testing::Test {
 protected:
  void TearDown() override {
    fs::remove_all(dir);
    fs::remove_all(work);
  }
  const std::string dir = makePrivateTempDir("kicad-e2e");
  const std::string work = makePrivateTempDir("kicad-work");
};

// Pad offsets from the component's origin, by pad number.
std::map<std::string, dbxhost::TPoint> padOffsets(const kicad::KicadBoard& board,
                                                  const std::string& refDes) {
  for (const dbxhost::PcbComponent& c : board.pcb.components) {
    if (c.refDes != refDes) continue;
    const dbxhost::Pattern& pattern = board.pcb.patterns.at(c.patternName);
    const std::vector<dbxhost::TPoint> at = dbxhost::padPositions(pattern, c.placement);
    std::map<std::string, dbxhost::TPoint> out;
    for (std::size_t i = 0; i < at.size(); ++i) {
      out.emplace(pattern.pads[i].pinDes, dbxhost::TPoint{at[i].x - c.placement.refPoint.x,
                                                          at[i].y - c.placement.refPoint.y});
    }
    return out;
  }
  throw std::out_of_range("no component " + refDes);
}

TEST_F(KicadBoardProcessTest, CopiesPlacedByAClientAreSavedIntoTheBoard) {
  SKIP_WITHOUT_GLASGOW();
  const fs::path file = fs::path(work) / "glasgow.kicad_pcb";
  fs::copy_file(kicad::testing::kGlasgowBoard, file);
  const std::string original = dbxhost::readFileText(file);

  // Pairs of movable footprints of one pattern: the second goes beside the
  // first, turned and flipped like it.
  std::vector<std::pair<std::string, std::string>> pairs;
  {
    testing_diag::ScriptedUi ui;
    HostProcess host(file.string(), dir);
    {
      DBX::SocketDbx dbx(dir);
      DBX::Design design(dbx);
      design.selectTool(DBX::kToolPcb);
      std::map<std::string, std::vector<DBX::Component*>> byPattern;
      for (const auto& [refDes, component] : design.pack().components().left) {
        if (component->record.isFixed == 0 && component->record.numberPads >= 2) {
          byPattern[std::string(DBX::getText(component->record.patternName))].push_back(component);
        }
      }
      for (auto& [pattern, components] : byPattern) {
        if (components.size() < 2 || pairs.size() == 6) continue;
        // Prefer a template on the other side, so that flips are saved too.
        auto other = std::find_if(components.begin() + 1, components.end(), [&](auto* c) {
          return c->record.isFlipped != components[0]->record.isFlipped;
        });
        DBX::Component* copy = other != components.end() ? *other : components[1];
        const DBX::Component& like = *components[0];
        copy->placeAt(like.record.refPoint.x + 500000, like.record.refPoint.y - 250000, &like);
        pairs.emplace_back(std::string(DBX::getText(like.record.refDes)),
                           std::string(DBX::getText(copy->record.refDes)));
      }
      design.clear();
    }
    EXPECT_TRUE(ui.boxes.empty());
    ASSERT_EQ(pairs.size(), 6u);
    ASSERT_EQ(host.command("save"), "ok " + file.string());
    EXPECT_EQ(host.stop(SIGTERM), 0);
  }

  const std::string saved = dbxhost::readFileText(file);
  const kicad::KicadBoard before = kicad::parseKicadBoard(original, "before");
  const kicad::KicadBoard after = kicad::parseKicadBoard(saved, "after");
  std::set<std::string> copies;
  for (const auto& [like, copy] : pairs) {
    copies.insert(copy);
    EXPECT_EQ(padOffsets(after, copy), padOffsets(after, like)) << copy << " like " << like;
  }
  // Every other footprint, and everything around the footprints, is as it was.
  const kicad::Sexpr a = kicad::parseSexpr(original, "before"),
                     b = kicad::parseSexpr(saved, "after");
  ASSERT_EQ(a.children.size(), b.children.size());
  std::size_t fromA = 0, fromB = 0, changed = 0;
  for (std::size_t i = 0; i < before.footprints.size(); ++i) {
    const std::size_t child = before.footprints[i].child;
    const bool moved = copies.contains(before.footprints[i].refDes);
    changed += moved;
    if (!moved) continue;
    EXPECT_EQ(original.substr(fromA, a.children[child].begin - fromA),
              saved.substr(fromB, b.children[child].begin - fromB));
    fromA = a.children[child].end;
    fromB = b.children[child].end;
  }
  EXPECT_EQ(original.substr(fromA), saved.substr(fromB));
  EXPECT_EQ(changed, pairs.size());
}

TEST_F(KicadBoardProcessTest, AMalformedBoardIsRefusedWithFileAndLine) {
  const fs::path file = fs::path(work) / "bad.kicad_pcb";
  std::ofstream(file, std::ios::binary) << "(kicad_pcb\n\t(version 20240108)\n\t(net 0 \"\")\n"
                                        << "\t(footprint \"R:R\" (layer \"F.Cu\")\n"
                                        << "\t\t(pad \"1\" smd rect (at 0 0)))\n)\n";
  std::string output;
  EXPECT_EQ(HostProcess::runToEnd(file.string(), output), 1);
  EXPECT_NE(output.find(file.string() + ": line 4: (footprint) has no (at)"), std::string::npos)
      << output;
}

}  // namespace
