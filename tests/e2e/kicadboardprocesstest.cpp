// A real KiCad board served by a dbxhost process: components placed by a DBX
// client the way Tandrel places copies, saved by the host and read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "dbx/design.h"
#include "dbx/socketdbx.h"
#include "hostprocess.h"
#include "kicadreference.h"
#include "model/geometry.h"
#include "placement/fieldparse.h"
#include "placement/placer.h"
#include "placement/routingplacer.h"
#include "scriptedui.h"
#include "storage/fileio.h"
#include "storage/kicad/kicadboard.h"

namespace {

using tandrel::testing::copyForEditing;
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
  copyForEditing(kicad::testing::kGlasgowBoard, file);
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
  const kicad::SexprTree a = kicad::parseSexpr(original, "before"),
                         b = kicad::parseSexpr(saved, "after");
  ASSERT_EQ(a.children().size(), b.children().size());
  std::size_t fromA = 0, fromB = 0, changed = 0;
  for (std::size_t i = 0; i < before.footprints.size(); ++i) {
    const std::size_t child = before.footprints[i].child;
    const bool moved = copies.contains(before.footprints[i].refDes);
    changed += moved;
    if (!moved) continue;
    EXPECT_EQ(original.substr(fromA, a.children()[child].begin - fromA),
              saved.substr(fromB, b.children()[child].begin - fromB));
    fromA = a.children()[child].end;
    fromB = b.children()[child].end;
  }
  EXPECT_EQ(original.substr(fromA), saved.substr(fromB));
  EXPECT_EQ(changed, pairs.size());
}

// The footprints of two instances of one sheet, paired by their symbol's
// uuid (the last part of a footprint's path): the template's designators,
// then the copy's in the same order. Locked footprints are left out.
std::vector<std::string> sheetPairs(const std::string& boardText, const std::string& templateSheet,
                                    const std::string& copySheet) {
  const kicad::SexprTree root = kicad::parseSexpr(boardText, "pairs");
  std::map<std::string, std::pair<std::string, std::string>> bySymbol;
  for (const kicad::Sexpr* fp : root.lists("footprint")) {
    const kicad::Sexpr* sheet = fp->list("sheetname");
    const kicad::Sexpr* path = fp->list("path");
    if (sheet == nullptr || path == nullptr || fp->list("locked") != nullptr) continue;
    std::string reference;
    for (const kicad::Sexpr* property : fp->lists("property")) {
      if (property->children()[1].text() == "Reference")
        reference = std::string(property->children()[2].text());
    }
    const std::string symbolPath(path->children()[1].text());
    auto& pair = bySymbol[symbolPath.substr(symbolPath.rfind('/') + 1)];
    if (sheet->children()[1].text() == templateSheet) pair.first = reference;
    if (sheet->children()[1].text() == copySheet) pair.second = reference;
  }
  std::vector<std::string> templates, copies;
  for (const auto& [symbol, pair] : bySymbol) {
    if (pair.first.empty() || pair.second.empty()) continue;
    templates.push_back(pair.first);
    copies.push_back(pair.second);
  }
  templates.insert(templates.end(), copies.begin(), copies.end());
  return templates;
}

struct BufferPlaced {
  int32_t deltaX = 0;              // the pitch
  std::vector<std::string> boxes;  // the texts of the message boxes shown
};

// Places IO_Buffer_B one pitch to the right of IO_Buffer_A (beside the
// board's right edge, confirmed) through a host process on file and saves it.
BufferPlaced placeIoBufferBBesideA(const fs::path& file, const std::string& dir,
                                   const std::vector<std::string>& names, bool routing) {
  const std::size_t items = names.size() / 2;
  BufferPlaced placed;
  testing_diag::ScriptedUi ui;
  HostProcess host(file.string(), dir);
  {
    DBX::SocketDbx dbx(dir);
    DBX::Design design(dbx);
    design.selectTool(DBX::kToolPcb);
    placement::TPlacer placer;
    placer.LoadGroups(design, names, uint32_t(items));
    EXPECT_EQ(placer.FieldOf(placement::Control::Cols).text, "2");
    // The board is routed, so the routing is copied unless the user says no.
    EXPECT_TRUE(placer.CopyRouting());
    placer.SetCopyRouting(routing);
    // The checks below count the board's own items as they were, the
    // copy's old routing among them.
    placer.SetReplaceRouting(false);
    placer.GroupsListClick(0);
    placer.EditField(placement::Control::GapX, "2.54");
    ui.answers = {true};
    placer.PlaceClick();
    // IO_Buffer_B's parts named by the first six, in group order.
    EXPECT_EQ(ui.questions,
              std::vector<std::string>{
                  "Parts that would lie outside the board: 67\nG2: " + names[items] + ", " +
                  names[items + 1] + ", " + names[items + 2] + ", " + names[items + 3] + ", " +
                  names[items + 4] + ", " + names[items + 5] + " and 61 more\nMove them anyway?"});
    EXPECT_TRUE(placer.PlaceEnabled());
    placed.deltaX = *placement::ParseLength(placer.FieldOf(placement::Control::DeltaX).text);
    design.clear();
  }
  for (const auto& box : ui.boxes) placed.boxes.push_back(box.text);
  EXPECT_EQ(host.command("save"), "ok " + file.string());
  EXPECT_EQ(host.stop(SIGTERM), 0);
  return placed;
}

// Copies glasgow to file and pairs the footprints of its two IO buffers.
std::vector<std::string> copyWithBufferPairs(const fs::path& file) {
  copyForEditing(kicad::testing::kGlasgowBoard, file);
  return sheetPairs(dbxhost::readFileText(file), "IO_Buffer_A", "IO_Buffer_B");
}

TEST_F(KicadBoardProcessTest, IoBufferBPlacedBesideIoBufferARepeatsItsLayout) {
  SKIP_WITHOUT_GLASGOW();
  const fs::path file = fs::path(work) / "glasgow.kicad_pcb";
  const std::vector<std::string> names = copyWithBufferPairs(file);
  const std::size_t items = names.size() / 2;
  ASSERT_EQ(items, 67u);  // 68 footprints on each sheet, the locked connector left out
  // This checks the placement alone.
  const BufferPlaced placed = placeIoBufferBBesideA(file, dir, names, false);
  EXPECT_TRUE(placed.boxes.empty());
  const int32_t deltaX = placed.deltaX;

  // Each copy stands exactly one pitch to the right of its template component
  // (the board's grid is the host's unit, so nothing is snapped), turned and
  // flipped like it: its pads lie around it as the template's lie around the
  // template.
  const kicad::KicadBoard saved = kicad::readKicadBoard(file);
  const kicad::KicadBoard original = kicad::readKicadBoard(kicad::testing::kGlasgowBoard);
  auto placementOf = [](const kicad::KicadBoard& board, const std::string& refDes) {
    for (const dbxhost::PcbComponent& c : board.pcb.components) {
      if (c.refDes == refDes) return c.placement;
    }
    throw std::out_of_range("no component " + refDes);
  };
  EXPECT_GT(deltaX, 0);
  for (std::size_t i = 0; i < items; ++i) {
    const std::string& model = names[i];
    const std::string& copy = names[items + i];
    EXPECT_EQ(placementOf(saved, model), placementOf(original, model)) << model;
    const dbxhost::Placement a = placementOf(saved, model), b = placementOf(saved, copy);
    EXPECT_EQ(b.rotation, a.rotation) << copy;
    EXPECT_EQ(b.flipped, a.flipped) << copy;
    EXPECT_EQ(int64_t(b.refPoint.x) - a.refPoint.x, deltaX) << copy;
    EXPECT_EQ(b.refPoint.y, a.refPoint.y) << copy;
    EXPECT_EQ(padOffsets(saved, copy), padOffsets(saved, model)) << copy << " like " << model;
  }
}

// With the routing: each track and via of IO_Buffer_A's area comes again one
// pitch to the right, in the copy's host group, on the net that the pads of
// the copy give the template's net. The board is KiCad 8's, which KiCad 6's
// pcbnew does not open; the host's own reader judges the saved file.
TEST_F(KicadBoardProcessTest, IoBufferBPlacedWithTheRoutingOfIoBufferAGetsItOnItsOwnNets) {
  SKIP_WITHOUT_GLASGOW();
  const fs::path file = fs::path(work) / "glasgow.kicad_pcb";
  const std::vector<std::string> names = copyWithBufferPairs(file);
  const std::size_t items = names.size() / 2;
  const BufferPlaced placed = placeIoBufferBBesideA(file, dir, names, true);
  // The buffers take their I2C addresses from straps to +3V3 and GND that
  // differ between them: those two nets have no single counterpart in the
  // copy, so their copper is left to the user, and said so.
  EXPECT_EQ(placed.boxes,
            std::vector<std::string>{
                "Routing on these nets was not copied, because each has no single net in the "
                "copy:\nG2: +3V3 -> +3V3, GND (67 items)\nG2: GND -> +3V3, GND, /IO_Banks/VIOB "
                "(127 items)\n"});
  const int32_t deltaX = placed.deltaX;
  const kicad::KicadBoard saved = kicad::readKicadBoard(file);
  const kicad::KicadBoard original = kicad::readKicadBoard(kicad::testing::kGlasgowBoard);

  auto padNetsOf = [&](const std::string& refDes) {
    for (const dbxhost::PcbComponent& c : saved.pcb.components) {
      if (c.refDes == refDes) return c.padNets;
    }
    throw std::out_of_range("no component " + refDes);
  };
  std::map<int32_t, std::set<int32_t>> copyNets;  // template net -> the copy's
  for (std::size_t i = 0; i < items; ++i) {
    const std::map<std::string, int32_t> copyPads = padNetsOf(names[items + i]);
    for (const auto& [pad, net] : padNetsOf(names[i])) {
      if (net != 0) copyNets[net].insert(copyPads.count(pad) != 0 ? copyPads.at(pad) : 0);
    }
  }
  const std::string group = placement::RoutingPlacer::GroupNameOf(1);
  auto judge = [&](const auto& savedItems, const auto& originalItems, auto shiftedLike) {
    std::size_t copied = 0;
    for (const auto& item : savedItems) {
      if (item.info.group != group) continue;
      ++copied;
      const auto model = std::find_if(originalItems.begin(), originalItems.end(),
                                      [&](const auto& m) { return shiftedLike(item, m); });
      ASSERT_NE(model, originalItems.end()) << "a copied item repeats no template item";
      // The board's drawings within the area follow on no net.
      const std::set<int32_t> wanted =
          model->info.netId == 0 ? std::set<int32_t>{0} : copyNets[model->info.netId];
      EXPECT_EQ(wanted, std::set<int32_t>{item.info.netId});
    }
    EXPECT_GT(copied, 0u);
    EXPECT_EQ(savedItems.size() - copied, originalItems.size());
  };
  auto shifted = [&](dbxhost::TPoint p, dbxhost::TPoint q) {
    return int64_t(p.x) - q.x == deltaX && p.y == q.y;
  };
  judge(saved.pcb.tracks, original.pcb.tracks,
        [&](const dbxhost::Track& t, const dbxhost::Track& m) {
          return t.layerId == m.layerId && t.width == m.width && shifted(t.start, m.start) &&
                 shifted(t.end, m.end);
        });
  judge(saved.pcb.vias, original.pcb.vias, [&](const dbxhost::Via& v, const dbxhost::Via& m) {
    return v.diameter == m.diameter && v.drill == m.drill && shifted(v.at, m.at);
  });
}

// A client's placement, then the client vanishes without closing: the host
// ends its conversation, and "undo" brings the board back byte for byte.
TEST_F(KicadBoardProcessTest, UndoAfterAClientVanishedSavesTheBoardAsItWas) {
  const fs::path demo = "/usr/share/kicad/demos/complex_hierarchy/complex_hierarchy.kicad_pcb";
  const fs::path source = fs::exists(demo) ? demo
                                           : fs::path(TANDREL_EXAMPLES_DIR) / "kicad" /
                                                 "duo-kicad6" / "duo-kicad6.kicad_pcb";
  const fs::path file = fs::path(work) / source.filename();
  fs::copy_file(source, file);
  HostProcess host(file.string(), dir);
  int edited = 0;
  {
    DBX::SocketDbx dbx(dir);
    DBX::TConversation pcb;
    ASSERT_EQ(dbx.TOpenDesign(DBX::kOpenLanguage, DBX::kOpenVersion, DBX::kToolNamePcb, &pcb),
              DBX::DBX_OK);
    std::vector<DBX::TComponent> parts;
    DBX::TComponent c;
    for (int32_t s = dbx.TGetFirstComponent(&pcb, &c); s == DBX::DBX_OK;
         s = dbx.TGetNextComponent(&pcb, &c)) {
      if (!c.isFixed) parts.push_back(c);
    }
    for (DBX::TComponent& r : parts) {
      ASSERT_EQ(dbx.TMoveComponent(&pcb, 254000, -127000, &r), DBX::DBX_OK);
      ASSERT_EQ(dbx.TFlipComponent(&pcb, r.refPoint, &r), DBX::DBX_OK);
      ASSERT_EQ(dbx.TRotateComponent(&pcb, 450, r.refPoint, &r), DBX::DBX_OK);
      ++edited;
    }
    EXPECT_EQ(host.command("undo"),
              "error: a client holds the PCB editor; undo waits until its conversation ends");
  }
  ASSERT_GT(edited, 0);
  // The host notices the vanished client on its own time.
  std::string answer;
  for (int attempt = 0; attempt < 200; ++attempt) {
    answer = host.command("undo");
    if (!answer.starts_with("error: a client holds")) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(answer, "ok undone: " + std::to_string(edited) + " parts");
  ASSERT_EQ(host.command("save"), "ok " + file.string());
  EXPECT_EQ(dbxhost::readFileText(file), dbxhost::readFileText(source));
  EXPECT_EQ(host.command("redo"), "ok redone: " + std::to_string(edited) + " parts");
  ASSERT_EQ(host.command("save"), "ok " + file.string());
  EXPECT_NE(dbxhost::readFileText(file), dbxhost::readFileText(source));
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
