// The footprint of a group on the PCB: the union of its components'
// bounding rectangles in origin-relative grid coordinates.
#pragma once

#include <span>

#include "dbx/design.h"
#include "placement/designgeometry.h"

namespace placement {

// The PCB component of one item of a group; null when it is not on the PCB.
using CompInfo = DBX::Component*;

// A host rectangle as a DesignRect, empty when its top is -1.
DesignRect FromHostRect(const DBX::TRect& rect);

// The union of the bounding rectangles of the group's components as last
// read, each corner made origin-relative and snapped to the grid of the pack.
// Missing components, and rectangles that come out empty, add nothing; the
// result is empty when nothing is left.
DesignRect ItemRect(const DBX::Design::DPack& pack, std::span<const CompInfo> group);
// The union of the same rectangles in host coordinates, as they are.
DesignRect HostItemRect(std::span<const CompInfo> group);

}  // namespace placement
