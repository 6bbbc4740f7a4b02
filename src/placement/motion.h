// One rigid motion of the board plane in host units: a turn about a pivot by
// any angle in tenths of a degree, an optional mirror as the host flips (left
// to right, about the vertical line through the pivot), then the pivot
// carried onto its target point. Placing
// a copy carries every template part, text and copper item by the copy's one
// motion, whether the copies stand in a grid or on their anchors.
#pragma once

#include <cstdint>

#include "dbx/dbx32.h"

namespace placement {

// Where a part stands and how it is turned, as its host record tells.
struct Pose {
  DBX::TPoint refPoint;
  bool flipped = false;
  int32_t rotationAng = 0;  // tenths of a degree, counter-clockwise
  static Pose Of(const DBX::TComponent& record);
  friend bool operator==(const Pose&, const Pose&) = default;
};

// Angle in tenths of a degree, brought into [0, 3600).
int32_t NormalizedAngle(int64_t tenths);

class Motion {
 public:
  // Leaves everything where it is.
  Motion() = default;
  // A plain shift.
  Motion(int32_t dx, int32_t dy) : target_{dx, dy} {}
  // The motion that takes a part standing as from to stand as to: turned by
  // the difference of their angles, mirrored when they lie on different
  // sides, and from's reference point onto to's.
  static Motion Between(const Pose& from, const Pose& to);

  bool Mirrors() const { return mirror_; }
  int32_t Turn() const { return turn_; }
  // Only a shift: every point moves by the same vector.
  bool IsShift() const { return turn_ == 0 && !mirror_; }

  // Each throws TandrelError naming what when a point leaves the host's
  // coordinate range.
  DBX::TPoint Apply(DBX::TPoint p, const char* what) const;
  // A part's pose after the motion: the host keeps the stored angle of a
  // flipped part turned the other way, since its mirror follows its turn.
  Pose Apply(const Pose& pose) const;
  // A text's angle is the direction it reads in, which a mirror reflects.
  DBX::TAttribute Apply(const DBX::TAttribute& text) const;
  // The smallest axis-aligned rectangle around the moved rectangle.
  DBX::TRect Bounds(const DBX::TRect& rect) const;

 private:
  DBX::TPoint pivot_;
  DBX::TPoint target_;  // where the pivot goes
  int32_t turn_ = 0;    // [0, 3600)
  bool mirror_ = false;
};

}  // namespace placement
