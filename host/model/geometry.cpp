#include "model/geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dbxhost {

namespace {

int32_t clampToInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

int32_t roundToUnit(double v) {
  return clampToInt32(std::llround(std::clamp(v, double(INT32_MIN), double(INT32_MAX))));
}

// (x, y) turned counter-clockwise by angle; exact for quarter turns.
void turn(int64_t& x, int64_t& y, int32_t angle, double& fx, double& fy, bool& exact) {
  switch (normalizeAngle(angle)) {
    case 0:
      exact = true;
      return;
    case 900:
      std::swap(x, y);
      x = -x;
      exact = true;
      return;
    case 1800:
      x = -x;
      y = -y;
      exact = true;
      return;
    case 2700:
      std::swap(x, y);
      y = -y;
      exact = true;
      return;
    default:
      break;
  }
  const double a = angle * std::numbers::pi / 1800.0;
  const double c = std::cos(a), s = std::sin(a);
  fx = x * c - y * s;
  fy = x * s + y * c;
  exact = false;
}

TPoint offsetPoint(TPoint origin, int64_t x, int64_t y, double fx, double fy, bool exact) {
  if (exact) return {clampToInt32(origin.x + x), clampToInt32(origin.y + y)};
  return {roundToUnit(origin.x + fx), roundToUnit(origin.y + fy)};
}

}  // namespace

int32_t normalizeAngle(int64_t tenths) {
  int64_t a = tenths % 3600;
  if (a < 0) a += 3600;
  return static_cast<int32_t>(a);
}

TPoint rotateAbout(TPoint p, TPoint centre, int32_t angle) {
  int64_t x = int64_t(p.x) - centre.x, y = int64_t(p.y) - centre.y;
  double fx = 0, fy = 0;
  bool exact = true;
  turn(x, y, angle, fx, fy, exact);
  return offsetPoint(centre, x, y, fx, fy, exact);
}

TPoint placePoint(const Placement& placement, TPoint local) {
  int64_t x = local.x, y = local.y;
  double fx = 0, fy = 0;
  bool exact = true;
  turn(x, y, placement.rotation, fx, fy, exact);
  if (placement.flipped) {
    x = -x;
    fx = -fx;
  }
  return offsetPoint(placement.refPoint, x, y, fx, fy, exact);
}

TPoint localPoint(const Placement& placement, TPoint p) {
  int64_t x = int64_t(p.x) - placement.refPoint.x, y = int64_t(p.y) - placement.refPoint.y;
  if (placement.flipped) x = -x;
  double fx = 0, fy = 0;
  bool exact = true;
  turn(x, y, -placement.rotation, fx, fy, exact);
  return offsetPoint({0, 0}, x, y, fx, fy, exact);
}

CompText carriedText(const CompText& text, const Placement& before, const Placement& after) {
  CompText carried = text;
  carried.at = placePoint(after, localPoint(before, text.at));
  // The text's direction relative to the pattern; a mirror reverses angles
  // (a left-right mirror turns angle a into 180 degrees - a).
  const int64_t local = before.flipped ? 1800 - int64_t(text.rotation) - before.rotation
                                       : int64_t(text.rotation) - before.rotation;
  carried.rotation = normalizeAngle(after.flipped ? 1800 - int64_t(after.rotation) - local
                                                  : after.rotation + local);
  if (before.flipped != after.flipped) carried.flipped = !text.flipped;
  return carried;
}

Placement moved(const Placement& placement, int32_t dx, int32_t dy) {
  Placement p = placement;
  p.refPoint = {clampToInt32(int64_t(p.refPoint.x) + dx), clampToInt32(int64_t(p.refPoint.y) + dy)};
  return p;
}

Placement flipped(const Placement& placement, TPoint about) {
  Placement p = placement;
  p.refPoint.x = clampToInt32(2 * int64_t(about.x) - p.refPoint.x);
  p.flipped = !p.flipped;
  return p;
}

Placement rotated(const Placement& placement, int32_t angle, TPoint about) {
  Placement p = placement;
  p.refPoint = rotateAbout(p.refPoint, about, angle);
  p.rotation = normalizeAngle(int64_t(p.rotation) + (p.flipped ? -int64_t(angle) : angle));
  return p;
}

TRect localExtent(const Pattern& pattern) {
  if (pattern.outline) return *pattern.outline;
  if (pattern.pads.empty()) return {};
  // In 64 bits: a pad at the edge of the coordinate range must not wrap.
  int64_t left = INT64_MAX, bottom = INT64_MAX, right = INT64_MIN, top = INT64_MIN;
  for (const PadDef& pad : pattern.pads) {
    const int64_t hw = pad.size.x / 2, hh = pad.size.y / 2;
    left = std::min(left, pad.at.x - hw);
    bottom = std::min(bottom, pad.at.y - hh);
    right = std::max(right, pad.at.x + hw);
    top = std::max(top, pad.at.y + hh);
  }
  return {{clampToInt32(left), clampToInt32(bottom)}, {clampToInt32(right), clampToInt32(top)}};
}

TRect placeRect(const Placement& placement, const TRect& local) {
  return polygonExtent({placePoint(placement, local.lowerLeft),
                        placePoint(placement, {local.upperRight.x, local.lowerLeft.y}),
                        placePoint(placement, local.upperRight),
                        placePoint(placement, {local.lowerLeft.x, local.upperRight.y})});
}

TRect polygonExtent(const std::vector<TPoint>& polygon) {
  if (polygon.empty()) return {};
  TRect r{polygon.front(), polygon.front()};
  for (const TPoint& p : polygon) {
    r.lowerLeft.x = std::min(r.lowerLeft.x, p.x);
    r.lowerLeft.y = std::min(r.lowerLeft.y, p.y);
    r.upperRight.x = std::max(r.upperRight.x, p.x);
    r.upperRight.y = std::max(r.upperRight.y, p.y);
  }
  return r;
}

std::vector<TPoint> padPositions(const Pattern& pattern, const Placement& placement) {
  std::vector<TPoint> out;
  out.reserve(pattern.pads.size());
  for (const PadDef& pad : pattern.pads) out.push_back(placePoint(placement, pad.at));
  return out;
}

}  // namespace dbxhost
