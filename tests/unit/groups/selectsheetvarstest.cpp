#include "groups/selectsheetvars.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>

#include "boards.h"
#include "model/syntheticdesign.h"
#include "scriptedui.h"
#include "storage/designfile.h"

namespace {

using Names = std::vector<std::string>;

Names refDesOf(const std::vector<DBX::Component*>& components) {
  Names names;
  for (const DBX::Component* component : components) {
    names.emplace_back(DBX_18::getText(component->record.refDes));
  }
  return names;
}

// Three channels of three parts on sheets named out of order.
dbxhost::Design threeSheets() {
  dbxhost::Design design = dbxhost::makeSyntheticDesign(3, 3, true);
  design.sch.sheets[0].name = "Sheet2";
  design.sch.sheets[1].name = "Sheet10";
  design.sch.sheets[2].name = "Sheet3";
  return design;
}

SelectSheetVars analysed(const DBX::Design& design) {
  SelectSheetVars vars(design);
  vars.CollectSheetComponents();
  vars.BuildSheetSignatures();
  vars.FindSheetSets();
  return vars;
}

class SelectSheetVarsTest : public ::testing::Test {
 protected:
  testing_diag::ScriptedUi ui;
};

TEST_F(SelectSheetVarsTest, SetNamesInDesignatorOrderAndTheOffsetRule) {
  boards::Loaded sch(threeSheets(), DBX::kToolSch);
  const SelectSheetVars vars = analysed(sch.design);
  ASSERT_EQ(vars.sheetSets.size(), 1u);
  EXPECT_EQ(vars.setSheetNames, (Names{"Sheet2", "Sheet3", "Sheet10"}));
  EXPECT_EQ(vars.maxSetSize, 3u);

  std::vector<DBX::Component*> components;
  EXPECT_EQ(vars.GetSetComponents(0, 0, components), 3u);
  // Sheet2 holds channel 1 (R1 C2 R3), Sheet10 channel 2, Sheet3 channel 3.
  EXPECT_EQ(refDesOf(components), (Names{"R1", "C2", "R3", "R7", "C8", "R9", "R4", "C5", "R6"}));
  components.clear();
  EXPECT_EQ(vars.GetSetComponents(0, 2, components), 3u);
  EXPECT_EQ(refDesOf(components), (Names{"R4", "C5", "R6", "R1", "C2", "R3", "R7", "C8", "R9"}));
  components.clear();
  vars.GetSetComponents(0, 4, components);  // offsets wrap round
  EXPECT_EQ(refDesOf(components).front(), "R7");
  EXPECT_THROW(vars.GetSetComponents(1, 0, components), std::out_of_range);
}

TEST_F(SelectSheetVarsTest, SignatureEntryFormat) {
  boards::Loaded sch(threeSheets(), DBX::kToolSch);
  // R1: first part of the chain at (1000000, 1000000).
  EXPECT_EQ(SelectSheetVars::SignatureEntry(*sch["R1"]),
            "1000000,1000000,RES,1k,R0603,synthetic.lib,;");
}

// Instances differing only in designators are equal; a changed value,
// footprint, position or part suffix breaks the set.
TEST_F(SelectSheetVarsTest, SignaturesTellChangedSheetsApart) {
  using Edit = std::function<void(dbxhost::Design&)>;
  const std::vector<std::pair<const char*, Edit>> edits = {
      {"value", [](dbxhost::Design& d) { d.sch.components[4].value = "2k"; }},
      {"footprint", [](dbxhost::Design& d) { d.sch.components[4].patternName = "R0805"; }},
      {"position", [](dbxhost::Design& d) { d.sch.symbols[4].refPoint.x += 1; }},
      {"part suffix", [](dbxhost::Design& d) { d.sch.symbols[4].refDes = "C5:1"; }},
  };
  boards::Loaded same(dbxhost::makeSyntheticDesign(2, 3, true), DBX::kToolSch);
  const SelectSheetVars equal = analysed(same.design);
  ASSERT_EQ(equal.sheetSignatures.size(), 2u);
  EXPECT_EQ(equal.sheetSignatures.begin()->first, std::next(equal.sheetSignatures.begin())->first);
  EXPECT_EQ(equal.sheetSets.size(), 1u);
  for (const auto& [what, edit] : edits) {
    dbxhost::Design design = dbxhost::makeSyntheticDesign(2, 3, true);
    edit(design);
    boards::Loaded changed(std::move(design), DBX::kToolSch);
    const SelectSheetVars vars = analysed(changed.design);
    EXPECT_EQ(vars.sheetSignatures.size(), 2u) << what;
    EXPECT_TRUE(vars.sheetSets.empty()) << what;
    EXPECT_EQ(vars.maxSetSize, 0u) << what;
  }
}

TEST_F(SelectSheetVarsTest, QuadExampleHasOneSetOfFourChannels) {
  boards::Loaded sch(
      dbxhost::readDesignFile(std::string(TANDREL_EXAMPLES_DIR) + "/quad-preamp.json"),
      DBX::kToolSch);
  const SelectSheetVars vars = analysed(sch.design);
  ASSERT_EQ(vars.sheetSets.size(), 1u);
  EXPECT_EQ(vars.setSheetNames, (Names{"Channel1", "Channel2", "Channel3", "Channel4"}));
  std::vector<DBX::Component*> components;
  const std::size_t perSheet = vars.GetSetComponents(0, 0, components);
  EXPECT_EQ(components.size(), 4 * perSheet);
  EXPECT_EQ(std::count(components.begin(), components.end(), sch["U1:B"]), 1);
}

TEST_F(SelectSheetVarsTest, NoRepeatedSheetsNoSets) {
  boards::Loaded sch(dbxhost::makeSyntheticDesign(3, 3, false), DBX::kToolSch);
  const SelectSheetVars vars = analysed(sch.design);
  EXPECT_EQ(vars.sheetSignatures.size(), 1u);
  EXPECT_TRUE(vars.sheetSets.empty());
  EXPECT_TRUE(vars.setSheetNames.empty());
}

TEST_F(SelectSheetVarsTest, EmptySchematicGivesNoSignatures) {
  boards::Loaded pcbOnly(dbxhost::makeSyntheticDesign(2, 2, true), DBX::kToolPcb);
  const SelectSheetVars vars = analysed(pcbOnly.design);
  EXPECT_TRUE(vars.sheetComponents.empty());
  EXPECT_TRUE(vars.sheetSignatures.empty());
}

TEST(PositionKeyTest, LowerYFirstThenLowerXWithSignExtendedX) {
  EXPECT_LT(SelectSheetVars::PositionKey(900, 100), SelectSheetVars::PositionKey(100, 200));
  EXPECT_LT(SelectSheetVars::PositionKey(100, 200), SelectSheetVars::PositionKey(900, 200));
  // A negative x borrows from y: (-1, 1) sorts just below (0, 1).
  EXPECT_EQ(SelectSheetVars::PositionKey(-1, 1), SelectSheetVars::PositionKey(0, 1) - 1);
  // Negative y is a huge unsigned number; the extremes do not overflow.
  EXPECT_GT(SelectSheetVars::PositionKey(0, -1), SelectSheetVars::PositionKey(0, INT32_MAX));
  EXPECT_EQ(SelectSheetVars::PositionKey(INT32_MIN, INT32_MIN),
            0x8000000000000000ull - 0x80000000ull);
  EXPECT_EQ(SelectSheetVars::PositionKey(-1, 0), UINT64_MAX);
}

TEST_F(SelectSheetVarsTest, ComponentsOfASheetComeInPositionOrder) {
  dbxhost::Design design = dbxhost::makeSyntheticDesign(1, 3, true);
  // Move the chain's first part below the others, the third left of the second.
  design.sch.symbols[0].refPoint = {5000000, 3000000};
  design.sch.symbols[2].refPoint = {1000000, 1000000};
  boards::Loaded sch(std::move(design), DBX::kToolSch);
  SelectSheetVars vars(sch.design);
  vars.CollectSheetComponents();
  EXPECT_EQ(refDesOf(vars.GetSheetComponents("Channel1")), (Names{"R3", "C2", "R1"}));
  EXPECT_TRUE(vars.GetSheetComponents("Nowhere").empty());
}

}  // namespace
