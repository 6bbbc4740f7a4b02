#include "engine/edithistory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "copperrecords.h"
#include "engine/hostdbx.h"
#include "model/geometry.h"
#include "storage/designfile.h"

namespace dbxhost {
namespace {

using namespace DBX;

Design twoPartsAndASymbol() {
  Design design;
  for (int32_t id : {1, 2}) {
    PcbComponent c;
    c.id = id;
    c.refDes = "R" + std::to_string(id);
    c.placement = {{id * 100000, 0}, 900, false};
    design.pcb.components.push_back(c);
  }
  Symbol s;
  s.id = 7;
  s.refDes = "U1:A";
  s.highlight = 3;
  design.sch.symbols.push_back(s);
  return design;
}

// One client conversation on the PCB: moves, flips and highlights as a
// placement does, noting each part before it changes.
void placeConversation(EditHistory& history, Design& design) {
  PcbComponent& r1 = design.pcb.components[0];
  PcbComponent& r2 = design.pcb.components[1];
  history.noteBefore(r1);
  r1.placement = moved(r1.placement, 5000, -7000);
  history.noteBefore(r1);  // a second step of the same part
  r1.placement = flipped(r1.placement, r1.placement.refPoint);
  history.noteBefore(r2);
  r2.highlight = 10;
  history.endConversation(kToolPcb, design);
}

TEST(EditHistoryTest, UndoPutsEveryPartBackAsTheConversationFoundItAndRedoAsItLeftIt) {
  Design design = twoPartsAndASymbol();
  const Design before = design;
  EditHistory history;
  EXPECT_FALSE(history.canUndo());
  EXPECT_EQ(history.undo(design), 0u);
  placeConversation(history, design);
  const Design after = design;
  ASSERT_TRUE(history.canUndo());
  EXPECT_FALSE(history.canRedo());

  EXPECT_EQ(history.undo(design), 2u);
  EXPECT_EQ(design, before);
  EXPECT_FALSE(history.canUndo());
  ASSERT_TRUE(history.canRedo());
  EXPECT_EQ(history.redo(design), 2u);
  EXPECT_EQ(design, after);
  EXPECT_EQ(history.redo(design), 0u);
  EXPECT_EQ(history.undo(design), 2u);
  EXPECT_EQ(design, before);
}

TEST(EditHistoryTest, BatchesAreUndoneLastFirstAndANewBatchEndsTheRedo) {
  Design design = twoPartsAndASymbol();
  const Design start = design;
  EditHistory history;
  placeConversation(history, design);
  const Design afterFirst = design;
  // A schematic client highlights a symbol: its own batch.
  history.noteBefore(design.sch.symbols[0]);
  design.sch.symbols[0].highlight = 10;
  history.endConversation(kToolSch, design);

  EXPECT_EQ(history.undo(design), 1u);
  EXPECT_EQ(design, afterFirst);
  EXPECT_EQ(history.undo(design), 2u);
  EXPECT_EQ(design, start);
  EXPECT_EQ(history.redo(design), 2u);
  EXPECT_TRUE(history.canRedo());
  // A new conversation that changes something can no longer be combined with
  // the symbol's undone highlight.
  history.noteBefore(design.pcb.components[1]);
  design.pcb.components[1].placement.rotation = 0;
  history.endConversation(kToolPcb, design);
  EXPECT_FALSE(history.canRedo());
  EXPECT_EQ(history.undo(design), 1u);
  EXPECT_EQ(design, afterFirst);
}

TEST(EditHistoryTest, AConversationThatChangedNothingIsNoBatch) {
  Design design = twoPartsAndASymbol();
  EditHistory history;
  placeConversation(history, design);
  history.undo(design);
  // Moved there and back, and highlighted as it was: nothing to undo, and the
  // undone batch can still be redone.
  PcbComponent& r1 = design.pcb.components[0];
  history.noteBefore(r1);
  r1.placement = moved(r1.placement, 100, 0);
  r1.placement = moved(r1.placement, -100, 0);
  history.noteBefore(design.sch.symbols[0]);
  design.sch.symbols[0].highlight = 3;
  PcbComponent removed = r1;  // noted, then gone before the conversation ends
  removed.id = 99;
  history.noteBefore(removed);
  history.endConversation(kToolPcb, design);
  history.endConversation(kToolSch, design);
  EXPECT_FALSE(history.canUndo());
  EXPECT_TRUE(history.canRedo());
}

TEST(EditHistoryTest, PartsRemovedSinceAreSkippedAndClearForgetsEverything) {
  Design design = twoPartsAndASymbol();
  EditHistory history;
  placeConversation(history, design);
  design.pcb.components.erase(design.pcb.components.begin());  // R1 is gone
  const PcbComponent r2 = design.pcb.components[0];
  EXPECT_EQ(history.undo(design), 1u);
  EXPECT_EQ(design.pcb.components[0].highlight, 0);
  EXPECT_EQ(design.pcb.components[0].placement, r2.placement);

  history.clear();
  EXPECT_FALSE(history.canUndo());
  EXPECT_FALSE(history.canRedo());
  // A conversation open while the history was cleared starts afresh.
  history.noteBefore(design.pcb.components[0]);
  history.clear();
  design.pcb.components[0].highlight = 5;
  history.endConversation(kToolPcb, design);
  EXPECT_FALSE(history.canUndo());
}

Track track(int32_t id, int32_t x) { return {{id, 1, "", false, false}, 1, 1000, {x, 0}, {x, 9}}; }

TEST(EditHistoryTest, CopperEditsAreTakenBackLastFirstEachInItsPlace) {
  Design design = twoPartsAndASymbol();
  design.pcb.tracks = {track(1, 0), track(2, 10), track(3, 20), track(4, 30)};
  const Design before = design;
  EditHistory history;
  std::vector<Track>& tracks = design.pcb.tracks;
  // Delete the second track, then the one that took its place, then place a
  // track and delete it again: undone in the wrong order, the tracks would
  // come back shuffled.
  history.noteDeleted(tracks[1], 1);
  tracks.erase(tracks.begin() + 1);
  history.noteDeleted(tracks[1], 1);
  tracks.erase(tracks.begin() + 1);
  history.notePlaced(track(9, 90), tracks.size());
  tracks.push_back(track(9, 90));
  history.notePlaced(track(10, 100), tracks.size());
  tracks.push_back(track(10, 100));
  history.noteDeleted(tracks[2], 2);
  tracks.erase(tracks.begin() + 2);
  history.endConversation(kToolPcb, design);
  const Design after = design;
  ASSERT_EQ(tracks.size(), 3u);

  EXPECT_EQ(history.undo(design), 5u);
  EXPECT_EQ(design, before);
  EXPECT_EQ(history.redo(design), 5u);
  EXPECT_EQ(design, after);
  // An item gone by other means is skipped, the rest still taken back.
  tracks.erase(tracks.begin() + 2);
  EXPECT_EQ(history.undo(design), 5u);
  ASSERT_EQ(tracks.size(), 4u);
  EXPECT_EQ(tracks, before.pcb.tracks);
}

std::string fileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TComponent componentWithId(int32_t id) {
  TComponent c;
  c.compId = id;
  return c;
}

// A placement with routing as a client makes it: parts moved, copper placed
// and deleted, a reference text moved, all in one conversation.
TEST(EditHistoryTest, UndoOfAClientsRoutingGivesBackTheDesignAndItsFileByteForByte) {
  // The example as the host saves it: the file a user would undo back to.
  const std::filesystem::path file =
      std::filesystem::path(::testing::TempDir()) / "undo-routing.json";
  saveDesignFile(
      readDesignFile(std::filesystem::path(TANDREL_EXAMPLES_DIR) / "quad-preamp-routed.json"),
      file);
  const std::string originalBytes = fileBytes(file);
  const Design original = readDesignFile(file);
  ASSERT_GE(original.pcb.tracks.size(), 8u);
  HostDbx host{original};

  TConversation pcb;
  ASSERT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &pcb), DBX_OK);
  const int32_t firstId = original.pcb.components[3].id, secondId = original.pcb.components[4].id;
  TComponent first = componentWithId(firstId), second = componentWithId(secondId);
  ASSERT_EQ(host.TMoveComponent(&pcb, 100000, -50000, &first), DBX_OK);
  ASSERT_EQ(host.TRotateComponent(&pcb, 900, first.refPoint, &first), DBX_OK);
  ASSERT_EQ(host.TMoveComponent(&pcb, 0, 250000, &second), DBX_OK);
  ASSERT_EQ(host.TFlipComponent(&pcb, second.refPoint, &second), DBX_OK);

  TLine line = records::line(1, 25000, {1000000, 1000000}, {1200000, 1000000}, 4, "Copy 2");
  ASSERT_EQ(host.TPlaceLine(&pcb, &line), DBX_OK);
  TVia via = records::via({1200000, 1000000}, 60000, 30000, 1, 2, 4);
  ASSERT_EQ(host.TPlaceVia(&pcb, &via), DBX_OK);
  auto zone = std::make_unique<TPolygon>(
      records::polygon(2, 1, {{900000, 900000}, {1900000, 900000}, {1900000, 1900000}}));
  ASSERT_EQ(host.TPlacePolygon(&pcb, zone.get()), DBX_OK);
  // Two tracks from the middle of the list, the second where the first stood.
  TItem gone;
  gone.itemType = DBX_LINE;
  for (std::size_t index : {5u, 6u}) {
    gone.line.lineId = original.pcb.tracks[index].info.id;
    ASSERT_EQ(host.TDeleteItem(&pcb, &gone), DBX_OK);
  }
  TAttribute ref;
  ASSERT_EQ(host.TGetFirstCompAttribute(&pcb, original.pcb.components[5].refDes.c_str(), &ref),
            DBX_OK);
  ref.refPoint.x += 30000;
  ref.rotationAng = 900;
  ASSERT_EQ(host.TModifyCompAttribute(&pcb, original.pcb.components[5].refDes.c_str(), &ref),
            DBX_OK);
  ASSERT_EQ(host.TCloseDesign(&pcb, ""), DBX_OK);
  const Design after = host.readDesign([](const Design& d) { return d; });
  ASSERT_NE(after, original);

  const HostDbx::HistoryStep undone = host.undoClientEdits();
  EXPECT_EQ(undone.outcome, HostDbx::HistoryStep::Outcome::kDone);
  // Three parts, three items placed, two deleted.
  EXPECT_EQ(undone.parts, 8u);
  const Design back = host.readDesign([](const Design& d) { return d; });
  EXPECT_EQ(back, original);
  saveDesignFile(back, file);
  EXPECT_EQ(fileBytes(file), originalBytes);

  EXPECT_EQ(host.redoClientEdits().parts, 8u);
  EXPECT_EQ(host.readDesign([](const Design& d) { return d; }), after);
  // The ids given out stay taken: the next item is not the undone one's twin.
  ASSERT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &pcb), DBX_OK);
  TLine another = line;
  ASSERT_EQ(host.TPlaceLine(&pcb, &another), DBX_OK);
  EXPECT_GT(another.lineId, zone->polygonId);
  ASSERT_EQ(host.TCloseDesign(&pcb, ""), DBX_OK);
  host.undoClientEdits();
  EXPECT_EQ(host.readDesign([](const Design& d) { return d; }), after);
  host.undoClientEdits();
  saveDesignFile(host.readDesign([](const Design& d) { return d; }), file);
  EXPECT_EQ(fileBytes(file), originalBytes);
  std::filesystem::remove(file);
}

}  // namespace
}  // namespace dbxhost
