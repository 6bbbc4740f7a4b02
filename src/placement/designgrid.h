// Conversion between the host's absolute coordinates and the coordinates
// the user sees, which are relative to the design's relative grid origin
// while that grid is in use, and snapping to the current grid.
#pragma once

#include <cstdint>

#include "dbx/design.h"
#include "placement/designgeometry.h"

namespace placement {

enum class GridDirection : int {
  None = 0,        // only snaps
  ToRelative = 1,  // absolute host coordinate -> origin-relative
  ToAbsolute = 2,  // origin-relative -> absolute host coordinate
};

// Shifts p by the relative grid origin when the header says the relative
// grid is in use, then snaps each coordinate to the nearest multiple of
// gridStep (at least 1), halves rounding up, for negative values as for
// positive ones. Throws TandrelError when the result does not fit a host
// coordinate.
DesignPoint ToDesignGrid(const DBX::TDesign& header, int32_t gridStep, DesignPoint p,
                         GridDirection direction);

// The same on the header and grid step of a snapshot.
DesignPoint ToDesignGrid(const DBX::Design::DPack& pack, DesignPoint p, GridDirection direction);

// Snaps one coordinate to the nearest multiple of step, halves rounding up.
int64_t SnapToStep(int64_t value, int32_t step);

}  // namespace placement
