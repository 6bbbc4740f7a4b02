// The grid in which the groups are placed: one cell per group, each cell the
// template group's footprint plus a gap, the template in one corner or the
// grid at a point of the user's choosing.
#pragma once

#include <cstdint>
#include <optional>

#include "placement/designgeometry.h"

namespace placement {

// The grid configuration as the page's fields give it. Lengths and the
// origin are origin-relative database units.
struct PlacementGrid {
  uint32_t rows = 0;
  uint32_t cols = 0;
  int32_t gapX = 0;
  int32_t gapY = 0;
  int32_t deltaX = 0;  // column to column distance
  int32_t deltaY = 0;  // row to row distance
  RectCorner corner = RectCorner::LeftBottom;
  DesignPoint origin;  // left-bottom of the grid, for Unrelated only
};

// The rows (columns) that go with a number of columns (rows) for a count of
// groups, so that the grid holds them all: 1 for a count of at least the
// groups (also for an invalid one), the groups themselves for 0 or 1.
uint32_t CompanionCount(std::optional<uint32_t> given, uint32_t groups);

// Rows of a fresh page: the integer square root of the groups.
uint32_t InitialRows(uint32_t groups);

// The rectangle covered by the whole grid: width deltaX x cols - gapX, height
// deltaY x rows - gapY, its corner on the same corner of the template's
// footprint, or its left-bottom on the origin for Unrelated. Nothing when it
// does not fit the host's coordinates.
std::optional<DesignRect> GridRect(const PlacementGrid& grid, const DesignRect& itemRect);

// Where the left-bottom corner of the footprint of the group in cell k goes.
// Cells run along rows of cols cells away from the template's corner; with
// Unrelated the grid holds only the other groups, so k = 1 takes the first
// cell at the origin. Throws std::invalid_argument for cols 0 or, with
// Unrelated, k = 0, and TandrelError when the cell lies outside the host's
// coordinates.
DesignPoint CellPosition(const PlacementGrid& grid, const DesignRect& itemRect, uint32_t k);

}  // namespace placement
