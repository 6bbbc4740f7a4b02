// Placement arithmetic of the host: where a component's pads and bounding
// rectangle lie for a placement, and how moves, flips and rotations change a
// placement. Positions are rounded to whole database units; quarter turns are
// exact.
#pragma once

#include <cstdint>
#include <vector>

#include "model/design.h"

namespace dbxhost {

// Angle in tenths of a degree, brought into [0, 3600).
int32_t normalizeAngle(int64_t tenths);

// p turned counter-clockwise by angle (tenths of a degree) about centre.
TPoint rotateAbout(TPoint p, TPoint centre, int32_t angle);

// Where a point given relative to the pattern origin lands for a placement:
// refPoint + (flipped ? mirror left-right : identity) * Rot(rotation) * local.
TPoint placePoint(const Placement& placement, TPoint local);

// The point relative to the pattern origin that placePoint takes to p.
TPoint localPoint(const Placement& placement, TPoint p);

// A component's text after the component went from one placement to another:
// it keeps its place and angle relative to the component and changes side
// with it.
CompText carriedText(const CompText& text, const Placement& before, const Placement& after);

Placement moved(const Placement& placement, int32_t dx, int32_t dy);
// Mirrors left-right about the vertical line through about.x; the stored
// angle is kept, so the mirror is expressed by the flip state alone.
Placement flipped(const Placement& placement, TPoint about);
// Turns counter-clockwise by angle about a point. The stored angle grows for
// an unflipped component and shrinks for a flipped one, because the mirror is
// applied after the stored rotation.
Placement rotated(const Placement& placement, int32_t angle, TPoint about);

// The pattern's local extent: its outline, or the box around its pads.
TRect localExtent(const Pattern& pattern);

// Smallest axis-aligned rectangle around a local rectangle once placed.
TRect placeRect(const Placement& placement, const TRect& local);

// Smallest axis-aligned rectangle around a polygon; all zero for none.
TRect polygonExtent(const std::vector<TPoint>& polygon);

// Absolute pad centres in pattern pad order.
std::vector<TPoint> padPositions(const Pattern& pattern, const Placement& placement);

}  // namespace dbxhost
