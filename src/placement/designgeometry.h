// Points and rectangles in host database units, and the corners of a
// rectangle by which the placement grid is anchored.
#pragma once

#include <cstdint>

namespace placement {

struct DesignPoint {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const DesignPoint&, const DesignPoint&) = default;
};

// Where the template group sits in the grid; Unrelated puts the grid at a
// point of the user's choosing instead.
enum class RectCorner : int {
  LeftBottom = 0,
  LeftTop = 1,
  RightBottom = 2,
  RightTop = 3,
  Unrelated = 4,
};

// y grows upwards. All four values -1 mark the empty rectangle; the test
// looks at top only.
struct DesignRect {
  int32_t left = -1;
  int32_t bottom = -1;
  int32_t right = -1;
  int32_t top = -1;

  static DesignRect Empty() { return {}; }
  bool IsEmpty() const { return top == -1; }
  // Both 0 for an empty rectangle.
  int32_t Width() const;
  int32_t Height() const;

  // The point of the corner; (0, 0) for an empty rectangle and (-1, -1) for
  // Unrelated, which names no corner.
  DesignPoint Corner(RectCorner corner) const;
  // Moves the rectangle, keeping its size, so that its corner lies on p. An
  // empty rectangle, and Unrelated, leave it as it is. Throws TandrelError
  // when the result leaves the 32-bit coordinate range.
  void MoveCornerTo(RectCorner corner, DesignPoint p);
  // The smallest rectangle holding both; an empty one adds nothing.
  void Unite(const DesignRect& other);

  friend bool operator==(const DesignRect&, const DesignRect&) = default;
};

// Where the left-bottom corner of a w x h rectangle lies when its corner lies
// on p; Unrelated is taken as left-bottom.
struct WideCorner {
  int64_t x = 0;
  int64_t y = 0;
};
WideCorner LeftBottomFor(RectCorner corner, DesignPoint p, int64_t width, int64_t height);

// The value as a host coordinate, or TandrelError naming what when it does
// not fit one.
int32_t CheckedCoordinate(int64_t value, const char* what);

}  // namespace placement
