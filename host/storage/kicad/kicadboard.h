// A KiCad board (.kicad_pcb, the formats of KiCad 6 to 10) read into the
// host's PCB model.
//
// Coordinates: KiCad keeps nanometres with the y axis pointing down; the host
// keeps units of 10 nm with the y axis pointing up, so host y = -KiCad y,
// rounded to the nearest unit. Angles are counter-clockwise on screen in both.
//
// KiCad places a pad at footprint position + Rot(orientation) * local, where
// the file stores the local positions of a bottom-side footprint already
// mirrored top to bottom (local y negated). The host places pads at
// refPoint + (flipped ? mirror left-right : identity) * Rot(rotation) * local
// with top-side locals. A top-side footprint maps to rotation = orientation
// and local = (x, -y); a bottom-side one to flipped, rotation = 180° -
// orientation and local = (x, y) as stored: the file's mirror and the host's
// left-right mirror turned by 180° are the same reflection, and the locals then
// equal the footprint's top-side pattern, so both sides share one pattern.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "model/design.h"
#include "storage/kicad/sexpr.h"

namespace dbxhost::kicad {

// The grid a KiCad board is served with: one host unit (10 nm).
inline constexpr const char* kHostUnitGrid = "0.00001mm";

// The board's layers get host ids from 1: the copper layers top to bottom
// (F.Cu, In1.Cu, ..., B.Cu), then the others in file order. Its segments,
// arcs, vias and zones are the PCB's copper, ids from 1 in file order, each
// its own source of attributes (ItemInfo::sourceId); a zone is served with
// its first outline, keepout areas are locked, and channel placement areas
// ((placement (enabled yes) ...)) are not served.
// Drawings outside footprints on the silkscreen, fab and user layers
// (gr_line, gr_arc, gr_rect, gr_poly of straight sides) are served as items
// on no net on their layer, numbered with the copper; a copy of one is
// written as its text with new points, layer and identity.
// A board without a layer table has F.Cu and B.Cu. Each footprint's
// Reference and Value are its component's texts (kicadfootprinttext.h).
//
// Oldest and newest file versions read: KiCad 6.0's and KiCad 10.0's. A
// newer file may hold what this reader does not know, so it is refused, never
// read half right.
inline constexpr int64_t kOldestBoardVersion = 20211014;
inline constexpr int64_t kNewestBoardVersion = 20260206;
// From this version on KiCad names the net of a pad, track, via or zone,
// (net "VCC"), and writes no net table (docs/kicad-formats.md).
inline constexpr int64_t kFirstNetNamesVersion = 20251028;

// One footprint as read: where it stands in the file and how it was placed,
// in KiCad's exact values and as the host placement made of them.
struct FootprintSource {
  int32_t componentId = 0;
  std::size_t child = 0;  // index among the board list's children
  std::string refDes;     // the host's designator
  Placement placement;
  int64_t x = 0, y = 0;     // nanometres, y down
  int64_t orientation = 0;  // thousandths of a degree
  bool bottom = false;
  std::vector<CompText> texts;  // its reference and value as read
};

// A (group "NAME" (id UUID) (members UUID ...)) of the board ((uuid "UUID")
// and quoted members from KiCad 8 on). Copper items among its members take
// its name as their host group.
struct GroupSource {
  std::string name;
  std::string uuid;
  std::size_t child = 0;             // index among the board list's children
  std::vector<std::string> members;  // as written
};

// From this file version on (KiCad 8.0) KiCad writes (uuid "...") for
// (tstamp ...), a group's (uuid "...") for its (id ...), quoted members, and
// every item over several lines indented with tabs.
inline constexpr int64_t kKicadEightVersion = 20240108;

struct KicadBoard {
  std::string sourceName;
  std::string text;     // the file byte for byte
  int64_t version = 0;  // the file's (version ...)
  // Items name their nets ((net "VCC")) rather than number them.
  bool netsByName() const { return version >= kFirstNetNamesVersion; }
  std::vector<Net> nets;
  Pcb pcb;
  std::vector<FootprintSource> footprints;  // file order; componentId = index + 1
  // Copper item (or drawing) id -> index among the board list's children, and its
  // (tstamp) or (uuid).
  std::map<int32_t, std::size_t> itemChildren;
  std::map<int32_t, std::string> itemUuids;
  std::map<int32_t, std::string> layerNames;  // host layer id -> KiCad's layer name
  std::vector<GroupSource> groups;            // file order
};

// Reads a board; nothing is returned unless the whole board is valid.
// Throws KicadFileError "<file>: line L: <reason>".
KicadBoard parseKicadBoard(std::string text, const std::string& sourceName);
KicadBoard readKicadBoard(const std::filesystem::path& file);

// Nanometres to host units (10 nm), to the nearest, halves away from zero.
int64_t hostUnits(int64_t nanometres);
// KiCad's orientation (thousandths of a degree) as a host rotation (tenths).
int32_t hostRotation(int64_t orientation, bool bottom);

}  // namespace dbxhost::kicad
