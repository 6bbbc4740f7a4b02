#include "engine/edithistory.h"

#include <gtest/gtest.h>

#include "model/geometry.h"

namespace dbxhost {
namespace {

using DBX::kToolPcb;
using DBX::kToolSch;

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

}  // namespace
}  // namespace dbxhost
