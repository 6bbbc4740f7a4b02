#include "placement/placementgrid.h"

#include <limits>
#include <stdexcept>

namespace placement {

namespace {

bool fits(int64_t value) {
  return value >= std::numeric_limits<int32_t>::min() &&
         value <= std::numeric_limits<int32_t>::max();
}

}  // namespace

uint32_t CompanionCount(std::optional<uint32_t> given, uint32_t groups) {
  if (!given) return 1;
  if (*given <= 1) return groups;
  if (*given >= groups) return 1;
  return (groups + *given - 1) / *given;
}

uint32_t InitialRows(uint32_t groups) {
  uint32_t root = 0;
  while (uint64_t{root + 1} * (root + 1) <= groups) ++root;
  return root;
}

std::optional<DesignRect> GridRect(const PlacementGrid& grid, const DesignRect& itemRect) {
  const int64_t width = int64_t{grid.deltaX} * grid.cols - grid.gapX;
  const int64_t height = int64_t{grid.deltaY} * grid.rows - grid.gapY;
  const DesignPoint anchor =
      grid.corner == RectCorner::Unrelated ? grid.origin : itemRect.Corner(grid.corner);
  const WideCorner at = LeftBottomFor(grid.corner, anchor, width, height);
  const int64_t right = at.x + width;
  const int64_t top = at.y + height;
  if (!fits(width) || !fits(height) || !fits(at.x) || !fits(at.y) || !fits(right) || !fits(top)) {
    return std::nullopt;
  }
  return DesignRect{static_cast<int32_t>(at.x), static_cast<int32_t>(at.y),
                    static_cast<int32_t>(right), static_cast<int32_t>(top)};
}

DesignPoint CellPosition(const PlacementGrid& grid, const DesignRect& itemRect, uint32_t k) {
  if (grid.cols == 0) throw std::invalid_argument("A placement grid needs at least one column");
  const bool unrelated = grid.corner == RectCorner::Unrelated;
  if (unrelated) {
    if (k == 0) throw std::invalid_argument("The template group has no cell of an unrelated grid");
    --k;
  }
  const DesignPoint base = unrelated ? grid.origin : itemRect.Corner(RectCorner::LeftBottom);
  const bool towardsLeft =
      grid.corner == RectCorner::RightBottom || grid.corner == RectCorner::RightTop;
  const bool downwards = grid.corner == RectCorner::LeftTop || grid.corner == RectCorner::RightTop;
  const int64_t col = k % grid.cols;
  const int64_t row = k / grid.cols;
  const int64_t x = base.x + (towardsLeft ? -1 : 1) * col * grid.deltaX;
  const int64_t y = base.y + (downwards ? -1 : 1) * row * grid.deltaY;
  return {CheckedCoordinate(x, "Cell x coordinate"), CheckedCoordinate(y, "Cell y coordinate")};
}

}  // namespace placement
