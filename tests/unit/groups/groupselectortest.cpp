#include "groups/groupselector.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "boards.h"
#include "diag/logtesthook.h"
#include "model/syntheticdesign.h"
#include "scriptedui.h"
#include "storage/designfile.h"

namespace {

using ::testing::ElementsAre;
using Names = std::vector<std::string>;
using Components = std::vector<DBX::Component*>;

const std::string kExamples = TANDREL_EXAMPLES_DIR;

class CountingView : public TGroupSelector::View {
 public:
  void repaint() override { ++repaints; }
  void fitColumn(int column, const std::string& text) override {
    fitted.push_back(std::to_string(column) + ":" + text);
  }
  void widenColumn(int column, const std::string& text) override {
    widened.push_back(std::to_string(column) + ":" + text);
  }
  int repaints = 0;
  Names fitted;
  Names widened;
};

class GroupSelectorTest : public ::testing::Test {
 protected:
  GroupSelectorTest() {
    page.InitGrid();
    page.setView(&view);
    page.OnComplete = [this](bool complete) { completions.push_back(complete); };
    page.chooseVariant = [this](const TGroupSelector&, const VariantList& candidates) {
      offered.push_back(candidates.rows());
      return variantAnswer;
    };
    page.chooseClosest = [this](const TGroupSelector&, const ClosestMatch::Result& closest) {
      closestOffered.push_back(closest);
      return closestAnswer;
    };
  }

  void load(boards::Loaded& design) { page.LoadDesign(design.design); }

  Names listed() const {
    Names names;
    for (const auto& entry : page.CompList().entries()) names.push_back(entry.text);
    return names;
  }
  Names row(int r) const {
    Names names;
    for (int c = 1; c < page.GrItems().colCount(); ++c)
      names.push_back(page.GrItems().cell(r, c).text);
    return names;
  }
  void select(const std::string& refDes) {
    page.CompList().setSelected(page.CompList().find(refDes));
  }
  // Drags the list's line into the cell the way the widget does.
  void dropFromList(const std::string& refDes, int r, int c) {
    select(refDes);
    page.CompListStartDrag();
    ASSERT_TRUE(page.GrItemsDragOver(r, c)) << refDes << " at " << r << "," << c;
    page.GrItemsDragDrop(r, c, TGroupSelector::DragSource::CompList);
    page.EndDrag();
  }
  void tick(const Names& refDes) {
    for (const auto& name : refDes) page.SetTicked(page.CompList().find(name), true);
  }

  testing_diag::ScriptedUi ui;
  CountingView view;
  TGroupSelector page;
  std::vector<bool> completions;
  std::vector<Components> offered;
  std::vector<ClosestMatch::Result> closestOffered;
  int closestAnswer = -1;
  int variantAnswer = 0;
};

class FlatTest : public GroupSelectorTest {
 protected:
  FlatTest() { load(flat); }
  boards::Loaded flat{dbxhost::readDesignFile(kExamples + "/flat-3ch.json"), DBX::kToolPcb};
  const Names channel1{"J1", "R1", "R2", "C1", "U1", "R3", "P1"};
  const Names channel2{"J2", "R4", "R5", "C2", "U2", "R6", "P2"};
};

// ---- Loading and buttons ----

TEST_F(GroupSelectorTest, NothingLoadedNothingEnabled) {
  EXPECT_FALSE(page.fillBySheetEnabled());
  EXPECT_FALSE(page.addHighlightedEnabled());
  EXPECT_FALSE(page.addSelectedEnabled());
  EXPECT_EQ(page.CompList().size(), 0u);
  EXPECT_EQ(page.GrItems().cell(1, 0).text, "G1");
  EXPECT_EQ(page.GrItems().cell(0, 1).text, "C1");
  page.FillBySheetButtonClick();  // no design: nothing happens
  page.AddHighlightedButtonClick();
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "No highlited component found!");
}

TEST_F(FlatTest, LoadingThePcbListsComponentsAndNetsInOrder) {
  EXPECT_FALSE(page.fillBySheetEnabled());
  EXPECT_TRUE(page.addHighlightedEnabled());
  EXPECT_FALSE(page.addSelectedEnabled());
  EXPECT_EQ(page.CompList().size(), 21u);
  EXPECT_EQ(listed().front(), "C1");
  EXPECT_EQ(listed().back(), "U3");
  ASSERT_FALSE(page.NetList().empty());
  EXPECT_TRUE(std::is_sorted(page.NetList().begin(), page.NetList().end(),
                             [](const auto& a, const auto& b) { return a.name < b.name; }));
  EXPECT_EQ(completions, std::vector<bool>{false});
  page.ClearAll(true);
  EXPECT_FALSE(page.addHighlightedEnabled());
  EXPECT_EQ(page.CompList().size(), 0u);
  EXPECT_TRUE(page.NetList().empty());
}

TEST_F(GroupSelectorTest, LoadingTheSchematicEnablesFillBySheets) {
  boards::Loaded quad(dbxhost::readDesignFile(kExamples + "/quad-preamp.json"), DBX::kToolSch);
  load(quad);
  EXPECT_TRUE(page.fillBySheetEnabled());
  EXPECT_NE(page.CompList().find("U1:A"), -1);
}

// ---- Table operations and compaction ----

TEST_F(FlatTest, FirstDropLandsInTheFirstCellAndGrowsTheTable) {
  select("R1");
  page.CompListStartDrag();
  EXPECT_TRUE(page.FDragging());
  ASSERT_EQ(page.FDropTargets().size(), 1u);
  const auto& [key, info] = *page.FDropTargets().begin();
  EXPECT_EQ(key, MakeCellKey(1, 1));
  EXPECT_EQ(info.conflictsBegin, info.conflictsEnd);  // clears nothing
  page.GrItemsDragOver(1, 1);
  page.GrItemsDragDrop(1, 1, TGroupSelector::DragSource::CompList);
  EXPECT_EQ(page.GrItems().colCount(), 3);
  EXPECT_EQ(page.GrItems().rowCount(), 3);
  EXPECT_EQ(row(0), (Names{"C1", "C2"}));
  EXPECT_EQ(page.GrItems().cell(2, 0).text, "G2");
  EXPECT_EQ(page.GrItems().cell(1, 1).component, flat["R1"]);
  EXPECT_EQ(page.CompList().find("R1"), -1);
  EXPECT_EQ(page.TemplateGraph().componentAt(0), flat["R1"]);
  EXPECT_EQ(completions.back(), false);
  EXPECT_FALSE(page.FDragging());
}

TEST_F(FlatTest, CompletenessFollowsTheFilledCells) {
  page.SetTemplateRow(flat.components({"J1", "R3"}), -1, false);
  page.SetGroupRow(flat.components({"J2", "R6"}), 0, 2, false, -1);
  EXPECT_EQ(completions.back(), true);
  EXPECT_EQ(page.GrItems().colCount(), 4);
  EXPECT_EQ(page.GrItems().rowCount(), 4);
  page.ClearCell(2, 2);
  page.CompactTable();
  EXPECT_EQ(completions.back(), false);
  EXPECT_EQ(listed().back(), "R6");
  // Clearing a cell whose text is listed already does not list it twice.
  page.SetCell(2, 2, flat["R6"]);
  page.CompList().append("J2", flat["J2"]);
  page.ClearCell(2, 1);
  const Names names = listed();
  EXPECT_EQ(std::count(names.begin(), names.end(), "J2"), 1);
}

TEST_F(FlatTest, EmptyTemplateRowStays) {
  page.SetTemplateRow(flat.components({"J1", "R1"}), -1, false);
  page.SetGroupRow(flat.components({"J2", "R4"}), 0, 2, false, -1);
  page.ClearCell(1, 1);
  page.ClearCell(1, 2);
  page.CompactTable();
  EXPECT_TRUE(page.TemplateGraph().empty());
  EXPECT_EQ(page.GrItems().rowCount(), 4);
  EXPECT_EQ(row(1), (Names{"", "", ""}));
  EXPECT_EQ(row(2), (Names{"J2", "R4", ""}));
}

TEST_F(FlatTest, EmptiedColumnsGoAndTemplateItemsFollowTheirColumns) {
  page.SetTemplateRow(flat.components(channel1), -1, false);
  page.SetGroupRow(flat.components(channel2), 0, 7, false, -1);
  for (int column : {2, 3, 5}) {
    page.ClearCell(1, column);
    page.ClearCell(2, column);
  }
  page.CompactTable();
  EXPECT_EQ(row(1), (Names{"J1", "C1", "R3", "P1", ""}));
  EXPECT_EQ(row(0), (Names{"C1", "C2", "C3", "C4", "C5"}));
  ASSERT_EQ(page.TemplateGraph().size(), 4u);
  for (int column = 1; column <= 4; ++column) {
    EXPECT_EQ(page.TemplateGraph().componentAt(uint32_t(column - 1)),
              page.GrItems().cell(1, column).component);
  }
  EXPECT_EQ(completions.back(), true);
}

TEST_F(FlatTest, ClearingTheLastCellResetsTheTable) {
  page.SetTemplateRow(flat.components({"J1"}), -1, false);
  page.setCurrentCell(1, 1);
  page.DeletePressed();
  EXPECT_EQ(page.GrItems().colCount(), 2);
  EXPECT_EQ(page.GrItems().rowCount(), 2);
  EXPECT_EQ(completions.back(), false);
  EXPECT_EQ(listed().back(), "J1");
  EXPECT_THROW(page.setCurrentCell(2, 1), std::out_of_range);
  EXPECT_THROW(page.SetCell(0, 1, flat["R1"]), std::out_of_range);
}

// ---- Drag and drop ----

TEST_F(FlatTest, DraggingACellBackToTheListCompacts) {
  page.SetTemplateRow(flat.components({"J1", "R1"}), -1, false);
  page.GrItemsStartDrag(1, 1);
  EXPECT_EQ(page.FDragRow(), 1);
  EXPECT_EQ(page.FDragCol(), 1);
  // The search ran without the dragged template item; the template is back.
  EXPECT_EQ(page.TemplateGraph().size(), 2u);
  EXPECT_TRUE(page.CompListDragOver(TGroupSelector::DragSource::GrItems));
  EXPECT_FALSE(page.CompListDragOver(TGroupSelector::DragSource::CompList));
  page.CompListDragDrop(TGroupSelector::DragSource::GrItems);
  page.EndDrag();
  EXPECT_EQ(listed().back(), "J1");
  EXPECT_EQ(row(1), (Names{"R1", ""}));
  EXPECT_EQ(page.TemplateGraph().componentAt(0), flat["R1"]);
}

TEST_F(FlatTest, StartOnAnEmptyCellPreparesNothing) {
  page.GrItemsStartDrag(1, 1);
  EXPECT_FALSE(page.FDragging());
  EXPECT_TRUE(page.FDropTargets().empty());
  page.CompList().setSelected(-1);
  page.CompListStartDrag();
  EXPECT_FALSE(page.FDragging());
  EXPECT_FALSE(page.GrItemsDragOver(1, 1));
}

TEST_F(FlatTest, MovingACellWithinTheTable) {
  page.SetTemplateRow(flat.components({"J1", "R1"}), -1, false);
  page.SetGroupRow(flat.components({"J2"}), 0, 1, false, -1);
  page.GrItemsStartDrag(2, 1);
  EXPECT_EQ(page.currentRow(), 2);
  // Into the spare row: the emptied row 2 then goes.
  ASSERT_TRUE(page.GrItemsDragOver(3, 1));
  page.GrItemsDragDrop(3, 1, TGroupSelector::DragSource::GrItems);
  EXPECT_EQ(page.GrItems().rowCount(), 4);
  EXPECT_EQ(row(2), (Names{"J2", "", ""}));
  EXPECT_EQ(page.CompList().find("J2"), -1);
  EXPECT_FALSE(page.FDragging());
}

TEST_F(FlatTest, DropOnACrossHatchedTargetClearsItsConflicts) {
  // Template J1 with an empty column 2 whose other rows hold R4 (agrees with
  // R2 as item 1) and C2 (does not agree with R2 as item 2).
  page.SetCell(1, 1, flat["J1"]);
  page.CompactTable();
  page.SetCell(2, 1, flat["J2"]);
  page.CompactTable();
  page.SetCell(2, 2, flat["R4"]);
  page.CompactTable();
  page.SetCell(2, 3, flat["C2"]);
  page.CompactTable();
  ASSERT_EQ(row(1), (Names{"J1", "", "", ""}));

  select("R2");
  page.CompListStartDrag();
  const DropInfo item1 = page.FDropTargets().at(MakeCellKey(1, 2));
  const DropInfo item2 = page.FDropTargets().at(MakeCellKey(1, 3));
  EXPECT_EQ(item1.conflictsBegin, item1.conflictsEnd);
  EXPECT_EQ(item2.conflictsBegin, item1.conflictsBegin);  // both ranges start alike
  EXPECT_EQ(item2.conflictsEnd - item2.conflictsBegin, 2);

  ASSERT_TRUE(page.GrItemsDragOver(1, 2));
  EXPECT_TRUE(page.FShownConflicts().empty());
  const int repaints = view.repaints;
  ASSERT_TRUE(page.GrItemsDragOver(1, 3));
  EXPECT_GT(view.repaints, repaints);
  EXPECT_EQ(page.FShownConflicts(), (std::set<CellKey>{MakeCellKey(2, 1), MakeCellKey(2, 3)}));
  page.GrItemsDragDrop(1, 3, TGroupSelector::DragSource::CompList);
  page.EndDrag();
  EXPECT_EQ(row(1), (Names{"J1", "", "R2", ""}));
  EXPECT_EQ(row(2), (Names{"", "R4", "", ""}));
  const Names names = listed();
  EXPECT_EQ(Names(names.end() - 2, names.end()), (Names{"J2", "C2"}));
}

TEST_F(FlatTest, PointerBetweenTargetsThatClearNothingCausesNoRepaint) {
  page.SetTemplateRow(flat.components({"J1", "R1", "R3"}), -1, false);
  page.SetGroupRow(flat.components({"J2"}), 0, 1, false, -1);
  select("R6");  // fits R3's item in row 2 and in the spare row
  page.CompListStartDrag();
  ASSERT_TRUE(page.GrItemsDragOver(2, 3));
  const int repaints = view.repaints;
  ASSERT_TRUE(page.GrItemsDragOver(3, 3));
  EXPECT_EQ(view.repaints, repaints);
  EXPECT_FALSE(page.GrItemsDragOver(2, 1));  // filled: refused
  EXPECT_FALSE(page.GrItemsDragOver(0, 3));  // caption: refused
  page.EndDrag();
  EXPECT_TRUE(page.FDropTargets().empty());
  EXPECT_TRUE(page.FConflictCells().empty());
  EXPECT_EQ(page.FDragRow(), -1);
  EXPECT_EQ(row(2), (Names{"J2", "", "", ""}));
}

TEST_F(FlatTest, DropOutsideTheTargetsChangesNothing) {
  page.SetTemplateRow(flat.components({"J1", "R1"}), -1, false);
  select("U2");
  page.CompListStartDrag();
  page.GrItemsDragDrop(2, 1, TGroupSelector::DragSource::CompList);  // not a target
  page.EndDrag();
  EXPECT_EQ(row(2), (Names{"", "", ""}));
  EXPECT_NE(page.CompList().find("U2"), -1);
}

// ---- Add Group and variants ----

TEST_F(FlatTest, EmptyTableTakesTheGroupAsTemplateInOrder) {
  tick({"U1", "J1", "R3"});
  EXPECT_TRUE(page.addSelectedEnabled());
  page.AddSelectedButtonClick();
  EXPECT_EQ(row(1), (Names{"J1", "R3", "U1", ""}));  // list order
  EXPECT_FALSE(page.addSelectedEnabled());
  EXPECT_TRUE(offered.empty());
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_THAT(view.fitted, ElementsAre("1:J1", "2:R3", "3:U1"));
}

TEST_F(FlatTest, AddSelectedEnablingFollowsTheItemCount) {
  page.SetTemplateRow(flat.components({"J1", "R1", "R3"}), -1, false);
  tick({"J2", "R4"});
  EXPECT_FALSE(page.addSelectedEnabled());
  tick({"R6"});
  EXPECT_TRUE(page.addSelectedEnabled());
  tick({"P2"});
  EXPECT_FALSE(page.addSelectedEnabled());
  page.SetTicked(page.CompList().find("P2"), false);
  page.AddSelectedButtonClick();
  EXPECT_EQ(row(2), (Names{"J2", "R4", "R6", ""}));
  EXPECT_EQ(page.CompList().find("R4"), -1);
  EXPECT_FALSE(page.addSelectedEnabled());
}

TEST_F(FlatTest, WrongCountIsReportedAndChangesNothing) {
  page.SetTemplateRow(flat.components({"J1", "R1", "R3"}), -1, false);
  page.AddGroup(flat.components({"J2", "R4", "R6", "P2"}));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, diag::MessageKind::Error);
  EXPECT_EQ(ui.boxes[0].text, "Can't add items - expected 3 items, but found 4");
  EXPECT_EQ(page.GrItems().rowCount(), 3);
}

TEST_F(FlatTest, SingleMatchIsAddedWithoutAsking) {
  page.SetTemplateRow(flat.components({"J1", "R1", "C1", "U1"}), -1, false);
  page.AddGroup(flat.components({"U2", "C2", "J2", "R4"}));
  EXPECT_TRUE(offered.empty());
  EXPECT_EQ(row(2), (Names{"J2", "R4", "C2", "U2", ""}));
  EXPECT_THAT(view.widened, ElementsAre("1:J2", "2:R4", "3:C2", "4:U2"));
}

TEST_F(FlatTest, ParallelResistorsOfferTwoVariantsInSlotOrder) {
  page.SetTemplateRow(flat.components(channel1), -1, false);
  variantAnswer = 1;
  page.AddGroup(flat.components(channel2));
  ASSERT_EQ(offered.size(), 1u);
  ASSERT_EQ(offered[0].size(), 14u);
  EXPECT_EQ(offered[0][1], flat["R4"]);
  EXPECT_EQ(offered[0][8], flat["R5"]);
  EXPECT_EQ(row(2), (Names{"J2", "R5", "R4", "C2", "U2", "R6", "P2", ""}));
}

TEST_F(FlatTest, CancellingTheVariantsAddsNothing) {
  page.SetTemplateRow(flat.components(channel1), -1, false);
  variantAnswer = -1;
  page.AddGroup(flat.components(channel2));
  EXPECT_EQ(page.GrItems().rowCount(), 3);
  for (const auto& name : channel2) EXPECT_NE(page.CompList().find(name), -1) << name;
  variantAnswer = 2;
  EXPECT_THROW(page.AddGroup(flat.components(channel2)), std::out_of_range);
  page.chooseVariant = nullptr;
  EXPECT_THROW(page.AddGroup(flat.components(channel2)), std::logic_error);
  EXPECT_EQ(page.GrItems().rowCount(), 3);
}

TEST_F(FlatTest, AddGroupRefusesComponentsAlreadyPlacedOrTwice) {
  page.SetTemplateRow(flat.components({"J1", "R1"}), -1, false);
  EXPECT_THROW(page.AddGroup(flat.components({"J1", "R4"})), std::invalid_argument);
  EXPECT_THROW(page.AddGroup(flat.components({"R4", "R4"})), std::invalid_argument);
  page.AddGroup({});
  EXPECT_EQ(page.GrItems().rowCount(), 3);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(FlatTest, NoMatchNamesTheComponentWhereTheSearchStopped) {
  page.SetTemplateRow(flat.components({"J1", "R1", "C1"}), -1, false);
  page.AddGroup(flat.components({"P2", "R4", "C2"}));
  ASSERT_EQ(ui.boxes.size(), 1u);
  // No template item is of P2's kind, so no pin can be compared: the
  // message says which part is the stranger.
  EXPECT_EQ(ui.boxes[0].text,
            "Sorry, components doesn't match original components and nets\n"
            "Problematic component: P2\nParts without a template part of their kind: P2");
  EXPECT_TRUE(closestOffered.empty());
  // J2 and R4 fit; C3 of another channel is not linked to R4 as C1 is to R1:
  // the closest correspondence is offered instead, and cancelled.
  page.AddGroup(flat.components({"J2", "R4", "C3"}));
  EXPECT_EQ(ui.boxes.size(), 1u);
  ASSERT_EQ(closestOffered.size(), 1u);
  ASSERT_FALSE(closestOffered[0].candidates.empty());
  const ClosestMatch::Candidate& closest = closestOffered[0].candidates[0];
  EXPECT_EQ(closest.assignment, flat.components({"J2", "R4", "C3"}));
  EXPECT_THAT(closest.differences, ::testing::Not(::testing::IsEmpty()));
  EXPECT_EQ(page.GrItems().rowCount(), 3);
  EXPECT_GE(page.CompList().find("C3"), 0);
}

TEST_F(FlatTest, ChosenClosestGroupIsAddedAndMarkedUntilItsCellsEmpty) {
  page.SetTemplateRow(flat.components({"J1", "R1", "C1"}), -1, false);
  closestAnswer = 0;
  page.AddGroup(flat.components({"C3", "J2", "R4"}));
  ASSERT_EQ(closestOffered.size(), 1u);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(row(2), (Names{"J2", "R4", "C3", ""}));
  const auto& differences = closestOffered[0].candidates[0].differences;
  ASSERT_FALSE(differences.empty());
  for (const auto& difference : differences) {
    EXPECT_TRUE(page.Differences().differs(difference.component));
    EXPECT_THAT(page.Differences().linesOf(difference.component),
                ::testing::Contains(difference.text()));
  }
  EXPECT_FALSE(page.Differences().differs(flat["J2"]));
  // Placement takes the group like any other.
  std::vector<std::string> names;
  int perGroup = 0;
  page.GetPlacementList(names, perGroup);
  EXPECT_EQ(names, (Names{"J1", "R1", "C1", "J2", "R4", "C3"}));
  EXPECT_EQ(perGroup, 3);
  // A differing component that leaves its cell is no longer marked.
  page.ClearCell(2, 3);
  EXPECT_FALSE(page.Differences().differs(flat["C3"]));
  page.ClearAll(false);
  EXPECT_TRUE(page.Differences().empty());
}

TEST_F(FlatTest, RefusedCellsSayWhichPinIsWiredDifferently) {
  page.SetTemplateRow(flat.components({"J1", "R1", "C1"}), -1, false);
  page.SetGroupRow(flat.components({"J2", "R4"}), 0, 2, false, -1);
  select("C3");
  page.CompListStartDrag();
  EXPECT_FALSE(page.GrItemsDragOver(2, 3));
  EXPECT_THAT(page.dragRefusal(),
              ::testing::MatchesRegex("C3 pin [0-9]+ is wired differently from C1 pin [0-9]+ of "
                                      "the template"));
  EXPECT_FALSE(page.GrItemsDragOver(3, 1));
  EXPECT_EQ(page.dragRefusal(), "C3 is another kind of part than J1");
  // The spare row takes C3: nothing to explain there.
  EXPECT_TRUE(page.GrItemsDragOver(3, 3));
  EXPECT_EQ(page.dragRefusal(), "");
  EXPECT_FALSE(page.GrItemsDragOver(2, 2));  // filled
  EXPECT_EQ(page.dragRefusal(), "");
  page.EndDrag();
  EXPECT_EQ(page.dragRefusal(), "");
  select("C2");
  page.CompListStartDrag();
  EXPECT_TRUE(page.GrItemsDragOver(2, 3));
  EXPECT_EQ(page.dragRefusal(), "");
}

TEST_F(FlatTest, OutOfRangeClosestChoiceAddsNothing) {
  page.SetTemplateRow(flat.components({"J1", "R1", "C1"}), -1, false);
  closestAnswer = 10;
  EXPECT_THROW(page.AddGroup(flat.components({"J2", "R4", "C3"})), std::out_of_range);
  EXPECT_EQ(page.GrItems().rowCount(), 3);
}

TEST_F(FlatTest, WithoutAClosestChooserTheMessageNamesTheFirstDifferingPin) {
  page.SetTemplateRow(flat.components({"J1", "R1", "C1"}), -1, false);
  page.chooseClosest = nullptr;
  page.AddGroup(flat.components({"J2", "R4", "C3"}));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text.substr(0, ui.boxes[0].text.find("\nFirst differing pin: C1 pin ")),
            "Sorry, components doesn't match original components and nets\n"
            "Problematic component: C3")
      << ui.boxes[0].text;
  EXPECT_EQ(page.GrItems().rowCount(), 3);
}

// A template row set while other groups are wider returns their extra
// components to the list instead of losing them.
TEST_F(FlatTest, NarrowerTemplateKeepsCutComponentsListed) {
  page.SetTemplateRow(flat.components({"J1", "R1", "R3"}), -1, false);
  page.SetGroupRow(flat.components({"J2", "R4", "R6"}), 0, 3, false, -1);
  for (int column = 1; column <= 3; ++column) page.ClearCell(1, column);
  page.CompactTable();
  ASSERT_TRUE(page.TemplateGraph().empty());
  page.AddGroup(flat.components({"J3"}));
  EXPECT_EQ(row(1), (Names{"J3", "", ""}));
  EXPECT_EQ(row(2), (Names{"J2", "R4", ""}));  // R4 stays in a column of its own
  EXPECT_NE(page.CompList().find("R6"), -1);
  std::size_t placed = 0;
  for (int r = 1; r < page.GrItems().rowCount(); ++r) {
    for (int c = 1; c < page.GrItems().colCount(); ++c)
      placed += !page.GrItems().cell(r, c).empty();
  }
  EXPECT_EQ(placed + page.CompList().size(), 21u);
}

// ---- Add Highlighted ----

TEST_F(GroupSelectorTest, HighlightedComponentsBecomeTheTemplateInHostOrder) {
  dbxhost::Design design = dbxhost::readDesignFile(kExamples + "/flat-3ch.json");
  for (auto& component : design.pcb.components) {
    if (component.refDes == "R3" || component.refDes == "J1" || component.refDes == "C1") {
      component.highlight = 10;
    }
  }
  boards::Loaded flat(std::move(design), DBX::kToolPcb);
  load(flat);
  std::vector<DBX::Component*> highlighted;
  page.GetHighlightedComponents(highlighted);
  EXPECT_EQ(highlighted, flat.components({"J1", "C1", "R3"}));  // the host's order
  page.AddHighlightedButtonClick();
  EXPECT_EQ(row(1), (Names{"J1", "C1", "R3", ""}));
  // All of them are placed now.
  page.AddHighlightedButtonClick();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "No highlited component found!");
  EXPECT_EQ(page.GrItems().rowCount(), 3);
}

// A host that reports no highlighted items: the snapshot's flags decide.
class HostWithoutHighlightWalk : public dbxhost::HostDbx {
 public:
  using HostDbx::HostDbx;
  int32_t TGetFirstHighlightedItem(DBX::TConversation*, DBX::TItem*) override {
    return DBX::DBX_NO_MORE_ITEMS;
  }
};

TEST_F(GroupSelectorTest, WithoutHostNamesTheFlagsDecideInDesignatorOrder) {
  dbxhost::Design design = dbxhost::makeSyntheticDesign(1, 12, false);
  for (auto& component : design.pcb.components) {
    if (component.refDes == "C10" || component.refDes == "C2") component.highlight = 3;
  }
  HostWithoutHighlightWalk host(std::move(design));
  DBX::Design dbx(host);
  dbx.selectTool(DBX::kToolPcb);
  page.LoadDesign(dbx);
  std::vector<DBX::Component*> highlighted;
  page.GetHighlightedComponents(highlighted);
  ASSERT_EQ(highlighted.size(), 2u);
  EXPECT_EQ(DBX_18::getText(highlighted[0]->record.refDes), "C2");
  EXPECT_EQ(DBX_18::getText(highlighted[1]->record.refDes), "C10");
}

// ---- Group list for placement ----

TEST_F(GroupSelectorTest, PlacementListNamesPackagesOncePerRow) {
  boards::Loaded quad(dbxhost::readDesignFile(kExamples + "/quad-preamp.json"), DBX::kToolSch);
  load(quad);
  std::vector<std::string> names;
  int perGroup = -7;
  page.GetPlacementList(names, perGroup);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(perGroup, -7);  // no groups: untouched

  page.SetTemplateRow(quad.components({"U1:A", "U1:B", "R1"}), -1, false);
  page.SetGroupRow(quad.components({"R4", "U2:A"}), 0, 2, false, -1);
  page.GetPlacementList(names, perGroup);
  EXPECT_EQ(names, (Names{"U1", "R1", "R4", "U2", ""}));
  EXPECT_EQ(perGroup, 3);

  // One package split over two rows stands in the run of each.
  page.LoadDesign(quad.design);
  page.SetTemplateRow(quad.components({"U1:A", "R1", "U2:A"}), -1, false);
  page.SetGroupRow(quad.components({"U1:B", "R4", "U2:B"}), 0, 3, false, -1);
  names.clear();
  page.GetPlacementList(names, perGroup);
  EXPECT_EQ(names, (Names{"U1", "R1", "U2", "U1", "R4", "U2"}));
  EXPECT_EQ(perGroup, 3);
}

// ---- Fill By Sheets ----

class SheetsTest : public GroupSelectorTest {
 protected:
  void loadSheets(dbxhost::Design design) {
    sch = std::make_unique<boards::Loaded>(std::move(design), DBX::kToolSch);
    load(*sch);
    page.chooseSheetSet = [this](const SelectSheetVars& vars) {
      shownSets.push_back(vars.setSheetNames);
      return sheetAnswer;
    };
  }
  static dbxhost::Design threeSheets() {
    dbxhost::Design design = dbxhost::makeSyntheticDesign(3, 3, true);
    design.sch.sheets[0].name = "Sheet2";
    design.sch.sheets[1].name = "Sheet10";
    design.sch.sheets[2].name = "Sheet3";
    return design;
  }

  std::unique_ptr<boards::Loaded> sch;
  std::vector<Names> shownSets;
  std::optional<TGroupSelector::SheetSetChoice> sheetAnswer;
};

TEST_F(SheetsTest, OneSetFillsTheTableWithoutAsking) {
  loadSheets(threeSheets());
  page.FillBySheetButtonClick();
  EXPECT_TRUE(shownSets.empty());
  EXPECT_EQ(row(1), (Names{"R1", "C2", "R3", ""}));  // Sheet2
  EXPECT_EQ(row(2), (Names{"R7", "C8", "R9", ""}));  // Sheet3
  EXPECT_EQ(row(3), (Names{"R4", "C5", "R6", ""}));  // Sheet10
  EXPECT_EQ(page.GrItems().rowCount(), 5);
  EXPECT_EQ(page.CompList().size(), 0u);
  EXPECT_EQ(page.TemplateGraph().size(), 3u);
  EXPECT_EQ(completions.back(), true);
  EXPECT_EQ(ui.waitDepth, 0);
}

TEST_F(SheetsTest, ShiftShowsTheSetsAndTheChosenSheetBecomesTheTemplate) {
  loadSheets(threeSheets());
  ui.shift = true;
  sheetAnswer = TGroupSelector::SheetSetChoice{0, 2};  // Sheet10
  page.FillBySheetButtonClick();
  ASSERT_EQ(shownSets.size(), 1u);
  EXPECT_EQ(shownSets[0], (Names{"Sheet2", "Sheet3", "Sheet10"}));
  EXPECT_EQ(row(1), (Names{"R4", "C5", "R6", ""}));
  EXPECT_EQ(row(2), (Names{"R1", "C2", "R3", ""}));
  EXPECT_EQ(row(3), (Names{"R7", "C8", "R9", ""}));
  EXPECT_EQ(page.GrItems().rowCount(), 5);
}

TEST_F(SheetsTest, CancelledChoiceChangesNothing) {
  loadSheets(threeSheets());
  ui.shift = true;
  page.FillBySheetButtonClick();
  EXPECT_EQ(shownSets.size(), 1u);
  EXPECT_EQ(page.GrItems().rowCount(), 2);
  EXPECT_EQ(page.CompList().size(), 9u);
}

TEST_F(SheetsTest, NoRepeatedSheetsIsReported) {
  loadSheets(dbxhost::makeSyntheticDesign(3, 3, false));
  page.FillBySheetButtonClick();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "No Macro Sheets found!");
  EXPECT_EQ(page.GrItems().rowCount(), 2);
}

TEST_F(SheetsTest, ExistingGroupsAreRemovedOnlyAfterConfirmation) {
  loadSheets(threeSheets());
  page.SetTemplateRow(sch->components({"R9"}), -1, false);
  page.FillBySheetButtonClick();  // the scripted answer is Cancel
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(ui.questions[0], "All Components Groups will be removed! Continue?");
  EXPECT_EQ(row(1), (Names{"R9", ""}));
  ui.answers.push_back(true);
  page.FillBySheetButtonClick();
  EXPECT_EQ(page.GrItems().rowCount(), 5);
  EXPECT_EQ(row(2), (Names{"R7", "C8", "R9", ""}));
}

// Groups without a template would otherwise keep components that the sheets
// place a second time.
TEST_F(SheetsTest, GroupsWithoutATemplateAlsoAskFirst) {
  loadSheets(threeSheets());
  page.SetTemplateRow(sch->components({"R9"}), -1, false);
  page.SetGroupRow(sch->components({"R1"}), 0, 1, false, -1);
  page.ClearCell(1, 1);
  page.CompactTable();
  ASSERT_TRUE(page.TemplateGraph().empty());
  ui.answers.push_back(true);
  page.FillBySheetButtonClick();
  EXPECT_EQ(ui.questions.size(), 1u);
  int r1Cells = 0;
  for (int r = 1; r < page.GrItems().rowCount(); ++r) {
    for (int c = 1; c < page.GrItems().colCount(); ++c) {
      r1Cells += page.GrItems().cell(r, c).component == (*sch)["R1"];
    }
  }
  EXPECT_EQ(r1Cells, 1);
}

TEST_F(SheetsTest, ConfirmedRemovalStaysEvenWithoutSets) {
  loadSheets(dbxhost::makeSyntheticDesign(2, 3, false));
  page.SetTemplateRow(sch->components({"R1"}), -1, false);
  ui.answers.push_back(true);
  page.FillBySheetButtonClick();
  EXPECT_EQ(ui.boxes.back().text, "No Macro Sheets found!");
  EXPECT_EQ(page.GrItems().rowCount(), 2);
  EXPECT_EQ(page.CompList().size(), 6u);
}

TEST_F(SheetsTest, TwoMacrosOfferTwoSets) {
  // Channels 1, 2 and 3, 4 on sheets; the second pair's parts differ in value.
  dbxhost::Design design = dbxhost::makeSyntheticDesign(4, 2, true);
  for (std::size_t i = 4; i < 8; ++i) design.sch.components[i].value += "x";
  loadSheets(std::move(design));
  sheetAnswer = TGroupSelector::SheetSetChoice{1, 0};
  page.FillBySheetButtonClick();
  ASSERT_EQ(shownSets.size(), 1u);
  EXPECT_EQ(shownSets[0], (Names{"Channel1", "Channel2", "Channel3", "Channel4"}));
  EXPECT_EQ(page.GrItems().rowCount(), 4);
}

// ---- Logging of variant generation ----

class LoggedTest : public GroupSelectorTest {
 protected:
  LoggedTest() {
    std::filesystem::create_directories(folder);
    diag::restartLogForTesting((folder / "tndr.log").string());
  }
  ~LoggedTest() override { std::filesystem::remove_all(folder); }
  std::string logText() const {
    std::ifstream in(folder / "tndr.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("tandrel-groups-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
       ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

TEST_F(LoggedTest, TemplateIsNotLoggedAndEachGenerationOnce) {
  boards::Loaded flat(dbxhost::readDesignFile(kExamples + "/flat-3ch.json"), DBX::kToolPcb);
  load(flat);
  page.AddGroup(flat.components({"J1", "R1"}));
  EXPECT_EQ(logText().find("Start variant generation"), std::string::npos);
  page.AddGroup(flat.components({"J2", "R4"}));
  const std::string text = logText();
  EXPECT_NE(text.find("Start variant generation"), std::string::npos);
  EXPECT_EQ(text.find("interchangeable"), std::string::npos);
}

TEST_F(LoggedTest, CollapsedTwinsAreAddedAtOnceWithOneLogLine) {
  const boards::ChannelBoard layout{2, 4, {10, 10}, true};
  boards::Loaded board(boards::makeChannelBoard(layout), DBX::kToolPcb);
  load(board);
  page.AddGroup(board.components(boards::channelRefDes(layout, 1)));
  page.AddGroup(board.components(boards::channelRefDes(layout, 2)));
  EXPECT_TRUE(offered.empty());
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(page.GrItems().rowCount(), 4);
  EXPECT_EQ(page.GrItems().group(2), board.components(boards::channelRefDes(layout, 2)));
  EXPECT_NE(logText().find("20 interchangeable parts were assigned in reference order"),
            std::string::npos);
}

TEST_F(LoggedTest, ChosenClosestGroupLogsItsDifferences) {
  std::mt19937 random(7);
  const boards::RewiredChannels channels = boards::makeRewiredChannels(random, 12, 5, 2);
  boards::Loaded board(channels.design, DBX::kToolPcb);
  load(board);
  page.AddGroup(board.components(boards::randomChannelRefDes(channels.design, 0, 12)));
  closestAnswer = 0;
  page.AddGroup(board.components(boards::randomChannelRefDes(channels.design, 1, 12)));
  ASSERT_EQ(closestOffered.size(), 1u);
  const auto& chosen = closestOffered[0].candidates[0];
  const std::string text = logText();
  EXPECT_NE(text.find("G2 added with " + std::to_string(chosen.differences.size()) +
                      " pins wired differently from the template:"),
            std::string::npos)
      << text;
  for (const auto& difference : chosen.differences) {
    EXPECT_NE(text.find(difference.text()), std::string::npos) << difference.text();
  }
}

TEST_F(LoggedTest, BeyondTheLimitTheMessageNamesTheFirstDifferingPin) {
  std::mt19937 random(5);
  const boards::RewiredChannels channels = boards::makeRewiredChannels(random, 14, 5, 6);
  boards::Loaded board(channels.design, DBX::kToolPcb);
  load(board);
  page.AddGroup(board.components(boards::randomChannelRefDes(channels.design, 0, 14)));
  page.AddGroup(board.components(boards::randomChannelRefDes(channels.design, 1, 14)));
  EXPECT_TRUE(closestOffered.empty());
  ASSERT_EQ(ui.boxes.size(), 1u);
  const std::string& text = ui.boxes[0].text;
  const std::string start =
      "Sorry, components doesn't match original components and nets\nProblematic component: Q";
  EXPECT_EQ(text.substr(0, start.size()), start) << text;
  const auto pinLine = text.find("\nFirst differing pin: Q");
  ASSERT_NE(pinLine, std::string::npos) << text;
  EXPECT_NE(text.find(" in the template, ", pinLine), std::string::npos) << text;
  EXPECT_EQ(page.GrItems().rowCount(), 3);
}

TEST_F(LoggedTest, CollapsedTwinsFollowTheTemplatesReferenceOrder) {
  const boards::ChannelBoard layout{2, 4, {10, 10}, true};
  boards::Loaded board(boards::makeChannelBoard(layout), DBX::kToolPcb);
  load(board);
  page.AddGroup(board.components(boards::channelRefDes(layout, 1)));
  const Components copy = board.components(boards::channelRefDes(layout, 2));
  page.AddGroup(Components(copy.rbegin(), copy.rend()));
  EXPECT_TRUE(ui.boxes.empty());
  // CD1 -> CD21, CD2 -> CD22, ... although the copy was listed backwards.
  EXPECT_EQ(page.GrItems().group(2), copy);
}

}  // namespace
