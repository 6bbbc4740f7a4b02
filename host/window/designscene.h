// What the host's views draw, in design units: the PCB with its board outline,
// component outlines and pads, or one schematic sheet with its symbols and
// pins; and which drawn item lies under a point.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/design.h"
#include "window/viewtransform.h"

namespace dbxhost {

// A pad or a pin. Pins have no extent: their outline is empty and the view
// marks them at a fixed size on the screen.
struct SceneMark {
  std::vector<ViewPoint> outline;
  ViewPoint centre;
  std::string label;
};

// A PCB component or a schematic symbol.
struct SceneItem {
  int32_t id = 0;  // PcbComponent::id or Symbol::id
  std::string refDes;
  std::vector<ViewPoint> outline;  // closed polygon
  std::vector<SceneMark> marks;
  bool bottom = false;    // a PCB component on the bottom side
  int32_t highlight = 0;  // 0 or a DBX_COLOR_ code
  ViewBox box;            // around the outline and the marks
};

// A copper item: a track (an arc drawn as a polyline), a via or a zone's
// outline. depth orders the layers: 0 the top copper layer, growing to the
// bottom; vias stand on the top.
struct SceneCopper {
  enum Kind { kTrack, kVia, kZone };
  Kind kind = kTrack;
  int depth = 0;
  bool bottom = false;            // on the bottom copper layer
  std::vector<ViewPoint> points;  // track: the path; via: its centre; zone: the outline
  double width = 0;               // track width or via diameter
};

struct Scene {
  std::vector<ViewPoint> boardOutline;  // closed polygon; empty when unknown
  std::vector<SceneCopper> copper;      // drawn from the bottom layer up
  std::vector<SceneItem> items;         // in design order
  ViewBox bounds;                       // everything drawn
};

// Copper is drawn by layer, the bottom layer first, each layer's zones
// before its tracks, and vias last.
// Component outlines are the pattern's outline (else its pads' extent)
// placed like the pads, so they turn and mirror with the component.
Scene pcbScene(const Design& design);
// The symbols on one sheet with the pins of their part.
Scene sheetScene(const Design& design, int32_t sheetId);

// The item under a design point: one whose outline or a pad holds the point,
// or passes within tolerance of it. Where several do, the smallest outline
// wins, so that a small part drawn over a large one stays reachable; nullptr
// when there is none.
const SceneItem* itemAt(const Scene& scene, ViewPoint point, double tolerance);

}  // namespace dbxhost
