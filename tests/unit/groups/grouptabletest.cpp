#include "groups/grouptable.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

DBX::Component* fake(int n) {
  return reinterpret_cast<DBX::Component*>(static_cast<intptr_t>(n) * 16);
}

TEST(GroupTableTest, StartsAsTwoByTwo) {
  GroupTable table;
  EXPECT_EQ(table.colCount(), 2);
  EXPECT_EQ(table.rowCount(), 2);
  EXPECT_TRUE(table.isDataCell(1, 1));
  EXPECT_FALSE(table.isDataCell(0, 1));
  EXPECT_FALSE(table.isDataCell(1, 0));
  EXPECT_FALSE(table.isDataCell(2, 1));
  EXPECT_TRUE(table.cell(1, 1).empty());
}

TEST(GroupTableTest, RefusesCellsOutsideAndFewerThanTwoLines) {
  GroupTable table;
  EXPECT_THROW(table.cell(2, 1), std::out_of_range);
  EXPECT_THROW(table.cell(1, -1), std::out_of_range);
  EXPECT_THROW(table.setColCount(1), std::invalid_argument);
  EXPECT_THROW(table.setRowCount(0), std::invalid_argument);
  EXPECT_EQ(table.colCount(), 2);
}

TEST(GroupTableTest, ResizingKeepsCellsAndGroupSkipsTheSpareColumn) {
  GroupTable table;
  table.setColCount(4);
  table.setRowCount(3);
  table.cell(1, 1) = {"R1", fake(1)};
  table.cell(1, 3) = {"R9", fake(9)};
  table.cell(2, 2) = {"C1", fake(2)};
  EXPECT_EQ(table.group(1), (ComponentGroup{fake(1), nullptr}));
  EXPECT_EQ(table.group(2), (ComponentGroup{nullptr, fake(2)}));
  table.setRowCount(5);
  table.setColCount(3);
  EXPECT_EQ(table.cell(1, 1).text, "R1");
  EXPECT_EQ(table.cell(2, 2).component, fake(2));
  EXPECT_TRUE(table.cell(4, 2).empty());
  EXPECT_THROW(table.cell(1, 3), std::out_of_range);
}

}  // namespace
