#include "placement/placementgrid.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

#include "diag/tandrelerror.h"

namespace {

using placement::CellPosition;
using placement::CompanionCount;
using placement::DesignPoint;
using placement::DesignRect;
using placement::GridRect;
using placement::InitialRows;
using placement::PlacementGrid;
using placement::RectCorner;

TEST(PlacementGridTest, RowsAndColumnsFollowEachOther) {
  EXPECT_EQ(CompanionCount(4, 9), 3u);
  EXPECT_EQ(CompanionCount(9, 9), 1u);
  EXPECT_EQ(CompanionCount(1, 9), 9u);
  EXPECT_EQ(CompanionCount(0, 9), 9u);
  EXPECT_EQ(CompanionCount(std::nullopt, 9), 1u);
  EXPECT_EQ(CompanionCount(2, 9), 5u);
  EXPECT_EQ(CompanionCount(8, 9), 2u);
  EXPECT_EQ(CompanionCount(12, 9), 1u);
  EXPECT_EQ(CompanionCount(0, 0), 0u);
  EXPECT_EQ(CompanionCount(3, 2), 1u);
}

TEST(PlacementGridTest, AFreshGridIsAboutSquare) {
  struct Case {
    uint32_t groups, rows, cols;
  };
  const Case cases[] = {{0, 0, 0}, {1, 1, 1}, {2, 1, 2}, {3, 1, 3},  {4, 2, 2},
                        {5, 2, 3}, {8, 2, 4}, {9, 3, 3}, {10, 3, 4}, {1000000, 1000, 1000}};
  for (const Case& c : cases) {
    const uint32_t rows = InitialRows(c.groups);
    EXPECT_EQ(rows, c.rows) << c.groups;
    EXPECT_EQ(CompanionCount(rows, c.groups), c.cols) << c.groups;
  }
  EXPECT_EQ(InitialRows(std::numeric_limits<uint32_t>::max()), 65535u);
}

const DesignRect kItem{1000000, 2000000, 1254000, 2381000};  // 2.54 x 3.81

PlacementGrid gridOf(RectCorner corner, uint32_t rows, uint32_t cols) {
  PlacementGrid grid;
  grid.rows = rows;
  grid.cols = cols;
  grid.gapX = 100000;
  grid.gapY = 100000;
  grid.deltaX = 354000;
  grid.deltaY = 481000;
  grid.corner = corner;
  return grid;
}

TEST(PlacementGridTest, GridRectExtendsAwayFromTheTemplatesCorner) {
  // 3 columns: 3 x 3.54 - 1 = 9.62; 2 rows: 2 x 4.81 - 1 = 8.62.
  EXPECT_EQ(GridRect(gridOf(RectCorner::LeftBottom, 2, 3), kItem),
            (DesignRect{1000000, 2000000, 1962000, 2862000}));
  const auto rightTop = GridRect(gridOf(RectCorner::RightTop, 2, 3), kItem);
  ASSERT_TRUE(rightTop);
  EXPECT_EQ(rightTop->right, kItem.right);
  EXPECT_EQ(rightTop->top, kItem.top);
  EXPECT_EQ(rightTop->left, kItem.right - 962000);
  EXPECT_EQ(GridRect(gridOf(RectCorner::LeftTop, 2, 3), kItem),
            (DesignRect{1000000, 2381000 - 862000, 1962000, 2381000}));
  EXPECT_EQ(GridRect(gridOf(RectCorner::RightBottom, 2, 3), kItem),
            (DesignRect{1254000 - 962000, 2000000, 1254000, 2862000}));
}

TEST(PlacementGridTest, UnrelatedGridStartsAtTheOrigin) {
  PlacementGrid grid = gridOf(RectCorner::Unrelated, 1, 2);
  grid.origin = {1000000, 2000000};
  EXPECT_EQ(GridRect(grid, DesignRect{-5, -5, 5, 5}),
            (DesignRect{1000000, 2000000, 1608000, 2381000}));
}

TEST(PlacementGridTest, AGridBeyondTheHostsRangeHasNoRect) {
  PlacementGrid grid = gridOf(RectCorner::LeftBottom, 2, 3);
  grid.deltaX = std::numeric_limits<int32_t>::max();
  EXPECT_FALSE(GridRect(grid, kItem).has_value());
  grid = gridOf(RectCorner::RightTop, 3, 3);
  grid.deltaY = 1000000000;
  EXPECT_FALSE(GridRect(grid, kItem).has_value());
}

TEST(PlacementGridTest, CellsOfTheWorkedExample) {
  // Template at left-bottom, 3 columns, pitches 5.00 and 4.00.
  PlacementGrid grid = gridOf(RectCorner::LeftBottom, 3, 3);
  grid.deltaX = 500000;
  grid.deltaY = 400000;
  const DesignPoint base{kItem.left, kItem.bottom};
  auto at = [&](int col, int row) {
    return DesignPoint{base.x + col * 500000, base.y + row * 400000};
  };
  EXPECT_EQ(CellPosition(grid, kItem, 0), at(0, 0));
  EXPECT_EQ(CellPosition(grid, kItem, 1), at(1, 0));
  EXPECT_EQ(CellPosition(grid, kItem, 2), at(2, 0));
  EXPECT_EQ(CellPosition(grid, kItem, 3), at(0, 1));
  EXPECT_EQ(CellPosition(grid, kItem, 4), at(1, 1));
  EXPECT_EQ(CellPosition(grid, kItem, 6), at(0, 2));
}

TEST(PlacementGridTest, RightTopCellsRunLeftAndDown) {
  PlacementGrid grid = gridOf(RectCorner::RightTop, 3, 2);
  const DesignPoint base{kItem.left, kItem.bottom};
  EXPECT_EQ(CellPosition(grid, kItem, 1), (DesignPoint{base.x - 354000, base.y}));
  EXPECT_EQ(CellPosition(grid, kItem, 2), (DesignPoint{base.x, base.y - 481000}));
  EXPECT_EQ(CellPosition(grid, kItem, 3), (DesignPoint{base.x - 354000, base.y - 481000}));
  EXPECT_EQ(CellPosition(grid, kItem, 4), (DesignPoint{base.x, base.y - 962000}));
}

TEST(PlacementGridTest, LeftTopAndRightBottomMixTheDirections) {
  const DesignPoint base{kItem.left, kItem.bottom};
  EXPECT_EQ(CellPosition(gridOf(RectCorner::LeftTop, 2, 2), kItem, 3),
            (DesignPoint{base.x + 354000, base.y - 481000}));
  EXPECT_EQ(CellPosition(gridOf(RectCorner::RightBottom, 2, 2), kItem, 3),
            (DesignPoint{base.x - 354000, base.y + 481000}));
}

TEST(PlacementGridTest, UnrelatedCellsStartAtTheOriginWithTheFirstOtherGroup) {
  PlacementGrid grid = gridOf(RectCorner::Unrelated, 2, 2);
  grid.origin = {1000000, 2000000};
  EXPECT_EQ(CellPosition(grid, kItem, 1), (DesignPoint{1000000, 2000000}));
  EXPECT_EQ(CellPosition(grid, kItem, 2), (DesignPoint{1354000, 2000000}));
  EXPECT_EQ(CellPosition(grid, kItem, 3), (DesignPoint{1000000, 2481000}));
  EXPECT_THROW(CellPosition(grid, kItem, 0), std::invalid_argument);
}

TEST(PlacementGridTest, CellsNeedAColumnAndTheHostsRange) {
  EXPECT_THROW(CellPosition(gridOf(RectCorner::LeftBottom, 1, 0), kItem, 1), std::invalid_argument);
  PlacementGrid grid = gridOf(RectCorner::LeftBottom, 1, 1);
  grid.deltaY = std::numeric_limits<int32_t>::max();
  EXPECT_THROW(CellPosition(grid, kItem, 2), TandrelError);
  grid.corner = RectCorner::RightTop;
  EXPECT_THROW(CellPosition(grid, kItem, 3), TandrelError);
}

}  // namespace
