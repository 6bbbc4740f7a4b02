#include "placement/designgeometry.h"

#include <algorithm>
#include <limits>
#include <string>

#include "diag/tandrelerror.h"

namespace placement {

int32_t CheckedCoordinate(int64_t value, const char* what) {
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    throw TandrelError(std::string(what) + " " + std::to_string(value) +
                       " lies outside the host's coordinate range");
  }
  return static_cast<int32_t>(value);
}

int32_t DesignRect::Width() const {
  return IsEmpty() ? 0 : CheckedCoordinate(int64_t{right} - left, "Width");
}

int32_t DesignRect::Height() const {
  return IsEmpty() ? 0 : CheckedCoordinate(int64_t{top} - bottom, "Height");
}

WideCorner LeftBottomFor(RectCorner corner, DesignPoint p, int64_t width, int64_t height) {
  const bool atRight = corner == RectCorner::RightBottom || corner == RectCorner::RightTop;
  const bool atTop = corner == RectCorner::LeftTop || corner == RectCorner::RightTop;
  return {atRight ? p.x - width : int64_t{p.x}, atTop ? p.y - height : int64_t{p.y}};
}

DesignPoint DesignRect::Corner(RectCorner corner) const {
  if (corner == RectCorner::Unrelated) return {-1, -1};
  if (IsEmpty()) return {0, 0};
  switch (corner) {
    case RectCorner::LeftBottom:
      return {left, bottom};
    case RectCorner::LeftTop:
      return {left, top};
    case RectCorner::RightBottom:
      return {right, bottom};
    default:
      return {right, top};
  }
}

void DesignRect::MoveCornerTo(RectCorner corner, DesignPoint p) {
  if (IsEmpty() || corner == RectCorner::Unrelated) return;
  const int64_t width = int64_t{right} - left;
  const int64_t height = int64_t{top} - bottom;
  const WideCorner at = LeftBottomFor(corner, p, width, height);
  // Checked as a whole first, so that a failed move leaves the rectangle.
  const DesignRect moved{
      CheckedCoordinate(at.x, "Left edge"), CheckedCoordinate(at.y, "Bottom edge"),
      CheckedCoordinate(at.x + width, "Right edge"), CheckedCoordinate(at.y + height, "Top edge")};
  *this = moved;
}

void DesignRect::Unite(const DesignRect& other) {
  if (other.IsEmpty()) return;
  if (IsEmpty()) {
    *this = other;
    return;
  }
  left = std::min(left, other.left);
  bottom = std::min(bottom, other.bottom);
  right = std::max(right, other.right);
  top = std::max(top, other.top);
}

}  // namespace placement
