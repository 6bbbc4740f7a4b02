#include "groups/view/celllook.h"

#include <gtest/gtest.h>

#include <string>

#include "boards.h"
#include "groups/groupselector.h"
#include "scriptedui.h"
#include "storage/designfile.h"

namespace {

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};

class CellLookTest : public ::testing::Test {
 protected:
  CellLookTest() {
    page.InitGrid();
    page.LoadDesign(board.design);
  }

  CellLook look(int row, int column, Rgb background = kWhite) const {
    return GroupCellLook(page, row, column, background);
  }
  void put(const char* refDes, int row, int column) {
    page.SetCell(row, column, board[refDes]);
    page.CompactTable();
  }
  void dragFromList(const char* refDes) {
    page.CompList().setSelected(page.CompList().find(refDes));
    page.CompListStartDrag();
  }

  testing_diag::ScriptedUi ui;
  boards::Loaded board{
      dbxhost::readDesignFile(std::string(TANDREL_EXAMPLES_DIR) + "/quad-preamp.json"),
      DBX::kToolPcb};
  TGroupSelector page;
};

TEST_F(CellLookTest, WithoutADragEveryCellIsPlainWithBlackText) {
  put("C1", 1, 1);
  for (const auto& [row, column] : {std::pair{1, 1}, {1, 2}, {2, 1}}) {
    const CellLook cell = look(row, column);
    EXPECT_EQ(cell.fill, kWhite);
    EXPECT_EQ(cell.hatch, CellHatch::None);
    EXPECT_TRUE(cell.showText);
    EXPECT_EQ(cell.text, kBlack);
  }
}

TEST_F(CellLookTest, TargetThatClearsNothingIsHatchedBackwardOnTheInverseColour) {
  dragFromList("C1");
  const Rgb background{10, 20, 200};
  const CellLook target = look(1, 1, background);
  EXPECT_EQ(target.hatch, CellHatch::BackwardDiagonal);
  EXPECT_EQ(target.fill, (Rgb{245, 235, 55}));
  EXPECT_EQ(target.hatchLines, background);
  EXPECT_FALSE(target.showText);
}

TEST_F(CellLookTest, DraggedCellIsBlueWithYellowText) {
  put("C1", 1, 1);
  put("C3", 2, 1);
  page.GrItemsStartDrag(2, 1);
  const CellLook dragged = look(2, 1);
  EXPECT_EQ(dragged.fill, CellLook::kDraggedBackground);
  EXPECT_EQ(dragged.text, CellLook::kDraggedText);
  EXPECT_TRUE(dragged.showText);
  EXPECT_EQ(look(1, 1).fill, kWhite);
  page.EndDrag();
  EXPECT_EQ(look(2, 1).fill, kWhite);
}

// Template C1, -; group C3, R4: R7 in the template's empty cell would make
// the whole group disagree.
TEST_F(CellLookTest, ConflictTargetIsCrossedAndItsConflictsTurnRedWhileShown) {
  put("C1", 1, 1);
  put("R1", 1, 2);
  put("C3", 2, 1);
  put("R4", 2, 2);
  page.ClearCell(1, 2);
  page.CompactTable();
  dragFromList("R7");
  EXPECT_EQ(look(1, 2).hatch, CellHatch::Cross);
  EXPECT_EQ(look(3, 2).hatch, CellHatch::BackwardDiagonal);
  EXPECT_EQ(look(2, 1).fill, kWhite);

  ASSERT_TRUE(page.GrItemsDragOver(1, 2));
  for (int column : {1, 2}) {
    const CellLook conflict = look(2, column);
    EXPECT_EQ(conflict.fill, CellLook::kConflictFill);
    EXPECT_EQ(conflict.hatch, CellHatch::None);
    EXPECT_TRUE(conflict.showText);
    EXPECT_EQ(conflict.text, kBlack);
  }
  ASSERT_TRUE(page.GrItemsDragOver(3, 2));
  EXPECT_EQ(look(2, 1).fill, kWhite);
}

TEST(CellLookDifferencesTest, CellsOfDifferingComponentsAreOrangeOutsideADrag) {
  testing_diag::ScriptedUi ui;
  boards::Loaded flat(dbxhost::readDesignFile(std::string(TANDREL_EXAMPLES_DIR) + "/flat-3ch.json"),
                      DBX::kToolPcb);
  TGroupSelector page;
  page.LoadDesign(flat.design);
  page.SetTemplateRow(flat.components({"J1", "R1", "C1"}), -1, false);
  page.chooseClosest = [](const TGroupSelector&, const ClosestMatch::Result&) { return 0; };
  page.AddGroup(flat.components({"J2", "R4", "C3"}));
  ASSERT_EQ(page.GrItems().cell(2, 3).component, flat["C3"]);
  ASSERT_TRUE(page.Differences().differs(flat["C3"]));
  EXPECT_EQ(GroupCellLook(page, 2, 3, kWhite).fill, CellLook::kDifferingFill);
  EXPECT_EQ(GroupCellLook(page, 2, 1, kWhite).fill, kWhite);
  EXPECT_EQ(GroupCellLook(page, 1, 3, kWhite).fill, kWhite);
  // While dragging, the drag's marks alone are shown.
  page.CompList().setSelected(page.CompList().find("R7"));
  page.CompListStartDrag();
  EXPECT_NE(GroupCellLook(page, 2, 3, kWhite).fill, CellLook::kDifferingFill);
}

}  // namespace
