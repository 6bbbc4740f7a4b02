#include "placement/designgrid.h"

#include <algorithm>

namespace placement {

int64_t SnapToStep(int64_t value, int32_t step) {
  const int64_t g = std::max<int32_t>(step, 1);
  const int64_t shifted = value + g / 2;
  // Floor division: truncation would pull negative values toward zero and
  // snap -130 to 0 on a step of 100.
  int64_t quotient = shifted / g;
  if (shifted % g != 0 && shifted < 0) --quotient;
  return g * quotient;
}

DesignPoint ToDesignGrid(const DBX::TDesign& header, int32_t gridStep, DesignPoint p,
                         GridDirection direction) {
  int64_t x = p.x;
  int64_t y = p.y;
  if (header.isGridAbsolute == 0) {
    if (direction == GridDirection::ToRelative) {
      x -= header.relGridOrigin.x;
      y -= header.relGridOrigin.y;
    } else if (direction == GridDirection::ToAbsolute) {
      x += header.relGridOrigin.x;
      y += header.relGridOrigin.y;
    }
  }
  return {CheckedCoordinate(SnapToStep(x, gridStep), "Grid x coordinate"),
          CheckedCoordinate(SnapToStep(y, gridStep), "Grid y coordinate")};
}

DesignPoint ToDesignGrid(const DBX::Design::DPack& pack, DesignPoint p, GridDirection direction) {
  return ToDesignGrid(pack.header(), pack.gridStep(), p, direction);
}

}  // namespace placement
