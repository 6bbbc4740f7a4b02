#include "placement/motion.h"

#include "placement/designgeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace placement {

namespace {

int64_t rounded(double value) {
  // Beyond the 64-bit range the checked coordinate refuses it anyway.
  return std::llround(std::clamp(value, -9.0e18, 9.0e18));
}

}  // namespace

Pose Pose::Of(const DBX::TComponent& record) {
  return {record.refPoint, record.isFlipped != 0, record.rotationAng};
}

int32_t NormalizedAngle(int64_t tenths) {
  int64_t angle = tenths % 3600;
  if (angle < 0) angle += 3600;
  return static_cast<int32_t>(angle);
}

Motion Motion::Between(const Pose& from, const Pose& to) {
  Motion motion;
  motion.pivot_ = from.refPoint;
  motion.target_ = to.refPoint;
  motion.mirror_ = from.flipped != to.flipped;
  // A flipped part's stored angle turns against the board's turns.
  const int64_t difference = int64_t{to.rotationAng} - from.rotationAng;
  motion.turn_ = NormalizedAngle(from.flipped ? -difference : difference);
  return motion;
}

DBX::TPoint Motion::Apply(DBX::TPoint p, const char* what) const {
  int64_t x = int64_t{p.x} - pivot_.x;
  int64_t y = int64_t{p.y} - pivot_.y;
  // Quarter turns stay exact; other angles round to the nearest unit.
  switch (turn_) {
    case 0:
      break;
    case 900:
      std::swap(x, y);
      x = -x;
      break;
    case 1800:
      x = -x;
      y = -y;
      break;
    case 2700:
      std::swap(x, y);
      y = -y;
      break;
    default: {
      const double angle = turn_ * std::numbers::pi / 1800.0;
      const double c = std::cos(angle);
      const double s = std::sin(angle);
      const auto fx = static_cast<double>(x);
      const auto fy = static_cast<double>(y);
      x = rounded(fx * c - fy * s);
      y = rounded(fx * s + fy * c);
    }
  }
  if (mirror_) x = -x;
  return {CheckedCoordinate(target_.x + x, what), CheckedCoordinate(target_.y + y, what)};
}

Pose Motion::Apply(const Pose& pose) const {
  const int64_t turn = pose.flipped ? -int64_t{turn_} : int64_t{turn_};
  return {Apply(pose.refPoint, "Part position"), pose.flipped != mirror_,
          NormalizedAngle(pose.rotationAng + turn)};
}

DBX::TAttribute Motion::Apply(const DBX::TAttribute& text) const {
  DBX::TAttribute moved = text;
  moved.refPoint = Apply(text.refPoint, "Text position");
  const int64_t turned = int64_t{text.rotationAng} + turn_;
  // A left-right mirror reads a direction of a as 180 degrees - a.
  moved.rotationAng = NormalizedAngle(mirror_ ? 1800 - turned : turned);
  if (mirror_) moved.isFlipped = text.isFlipped != 0 ? 0 : 1;
  return moved;
}

DBX::TRect Motion::Bounds(const DBX::TRect& rect) const {
  const DBX::TPoint corners[] = {Apply(rect.lowerLeft, "Outline corner"),
                                 Apply({rect.lowerLeft.x, rect.upperRight.y}, "Outline corner"),
                                 Apply({rect.upperRight.x, rect.lowerLeft.y}, "Outline corner"),
                                 Apply(rect.upperRight, "Outline corner")};
  DBX::TRect bounds{corners[0], corners[0]};
  for (const DBX::TPoint& corner : corners) {
    bounds.lowerLeft = {std::min(bounds.lowerLeft.x, corner.x),
                        std::min(bounds.lowerLeft.y, corner.y)};
    bounds.upperRight = {std::max(bounds.upperRight.x, corner.x),
                         std::max(bounds.upperRight.y, corner.y)};
  }
  return bounds;
}

}  // namespace placement
