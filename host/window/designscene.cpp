#include "window/designscene.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <numbers>

#include "model/geometry.h"

namespace dbxhost {

namespace {

// Half the side of the square drawn for a component whose pattern is unknown
// or for a symbol without any extent: 0.5 mm.
constexpr int32_t kPlaceholderHalf = 50000;

ViewPoint toView(TPoint p) { return {double(p.x), double(p.y)}; }

// p moved by (dx, dy), kept within the coordinate range.
TPoint shifted(TPoint p, int64_t dx, int64_t dy) {
  return {static_cast<int32_t>(std::clamp<int64_t>(p.x + dx, INT32_MIN, INT32_MAX)),
          static_cast<int32_t>(std::clamp<int64_t>(p.y + dy, INT32_MIN, INT32_MAX))};
}

std::vector<ViewPoint> placedRect(const Placement& placement, TPoint lowerLeft, TPoint upperRight) {
  const TPoint corners[] = {
      lowerLeft, {upperRight.x, lowerLeft.y}, upperRight, {lowerLeft.x, upperRight.y}};
  std::vector<ViewPoint> polygon;
  for (TPoint corner : corners) polygon.push_back(toView(placePoint(placement, corner)));
  return polygon;
}

std::vector<ViewPoint> rectPolygon(double left, double bottom, double right, double top) {
  return {{left, bottom}, {right, bottom}, {right, top}, {left, top}};
}

void addToBox(ViewBox& box, const std::vector<ViewPoint>& points) {
  for (ViewPoint p : points) box.add(p);
}

void finishItem(SceneItem& item, Scene& scene) {
  addToBox(item.box, item.outline);
  for (const SceneMark& mark : item.marks) {
    addToBox(item.box, mark.outline);
    item.box.add(mark.centre);
  }
  scene.bounds.add(item.box);
  scene.items.push_back(std::move(item));
}

bool holds(const std::vector<ViewPoint>& polygon, ViewPoint p) {
  bool inside = false;
  for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
    const ViewPoint a = polygon[i], b = polygon[j];
    if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) {
      inside = !inside;
    }
  }
  return inside;
}

double distanceToSegment(ViewPoint p, ViewPoint a, ViewPoint b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double lengthSquared = dx * dx + dy * dy;
  double t = lengthSquared > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / lengthSquared : 0;
  t = t < 0 ? 0 : (t > 1 ? 1 : t);
  return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// Whether the point lies in the polygon or within tolerance of its edges; a
// polygon of one point is a point.
bool near(const std::vector<ViewPoint>& polygon, ViewPoint p, double tolerance) {
  if (polygon.empty()) return false;
  if (holds(polygon, p)) return true;
  for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
    if (distanceToSegment(p, polygon[j], polygon[i]) <= tolerance) return true;
  }
  return false;
}

double area(const std::vector<ViewPoint>& polygon) {
  double twice = 0;
  for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
    twice += polygon[j].x * polygon[i].y - polygon[i].x * polygon[j].y;
  }
  return std::abs(twice) / 2;
}

bool namesPin(const std::string& pinDes) { return !pinDes.empty() && pinDes != "(unused)"; }

}  // namespace

namespace {

// Points along the arc from start through mid to end; a straight path when
// the three points lie on one line.
std::vector<ViewPoint> arcPath(const ArcTrack& arc) {
  const ViewPoint a = toView(arc.start), m = toView(arc.mid), b = toView(arc.end);
  const double d = 2 * (a.x * (m.y - b.y) + m.x * (b.y - a.y) + b.x * (a.y - m.y));
  if (d == 0) return {a, b};
  const double aa = a.x * a.x + a.y * a.y, mm = m.x * m.x + m.y * m.y, bb = b.x * b.x + b.y * b.y;
  const ViewPoint c{(aa * (m.y - b.y) + mm * (b.y - a.y) + bb * (a.y - m.y)) / d,
                    (aa * (b.x - m.x) + mm * (a.x - b.x) + bb * (m.x - a.x)) / d};
  const double r = std::hypot(a.x - c.x, a.y - c.y);
  const double start = std::atan2(a.y - c.y, a.x - c.x);
  const double twoPi = 2 * std::numbers::pi;
  auto sweepTo = [&](ViewPoint p) {
    return std::fmod(std::atan2(p.y - c.y, p.x - c.x) - start + 2 * twoPi, twoPi);
  };
  // Counter-clockwise when mid comes before end going counter-clockwise.
  double sweep = sweepTo(b);
  if (sweepTo(m) > sweep) sweep -= twoPi;
  constexpr int kSegments = 24;
  std::vector<ViewPoint> path;
  for (int i = 0; i <= kSegments; ++i) {
    const double t = start + sweep * i / kSegments;
    path.push_back({c.x + r * std::cos(t), c.y + r * std::sin(t)});
  }
  return path;
}

void addCopper(const Pcb& pcb, Scene& scene) {
  std::vector<int32_t> copperIds;
  for (const PcbLayer& layer : pcb.servedLayers())
    if (layer.copper) copperIds.push_back(layer.id);
  const auto depthOf = [&](int32_t layerId) {
    const auto it = std::find(copperIds.begin(), copperIds.end(), layerId);
    return int(it - copperIds.begin());
  };
  const int bottomDepth = int(copperIds.size()) - 1;
  const auto add = [&](SceneCopper::Kind kind, int32_t layerId, std::vector<ViewPoint> points,
                       double width) {
    // The board's drawings on silkscreen, fab and user layers are no copper.
    if (std::find(copperIds.begin(), copperIds.end(), layerId) == copperIds.end() &&
        kind != SceneCopper::kVia) {
      return;
    }
    SceneCopper item{kind, depthOf(layerId), depthOf(layerId) == bottomDepth, std::move(points),
                     width};
    for (ViewPoint p : item.points) {
      scene.bounds.add(ViewPoint{p.x - width / 2, p.y - width / 2});
      scene.bounds.add(ViewPoint{p.x + width / 2, p.y + width / 2});
    }
    scene.copper.push_back(std::move(item));
  };
  for (const Zone& z : pcb.zones) {
    std::vector<ViewPoint> outline;
    for (TPoint p : z.outline) outline.push_back(toView(p));
    for (int32_t layerId : z.layerIds) add(SceneCopper::kZone, layerId, outline, 0);
  }
  for (const Track& t : pcb.tracks)
    add(SceneCopper::kTrack, t.layerId, {toView(t.start), toView(t.end)}, t.width);
  for (const ArcTrack& a : pcb.arcs) add(SceneCopper::kTrack, a.layerId, arcPath(a), a.width);
  for (const Via& v : pcb.vias) {
    add(SceneCopper::kVia, copperIds.empty() ? 0 : copperIds.front(), {toView(v.at)}, v.diameter);
  }
  // Deepest layer first; within a layer zones, then tracks, then vias.
  std::stable_sort(scene.copper.begin(), scene.copper.end(),
                   [](const SceneCopper& x, const SceneCopper& y) {
                     if (x.kind == SceneCopper::kVia || y.kind == SceneCopper::kVia)
                       return x.kind != SceneCopper::kVia && y.kind == SceneCopper::kVia;
                     return x.depth > y.depth;
                   });
}

}  // namespace

Scene pcbScene(const Design& design) {
  Scene scene;
  for (TPoint p : design.pcb.boardOutline) scene.boardOutline.push_back(toView(p));
  addToBox(scene.bounds, scene.boardOutline);
  addCopper(design.pcb, scene);
  for (const PcbComponent& c : design.pcb.components) {
    SceneItem item;
    item.id = c.id;
    item.refDes = c.refDes;
    item.bottom = c.placement.flipped;
    item.highlight = c.highlight;
    const auto pattern = design.pcb.patterns.find(c.patternName);
    if (pattern == design.pcb.patterns.end()) {
      item.outline = placedRect(c.placement, {-kPlaceholderHalf, -kPlaceholderHalf},
                                {kPlaceholderHalf, kPlaceholderHalf});
    } else {
      const TRect extent = localExtent(pattern->second);
      item.outline = placedRect(c.placement, extent.lowerLeft, extent.upperRight);
      for (const PadDef& pad : pattern->second.pads) {
        const int64_t halfWidth = pad.size.x / 2, halfHeight = pad.size.y / 2;
        SceneMark mark;
        mark.outline = placedRect(c.placement, shifted(pad.at, -halfWidth, -halfHeight),
                                  shifted(pad.at, halfWidth, halfHeight));
        mark.centre = toView(placePoint(c.placement, pad.at));
        mark.label = pad.pinDes;
        item.marks.push_back(std::move(mark));
      }
    }
    finishItem(item, scene);
  }
  return scene;
}

Scene sheetScene(const Design& design, int32_t sheetId) {
  Scene scene;
  for (const Symbol& s : design.sch.symbols) {
    if (s.sheetId != sheetId) continue;
    SceneItem item;
    item.id = s.id;
    item.refDes = s.refDes;
    item.highlight = s.highlight;
    if (s.component < design.sch.components.size()) {
      for (const SchPin& pin : design.sch.components[s.component].pins) {
        if (pin.gateNumber != s.partNumber) continue;
        SceneMark mark;
        mark.centre = toView(pin.refPoint);
        if (namesPin(pin.pinDes)) mark.label = pin.pinDes;
        item.marks.push_back(std::move(mark));
      }
    }
    const TRect& r = s.boundRect;
    if (r.upperRight.x > r.lowerLeft.x && r.upperRight.y > r.lowerLeft.y) {
      item.outline = rectPolygon(r.lowerLeft.x, r.lowerLeft.y, r.upperRight.x, r.upperRight.y);
    } else {
      // No drawn extent: frame the pins and the reference point.
      ViewBox around;
      around.add(toView(s.refPoint));
      for (const SceneMark& mark : item.marks) around.add(mark.centre);
      item.outline = rectPolygon(around.left - kPlaceholderHalf, around.bottom - kPlaceholderHalf,
                                 around.right + kPlaceholderHalf, around.top + kPlaceholderHalf);
    }
    finishItem(item, scene);
  }
  return scene;
}

const SceneItem* itemAt(const Scene& scene, ViewPoint point, double tolerance) {
  const SceneItem* best = nullptr;
  double bestArea = std::numeric_limits<double>::infinity();
  for (const SceneItem& item : scene.items) {
    bool hit = near(item.outline, point, tolerance);
    for (std::size_t i = 0; !hit && i < item.marks.size(); ++i) {
      hit = near(item.marks[i].outline, point, tolerance);
    }
    if (!hit) continue;
    const double itemArea = area(item.outline);
    if (itemArea < bestArea) {
      best = &item;
      bestArea = itemArea;
    }
  }
  return best;
}

}  // namespace dbxhost
