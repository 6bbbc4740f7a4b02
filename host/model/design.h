// The design a host holds: one project with a schematic and a PCB, as read
// from a design file. Coordinates are host database units (100000 per display
// unit), angles tenths of a degree counter-clockwise.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "dbx/dbx32.h"

namespace dbxhost {

using DBX_18::TPoint;
using DBX_18::TRect;

struct Net {
  int32_t id = 0;  // > 0, unique
  std::string name;
  int32_t highlight = 0;  // 0 or a DBX_COLOR_ code
  friend bool operator==(const Net&, const Net&) = default;
};

struct Grid {
  int32_t id = 0;
  std::string spacing;  // as the host shows it: "1.27mm"
  friend bool operator==(const Grid&, const Grid&) = default;
};

struct Header {
  std::string designName;
  TRect workspace;
  int32_t absGridId = 0;
  int32_t relGridId = 0;
  bool isGridAbsolute = true;
  TPoint relGridOrigin;
  friend bool operator==(const Header&, const Header&) = default;
};

struct Sheet {
  int32_t id = 0;  // > 0, unique
  std::string name;
  friend bool operator==(const Sheet&, const Sheet&) = default;
};

struct SchPin {
  std::string pinDes;  // may be empty or "(unused)"
  std::string pinName;
  int32_t gateNumber = 1;
  int32_t netId = 0;  // 0: unconnected
  TPoint refPoint;    // on the sheet of its symbol
  friend bool operator==(const SchPin&, const SchPin&) = default;
};

struct SchComponent {
  int32_t id = 0;
  std::string refDes;  // bare: "U1"
  std::string compType;
  std::string value;
  std::string patternName;
  std::string libraryName;
  int32_t connectionType = DBX_18::DBX_COMPONENT_CONNECTION_NORMAL;
  int32_t numberParts = 1;
  std::vector<SchPin> pins;
  friend bool operator==(const SchComponent&, const SchComponent&) = default;
};

struct Symbol {
  int32_t id = 0;
  std::string refDes;  // with part suffix for multi-part components: "U1:A"
  int32_t partNumber = 1;
  int32_t sheetId = 0;
  TPoint refPoint;
  TRect boundRect;
  int32_t rotation = 0;
  bool flipped = false;
  int32_t highlight = 0;
  std::size_t component = 0;  // index into Schematic::components
  friend bool operator==(const Symbol&, const Symbol&) = default;
};

struct Schematic {
  Header header;
  std::vector<Grid> grids;
  std::vector<Sheet> sheets;
  std::vector<SchComponent> components;
  std::vector<Symbol> symbols;
  friend bool operator==(const Schematic&, const Schematic&) = default;
};

struct PadDef {
  std::string pinDes;
  TPoint at;                  // relative to the pattern origin, unrotated, top side
  TPoint size{50000, 50000};  // width, height (drawing only)
  friend bool operator==(const PadDef&, const PadDef&) = default;
};

struct Pattern {
  std::string name;
  std::vector<PadDef> pads;
  std::optional<TRect> outline;  // relative; the pads' extent when absent
  friend bool operator==(const Pattern&, const Pattern&) = default;
};

// A component's reference or value text, where it stands on the board.
// Component edits carry their texts along.
struct CompText {
  int32_t attrType = DBX_18::kAttrRefDes;
  TPoint at;             // absolute
  int32_t rotation = 0;  // absolute, [0, 3600)
  bool flipped = false;  // mirrored, on the bottom side
  int32_t layerId = 0;
  int32_t height = 100000;
  bool visible = true;
  friend bool operator==(const CompText&, const CompText&) = default;
};

// Where a component stands: pads and bounding rectangle follow from this and
// the pattern alone.
struct Placement {
  TPoint refPoint;
  int32_t rotation = 0;  // normalised to [0, 3600)
  bool flipped = false;
  friend bool operator==(const Placement&, const Placement&) = default;
};

struct PcbComponent {
  int32_t id = 0;
  std::string refDes;
  std::string compType;
  std::string value;
  std::string patternName;  // key into Pcb::patterns
  std::string libraryName;
  int32_t connectionType = DBX_18::DBX_COMPONENT_CONNECTION_NORMAL;
  int32_t numberParts = 1;
  Placement placement;
  int32_t highlight = 0;
  bool fixed = false;
  std::map<std::string, int32_t> padNets;  // pad designator -> net id
  std::vector<CompText> texts;             // at most one per attrType
  friend bool operator==(const PcbComponent&, const PcbComponent&) = default;
};

struct PcbLayer {
  int32_t id = 0;  // > 0, unique
  std::string name;
  bool copper = true;  // served as a signal layer
  friend bool operator==(const PcbLayer&, const PcbLayer&) = default;
};

// What every copper item has besides its shape. Ids are unique across all
// copper items of a board.
struct ItemInfo {
  int32_t id = 0;
  int32_t netId = 0;  // 0: on no net
  std::string group;  // the host group it belongs to; empty: none
  bool createdByClient = false;
  bool fixed = false;  // locked: a client cannot delete it
  // The item read from the design file whose attributes beyond shape, net
  // and id (a KiCad zone's fill rules, a teardrop's settings) this one
  // carries: its own id for an item read from such a file, its original's
  // for a copy; 0 none.
  int32_t sourceId = 0;
  friend bool operator==(const ItemInfo&, const ItemInfo&) = default;
};

struct Track {
  ItemInfo info;
  int32_t layerId = 0;
  int32_t width = 0;
  TPoint start;
  TPoint end;
  friend bool operator==(const Track&, const Track&) = default;
};

struct ArcTrack {
  ItemInfo info;
  int32_t layerId = 0;
  int32_t width = 0;
  TPoint start;
  TPoint mid;
  TPoint end;
  friend bool operator==(const ArcTrack&, const ArcTrack&) = default;
};

struct Via {
  ItemInfo info;
  TPoint at;
  int32_t diameter = 0;
  int32_t drill = 0;
  int32_t startLayerId = 0;
  int32_t endLayerId = 0;
  int32_t viaType = DBX_18::kViaThrough;
  friend bool operator==(const Via&, const Via&) = default;
};

// A copper zone or keepout area: its outline on one or more layers; served
// once per layer with the same id.
struct Zone {
  ItemInfo info;
  std::vector<int32_t> layerIds;
  int32_t priority = 0;
  bool keepout = false;
  std::vector<TPoint> outline;  // closed polygon
  friend bool operator==(const Zone&, const Zone&) = default;
};

struct Pcb {
  Header header;
  std::vector<Grid> grids;
  std::map<std::string, Pattern> patterns;
  std::vector<PcbComponent> components;
  std::vector<TPoint> boardOutline;  // closed polygon; empty when unknown
  std::vector<PcbLayer> layers;      // copper first, top to bottom
  std::vector<Track> tracks;
  std::vector<ArcTrack> arcs;
  std::vector<Via> vias;
  std::vector<Zone> zones;

  // The layers the host serves: those read, or a top and a bottom copper
  // layer (ids 1 and 2) when the design names none.
  const std::vector<PcbLayer>& servedLayers() const;
  const PcbLayer* findLayer(int32_t id) const;
  // The outer copper layer of a side.
  int32_t sideLayer(bool bottom) const;
  // The layer of the other side that matches a side's layer ("F.SilkS" and
  // "B.SilkS", the outer copper layers); other layers are their own.
  int32_t oppositeSideLayer(int32_t id) const;
  // A component's text as a component edit from one placement to another
  // carries it, onto the other side's layer when it changes side.
  CompText textCarried(const CompText& text, const Placement& before, const Placement& after) const;
  // One more than the greatest copper item id.
  int32_t nextItemId() const;
  friend bool operator==(const Pcb&, const Pcb&) = default;
};

struct Design {
  std::vector<Net> nets;
  Schematic sch;
  Pcb pcb;

  const Net* findNet(int32_t id) const;
  friend bool operator==(const Design&, const Design&) = default;
};

}  // namespace dbxhost
