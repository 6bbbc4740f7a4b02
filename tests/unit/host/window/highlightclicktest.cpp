#include "window/highlightclick.h"

#include <gtest/gtest.h>

namespace dbxhost {
namespace {

using Kind = HighlightChange::Kind;
constexpr int32_t kRed = DBX::DBX_COLOR_RED;
constexpr int32_t kBlue = DBX::DBX_COLOR_BLUE;

// PCB components 1..3 and symbols 1..3 share their ids on purpose: a click
// in one tool must never touch the other.
Design testDesign() {
  Design d;
  for (int32_t id = 1; id <= 3; ++id) {
    PcbComponent c;
    c.id = id;
    c.refDes = "R" + std::to_string(id);
    d.pcb.components.push_back(c);
    Symbol s;
    s.id = id;
    s.refDes = "R" + std::to_string(id);
    d.sch.symbols.push_back(s);
  }
  d.nets = {{1, "GND", 0}, {2, "IN", kBlue}};
  return d;
}

Design afterClick(Design d, DBX::Tool tool, int32_t id, bool additive) {
  applyHighlightChanges(d, planClick(d, tool, id, additive));
  return d;
}

TEST(HighlightClickTest, AClickHighlightsOneComponentInRedAlone) {
  Design d = testDesign();
  d.pcb.components[0].highlight = kBlue;
  d.pcb.components[2].highlight = kRed;
  d.sch.symbols[1].highlight = kBlue;
  const Design after = afterClick(d, DBX::kToolPcb, 2, false);
  EXPECT_EQ(after.pcb.components[0].highlight, 0);
  EXPECT_EQ(after.pcb.components[1].highlight, kRed);
  EXPECT_EQ(after.pcb.components[2].highlight, 0);
  // The schematic and the nets are other items.
  EXPECT_EQ(after.sch.symbols, d.sch.symbols);
  EXPECT_EQ(after.nets, d.nets);
}

TEST(HighlightClickTest, AClickOnWhatIsAlreadySoChangesNothing) {
  Design d = testDesign();
  d.pcb.components[1].highlight = kRed;
  EXPECT_TRUE(planClick(d, DBX::kToolPcb, 2, false).empty());
  // Another colour turns red.
  d.pcb.components[1].highlight = kBlue;
  EXPECT_EQ(planClick(d, DBX::kToolPcb, 2, false),
            (std::vector<HighlightChange>{{Kind::kPcbComponent, 2, kRed}}));
}

TEST(HighlightClickTest, CtrlClickTogglesOneAndKeepsTheOthers) {
  Design d = testDesign();
  d.pcb.components[0].highlight = kBlue;
  Design after = afterClick(d, DBX::kToolPcb, 3, true);
  EXPECT_EQ(after.pcb.components[0].highlight, kBlue);
  EXPECT_EQ(after.pcb.components[2].highlight, kRed);
  after = afterClick(after, DBX::kToolPcb, 1, true);
  EXPECT_EQ(after.pcb.components[0].highlight, 0);
  EXPECT_EQ(after.pcb.components[2].highlight, kRed);
  after = afterClick(after, DBX::kToolPcb, 3, true);
  EXPECT_EQ(after, testDesign());
}

TEST(HighlightClickTest, SchematicClicksChangeSymbols) {
  Design d = testDesign();
  d.pcb.components[0].highlight = kBlue;
  d.sch.symbols[0].highlight = kBlue;
  const Design after = afterClick(d, DBX::kToolSch, 3, false);
  EXPECT_EQ(after.sch.symbols[0].highlight, 0);
  EXPECT_EQ(after.sch.symbols[2].highlight, kRed);
  EXPECT_EQ(after.pcb.components, d.pcb.components);
}

TEST(HighlightClickTest, AClickOnNothingKnownChangesNothing) {
  Design d = testDesign();
  d.pcb.components[0].highlight = kBlue;
  EXPECT_TRUE(planClick(d, DBX::kToolPcb, 99, false).empty());
  EXPECT_TRUE(planClick(d, DBX::kToolNone, 1, false).empty());
  EXPECT_TRUE(planClick(Design{}, DBX::kToolSch, 1, true).empty());
}

TEST(HighlightClickTest, ClearAllRemovesEveryHighlight) {
  Design d = testDesign();
  d.pcb.components[2].highlight = kRed;
  d.sch.symbols[0].highlight = kBlue;
  const std::vector<HighlightChange> changes = planClearAll(d);
  EXPECT_EQ(changes.size(), 3u);
  EXPECT_EQ(applyHighlightChanges(d, changes), 3u);
  Design clean = testDesign();
  clean.nets[1].highlight = 0;
  EXPECT_EQ(d, clean);
  EXPECT_TRUE(planClearAll(d).empty());
}

TEST(HighlightClickTest, ChangesToItemsThatHaveGoneAreSkipped) {
  Design d = testDesign();
  const std::vector<HighlightChange> changes = planClick(d, DBX::kToolPcb, 2, false);
  d.pcb.components.erase(d.pcb.components.begin() + 1);
  const Design before = d;
  EXPECT_EQ(applyHighlightChanges(d, changes), 0u);
  EXPECT_EQ(d, before);
  EXPECT_EQ(applyHighlightChanges(d, {{Kind::kNet, 7, kRed}, {Kind::kSymbol, 3, kRed}}), 1u);
  EXPECT_EQ(d.sch.symbols[2].highlight, kRed);
}

}  // namespace
}  // namespace dbxhost
