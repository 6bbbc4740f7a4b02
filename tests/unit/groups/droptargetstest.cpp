#include "groups/droptargets.h"

#include <gtest/gtest.h>

#include <random>

#include "boards.h"
#include "groups/groupselector.h"
#include "literalmatching.h"
#include "scriptedui.h"

namespace {

void expectSameTargets(const DropTargets& actual, const DropTargets& expected) {
  ASSERT_EQ(actual.targets.size(), expected.targets.size());
  for (const auto& [key, info] : expected.targets) {
    const auto found = actual.targets.find(key);
    ASSERT_NE(found, actual.targets.end())
        << "row " << CellKeyRow(key) << " column " << CellKeyColumn(key);
    EXPECT_EQ(found->second, info) << "row " << CellKeyRow(key) << " column " << CellKeyColumn(key);
  }
  EXPECT_EQ(actual.conflictCells, expected.conflictCells);
}

TEST(CellKeyTest, PacksRowAndColumn) {
  EXPECT_EQ(MakeCellKey(1, 1), 0u);
  EXPECT_EQ(MakeCellKey(3, 5), (2u << 16) + 4u);
  EXPECT_EQ(CellKeyRow(MakeCellKey(40, 700)), 40);
  EXPECT_EQ(CellKeyColumn(MakeCellKey(40, 700)), 700);
}

TEST(DropTargetsTest, NoComponentNoTargets) {
  GroupTable table;
  NetGraph templateGraph;
  const DropTargets targets = FindDropTargets(table, templateGraph, nullptr);
  EXPECT_TRUE(targets.targets.empty());
  EXPECT_TRUE(targets.conflictCells.empty());
}

// Random tables of channel copies built through the page's own operations;
// the dragged component comes from the list or from a cell (a template
// cell's item then missing from the template, as during a drag).
TEST(DropTargetsPropertyTest, EqualTheLiteralSearchOnRandomTables) {
  testing_diag::ScriptedUi ui;
  std::mt19937 random(99);
  constexpr int kChannels = 5;
  constexpr int kParts = 6;
  int withConflicts = 0;
  int targetCount = 0;
  for (int design = 0; design < 15; ++design) {
    dbxhost::Design source = boards::makeRandomChannels(random, kChannels, kParts, 3);
    boards::Loaded board(source, DBX::kToolPcb);
    TGroupSelector page;
    page.InitGrid();
    page.LoadDesign(board.design);
    auto listed = [&] {
      const auto& entries = page.CompList().entries();
      return entries[random() % entries.size()].component;
    };
    page.SetTemplateRow(board.components(boards::randomChannelRefDes(source, 0, kParts)), -1,
                        false);
    for (int c = 1; c < kChannels; ++c) {
      const auto copy = board.components(boards::randomChannelRefDes(source, c, kParts));
      const int row = page.GrItems().rowCount() - 1;
      for (int i = 0; i < kParts; ++i) {
        const auto choice = random() % 6;
        DBX::Component* component = choice == 0 ? nullptr : choice == 1 ? listed() : copy[i];
        if (component != nullptr && page.CompList().contains(component)) {
          page.SetCell(row, i + 1, component);
        }
      }
      page.CompactTable();
    }
    for (int clear = 0; clear < 3; ++clear) {
      page.ClearCell(1 + int(random() % uint32_t(page.GrItems().rowCount() - 1)),
                     1 + int(random() % uint32_t(page.GrItems().colCount() - 1)));
    }
    if (random() % 2 == 0) page.CompactTable();
    for (int drag = 0; drag < 12; ++drag) {
      NetGraph templateGraph = page.TemplateGraph();
      DBX::Component* dragged = nullptr;
      if (random() % 2 == 0 && page.CompList().size() > 0) {
        dragged = listed();
      } else {
        const int row = 1 + int(random() % uint32_t(page.GrItems().rowCount() - 1));
        const int column = 1 + int(random() % uint32_t(page.GrItems().colCount() - 1));
        dragged = page.GrItems().cell(row, column).component;
        if (dragged == nullptr) continue;
        if (row == 1) templateGraph.RemoveItem(uint32_t(column - 1));
      }
      const DropTargets expected =
          literal::ComputeDropTargets(page.GrItems(), templateGraph, dragged);
      const DropTargets actual = FindDropTargets(page.GrItems(), templateGraph, dragged);
      expectSameTargets(actual, expected);
      if (HasFatalFailure()) return;
      targetCount += int(expected.targets.size());
      withConflicts += int(expected.conflictCells.size());
    }
  }
  EXPECT_GT(targetCount, 300);
  EXPECT_GT(withConflicts, 100);
}

}  // namespace

namespace {

// A table of 64 channels x 50 parts, built from the copies with some cells
// left out or taken by other parts, so that rows agree and disagree at scale.
TEST(DropTargetsPropertyTest, EqualTheLiteralSearchOnALargeTable) {
  testing_diag::ScriptedUi ui;
  std::mt19937 random(64);
  constexpr int kChannels = 64;
  constexpr int kParts = 50;
  dbxhost::Design source = boards::makeRandomChannels(random, kChannels, kParts, 12);
  boards::Loaded board(source, DBX::kToolPcb);
  TGroupSelector page;
  page.InitGrid();
  page.LoadDesign(board.design);
  page.SetTemplateRow(board.components(boards::randomChannelRefDes(source, 0, kParts)), -1, false);
  for (int c = 1; c < kChannels; ++c) {
    const auto copy = board.components(boards::randomChannelRefDes(source, c, kParts));
    const int row = page.GrItems().rowCount() - 1;
    for (int i = 0; i < kParts; ++i) {
      const auto choice = random() % 40;
      DBX::Component* component =
          copy[static_cast<std::size_t>(choice == 1 ? (i + 1) % kParts : i)];
      if (choice != 0 && page.CompList().contains(component)) page.SetCell(row, i + 1, component);
    }
    page.CompactTable();
  }
  int targetCount = 0;
  int conflictCount = 0;
  for (int drag = 0; drag < 2; ++drag) {
    const auto& entries = page.CompList().entries();
    DBX::Component* dragged = entries[random() % entries.size()].component;
    const DropTargets expected =
        literal::ComputeDropTargets(page.GrItems(), page.TemplateGraph(), dragged);
    const DropTargets actual = FindDropTargets(page.GrItems(), page.TemplateGraph(), dragged);
    expectSameTargets(actual, expected);
    targetCount += int(expected.targets.size());
    conflictCount += int(expected.conflictCells.size());
  }
  EXPECT_GT(targetCount, 3);
  EXPECT_GT(conflictCount, 0);
}

}  // namespace
