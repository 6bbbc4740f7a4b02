// Copies of a KiCad board's items and new items of the host's own, written
// in the board's own syntax: a copy is the text of the item it repeats with
// only its shape, net and identity changed; the host's own items, and the
// groups, as the board's KiCad version writes them.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "storage/kicad/kicadboard.h"
#include "storage/kicad/kicadboardwriter.h"

namespace dbxhost::kicad {
namespace {

Design designOf(const KicadBoard& board) {
  Design design;
  design.nets = board.nets;
  design.pcb = board.pcb;
  return design;
}

const std::string kHead =
    "(kicad_pcb\n"
    "\t(version 20241229)\n"
    "\t(generator \"pcbnew\")\n"
    "\t(layers\n"
    "\t\t(0 \"F.Cu\" signal)\n"
    "\t\t(2 \"B.Cu\" signal)\n"
    "\t\t(25 \"Edge.Cuts\" user)\n"
    "\t)\n"
    "\t(net 0 \"\")\n"
    "\t(net 1 \"GND\")\n"
    "\t(net 2 \"VCC\")\n";

const std::string kSegment =
    "\t(segment\n"
    "\t\t(start 1 2)\n"
    "\t\t(end 3 2)\n"
    "\t\t(width 0.25)\n"
    "\t\t(locked yes)\n"
    "\t\t(layer \"F.Cu\")\n"
    "\t\t(net 1)\n"
    "\t\t(uuid \"00000000-0000-0000-0000-000000000001\")\n"
    "\t)\n";

const std::string kVia =
    "\t(via\n"
    "\t\t(at 3 2)\n"
    "\t\t(size 0.6)\n"
    "\t\t(drill 0.3)\n"
    "\t\t(layers \"F.Cu\" \"B.Cu\")\n"
    "\t\t(teardrops\n"
    "\t\t\t(best_length_ratio 0.5)\n"
    "\t\t\t(enabled yes)\n"
    "\t\t)\n"
    "\t\t(net 1)\n"
    "\t\t(uuid \"00000000-0000-0000-0000-000000000002\")\n"
    "\t)\n";

// A teardrop as KiCad 9 writes it: a zone with its own settings.
std::string teardrop(const std::string& net, const std::string& name, const std::string& pts,
                     const std::string& filled, const std::string& uuid) {
  return "\t(zone\n"
         "\t\t(net " +
         net + ")\n\t\t(net_name \"" + name +
         "\")\n"
         "\t\t(layer \"F.Cu\")\n"
         "\t\t(uuid \"" +
         uuid +
         "\")\n"
         "\t\t(name \"$teardrop_padvia$\")\n"
         "\t\t(hatch full 0.1)\n"
         "\t\t(priority 30001)\n"
         "\t\t(attr\n"
         "\t\t\t(teardrop\n"
         "\t\t\t\t(type padvia)\n"
         "\t\t\t)\n"
         "\t\t)\n"
         "\t\t(connect_pads yes\n"
         "\t\t\t(clearance 0)\n"
         "\t\t)\n"
         "\t\t(min_thickness 0.0254)\n"
         "\t\t(filled_areas_thickness no)\n"
         "\t\t(fill yes\n"
         "\t\t\t(thermal_gap 0.5)\n"
         "\t\t\t(thermal_bridge_width 0.5)\n"
         "\t\t)\n"
         "\t\t(polygon\n"
         "\t\t\t(pts\n"
         "\t\t\t\t" +
         pts +
         "\n"
         "\t\t\t)\n"
         "\t\t)\n" +
         filled + "\t)\n";
}

const std::string kFilled =
    "\t\t(filled_polygon\n"
    "\t\t\t(layer \"F.Cu\")\n"
    "\t\t\t(pts\n"
    "\t\t\t\t(xy 1.000001 1) (xy 2 1) (xy 2 2)\n"
    "\t\t\t)\n"
    "\t\t)\n";

const std::string kTeardrop = teardrop("1", "GND", "(xy 1 1) (xy 2 1) (xy 2 2)", kFilled,
                                       "00000000-0000-0000-0000-000000000003");

// KiCad 9's multichannel area of one channel's sheet.
const std::string kPlacementArea =
    "\t(zone\n"
    "\t\t(net 0)\n"
    "\t\t(net_name \"\")\n"
    "\t\t(layers \"F.Cu\" \"B.Cu\")\n"
    "\t\t(uuid \"00000000-0000-0000-0000-000000000004\")\n"
    "\t\t(name \"auto-placement-area-/CH4/\")\n"
    "\t\t(hatch none 0.5)\n"
    "\t\t(keepout\n"
    "\t\t\t(tracks allowed)\n"
    "\t\t\t(vias allowed)\n"
    "\t\t\t(pads allowed)\n"
    "\t\t\t(copperpour allowed)\n"
    "\t\t\t(footprints allowed)\n"
    "\t\t)\n"
    "\t\t(placement\n"
    "\t\t\t(enabled yes)\n"
    "\t\t\t(sheetname \"/CH4/\")\n"
    "\t\t)\n"
    "\t\t(polygon\n"
    "\t\t\t(pts\n"
    "\t\t\t\t(xy 0 0) (xy 10 0) (xy 10 10)\n"
    "\t\t\t)\n"
    "\t\t)\n"
    "\t)\n";

KicadBoard kicadNineBoard() {
  return parseKicadBoard(kHead + kSegment + kVia + kTeardrop + kPlacementArea + ")\n", "nine");
}

// The board as a project keeps it for saving, once its copper is served:
// without its own model of the copper.
KicadBoard asKept(KicadBoard board) {
  board.pcb = {};
  return board;
}

// The text with each part replaced once, in order.
std::string replaced(std::string text,
                     const std::vector<std::pair<std::string, std::string>>& parts) {
  for (const auto& [part, by] : parts) {
    const std::size_t at = text.find(part);
    if (at == std::string::npos) {
      ADD_FAILURE() << part << " is not in " << text;
      continue;
    }
    text.replace(at, part.size(), by);
  }
  return text;
}

constexpr TPoint kShift{100000, -100000};  // 1 mm right, 1 mm down in KiCad

TPoint shifted(TPoint p) { return {p.x + kShift.x, p.y + kShift.y}; }

TEST(KicadCopyWriterTest, APlacementAreaIsNotServedAndTheBoardSavesAsItWas) {
  const KicadBoard board = kicadNineBoard();
  EXPECT_EQ(board.version, 20241229);
  ASSERT_EQ(board.pcb.zones.size(), 1u);
  EXPECT_EQ(board.pcb.zones[0].outline.size(), 3u);
  EXPECT_FALSE(board.pcb.zones[0].keepout);
  // Each item read is its own source of attributes.
  EXPECT_EQ(board.pcb.tracks[0].info.sourceId, board.pcb.tracks[0].info.id);
  EXPECT_EQ(board.pcb.zones[0].info.sourceId, board.pcb.zones[0].info.id);
  EXPECT_EQ(writeKicadBoard(board, designOf(board)), board.text);
}

TEST(KicadCopyWriterTest, ACopyIsItsSourcesTextWithNewShapeNetAndIdentity) {
  const KicadBoard board = kicadNineBoard();
  Design design = designOf(board);
  Track track = board.pcb.tracks[0];
  track.info = {10, 2, "Tandrel G2", true, false, track.info.id};
  track.start = shifted(track.start);
  track.end = shifted(track.end);
  design.pcb.tracks.push_back(track);
  Via via = board.pcb.vias[0];
  via.info = {11, 2, "Tandrel G2", true, false, via.info.id};
  via.at = shifted(via.at);
  design.pcb.vias.push_back(via);
  Zone zone = board.pcb.zones[0];
  zone.info = {12, 2, "Tandrel G2", true, false, zone.info.id};
  for (TPoint& p : zone.outline) p = shifted(p);
  design.pcb.zones.push_back(zone);

  const std::string written = writeKicadBoard(asKept(board), design);
  const KicadBoard again = parseKicadBoard(written, "again");
  ASSERT_EQ(again.pcb.tracks.size(), 2u);
  ASSERT_EQ(again.pcb.vias.size(), 2u);
  ASSERT_EQ(again.pcb.zones.size(), 2u);
  // Everything read stays as it was; the copies follow the last item.
  const std::string read = board.text.substr(0, board.text.size() - 2);
  EXPECT_EQ(written.substr(0, read.size()), read);
  // The source's text: the lock goes, the points, net and identity change.
  const std::string segment =
      replaced(kSegment, {{"\n\t\t(locked yes)", ""},
                          {"(start 1 2)", "(start 2 3)"},
                          {"(end 3 2)", "(end 4 3)"},
                          {"(net 1)", "(net 2)"},
                          {"00000000-0000-0000-0000-000000000001", again.itemUuids.at(4)}});
  EXPECT_NE(written.find(segment), std::string::npos) << written;
  const std::string copiedVia =
      replaced(kVia, {{"(at 3 2)", "(at 4 3)"},
                      {"(net 1)", "(net 2)"},
                      {"00000000-0000-0000-0000-000000000002", again.itemUuids.at(5)}});
  EXPECT_NE(written.find(copiedVia), std::string::npos) << written;
  // The teardrop stays a teardrop with its settings; its fill moves with it.
  const std::string movedFill =
      "\t\t(filled_polygon\n"
      "\t\t\t(layer \"F.Cu\")\n"
      "\t\t\t(pts\n"
      "\t\t\t\t(xy 2.000001 2) (xy 3 2) (xy 3 3)\n"
      "\t\t\t)\n"
      "\t\t)\n";
  EXPECT_NE(written.find(teardrop("2", "VCC", "(xy 2 2) (xy 3 2) (xy 3 3)", movedFill,
                                  again.itemUuids.at(6))),
            std::string::npos)
      << written;
  // The copies' group, in KiCad 9's syntax.
  const std::string group =
      "\t(group \"Tandrel G2\"\n"
      "\t\t(uuid \"" +
      again.groups.at(0).uuid + "\")\n\t\t(members \"" + again.itemUuids.at(4) + "\" \"" +
      again.itemUuids.at(5) + "\"\n\t\t\t\"" + again.itemUuids.at(6) + "\"\n\t\t)\n\t)\n)\n";
  EXPECT_EQ(written.substr(written.size() - group.size()), group);
  EXPECT_EQ(again.pcb.zones[1].info.group, "Tandrel G2");
  // The copies' source are the items read; the copy is unlocked.
  EXPECT_TRUE(again.pcb.tracks[0].info.fixed);
  EXPECT_FALSE(again.pcb.tracks[1].info.fixed);
  // The same design saves to the same bytes.
  EXPECT_EQ(writeKicadBoard(board, design), written);
}

// Another outline than the source's moved: the host's points, and the zone
// is left for KiCad to fill again rather than keep a fill of another shape.
TEST(KicadCopyWriterTest, AReshapedZoneCopyTakesTheHostsOutlineAndIsFilledAgain) {
  const KicadBoard board = kicadNineBoard();
  Design design = designOf(board);
  Zone zone = board.pcb.zones[0];
  zone.info = {12, 1, "", true, false, zone.info.id};
  zone.outline = {{0, 0}, {300000, 0}, {300000, -300000}, {0, -300000}};
  zone.priority = 5;
  design.pcb.zones.push_back(zone);
  const std::string written = writeKicadBoard(asKept(board), design);
  const KicadBoard again = parseKicadBoard(written, "again");
  ASSERT_EQ(again.pcb.zones.size(), 2u);
  EXPECT_EQ(again.pcb.zones[1].outline, zone.outline);
  EXPECT_EQ(again.pcb.zones[1].priority, 5);
  const std::string copy = written.substr(written.rfind("\t(zone"));
  EXPECT_EQ(copy.find("filled_polygon"), std::string::npos) << copy;
  EXPECT_NE(copy.find("\t\t(fill\n\t\t\t(thermal_gap 0.5)"), std::string::npos) << copy;
  EXPECT_NE(copy.find("(xy 0 0) (xy 3 0) (xy 3 3) (xy 0 3)"), std::string::npos) << copy;
  EXPECT_NE(copy.find("(type padvia)"), std::string::npos) << copy;
}

// A KiCad 6 board's copies stay on one line with a bare tstamp; a keepout
// on every copper layer keeps its rules and its layers as written.
TEST(KicadCopyWriterTest, KicadSixCopiesKeepTheirOneLineSyntax) {
  const std::string text =
      "(kicad_pcb (version 20211014)\n"
      "  (net 0 \"\")\n"
      "  (net 1 \"GND\")\n"
      "  (segment (start 1 2) (end 3 2) (width 0.25) (layer \"F.Cu\") (net 1) (tstamp a1))\n"
      "  (zone (net 0) (net_name \"\") (layers *.Cu) (tstamp a2) (hatch edge 0.508)\n"
      "    (keepout (tracks not_allowed) (vias allowed) (pads allowed) (copperpour allowed) "
      "(footprints allowed))\n"
      "    (polygon (pts (xy 0 0) (xy 1 0) (xy 1 1))))\n"
      ")\n";
  const KicadBoard board = parseKicadBoard(text, "six");
  ASSERT_EQ(board.pcb.zones.size(), 1u);
  ASSERT_TRUE(board.pcb.zones[0].keepout);
  Design design = designOf(board);
  Track track = board.pcb.tracks[0];
  track.info = {10, 1, "", true, false, track.info.id};
  track.start = shifted(track.start);
  track.end = shifted(track.end);
  design.pcb.tracks.push_back(track);
  Zone keepout = board.pcb.zones[0];
  keepout.info = {11, 0, "", true, false, keepout.info.id};
  for (TPoint& p : keepout.outline) p = shifted(p);
  design.pcb.zones.push_back(keepout);
  const std::string written = writeKicadBoard(asKept(board), design);
  const KicadBoard again = parseKicadBoard(written, "again");
  EXPECT_NE(written.find("\n  (segment (start 2 3) (end 4 3) (width 0.25) (layer \"F.Cu\") (net 1) "
                         "(tstamp " +
                         again.itemUuids.at(3) + "))"),
            std::string::npos)
      << written;
  EXPECT_NE(written.find("\n  (zone (net 0) (net_name \"\") (layers *.Cu) (tstamp " +
                         again.itemUuids.at(4) +
                         ") (hatch edge 0.508)\n    (keepout (tracks not_allowed) (vias "
                         "allowed)"),
            std::string::npos)
      << written;
  EXPECT_NE(written.find("(polygon (pts (xy 1 1) (xy 2 1) (xy 2 2)))"), std::string::npos);
  ASSERT_EQ(again.pcb.zones.size(), 2u);
  EXPECT_EQ(again.pcb.zones[1].layerIds, again.pcb.zones[0].layerIds);
}

// Items without a source in the board: KiCad 9's syntax, one list a line.
TEST(KicadCopyWriterTest, TheHostsOwnItemsAreWrittenAsKicadNineWritesThem) {
  const KicadBoard board = kicadNineBoard();
  Design design = designOf(board);
  design.pcb.tracks.push_back({{10, 1, "", true, false, 0}, 2, 20000, {0, 0}, {100000, 0}});
  design.pcb.vias.push_back(
      {{11, 0, "", true, false, 0}, {100000, 0}, 60000, 30000, 1, 2, DBX_18::kViaBlindBuried});
  design.pcb.zones.push_back({{12, 2, "", true, false, 0},
                              {1},
                              2,
                              false,
                              {{0, 0},
                               {1234567, 0},
                               {1234567, -1234567},
                               {0, -1234567},
                               {-1234567, -1234567},
                               {-1234567, 0}}});
  const std::string written = writeKicadBoard(board, design);
  const KicadBoard again = parseKicadBoard(written, "again");
  const std::string expected =
      "\t(segment\n"
      "\t\t(start 0 0)\n"
      "\t\t(end 1 0)\n"
      "\t\t(width 0.2)\n"
      "\t\t(layer \"B.Cu\")\n"
      "\t\t(net 1)\n"
      "\t\t(uuid \"" +
      again.itemUuids.at(4) +
      "\")\n"
      "\t)\n"
      "\t(via blind\n"
      "\t\t(at 1 0)\n"
      "\t\t(size 0.6)\n"
      "\t\t(drill 0.3)\n"
      "\t\t(layers \"F.Cu\" \"B.Cu\")\n"
      "\t\t(net 0)\n"
      "\t\t(uuid \"" +
      again.itemUuids.at(5) +
      "\")\n"
      "\t)\n"
      "\t(zone\n"
      "\t\t(net 2)\n"
      "\t\t(net_name \"VCC\")\n"
      "\t\t(layer \"F.Cu\")\n"
      "\t\t(uuid \"" +
      again.itemUuids.at(6) +
      "\")\n"
      "\t\t(hatch edge 0.508)\n"
      "\t\t(priority 2)\n"
      "\t\t(connect_pads\n"
      "\t\t\t(clearance 0.508)\n"
      "\t\t)\n"
      "\t\t(min_thickness 0.254)\n"
      "\t\t(fill\n"
      "\t\t\t(thermal_gap 0.508)\n"
      "\t\t\t(thermal_bridge_width 0.508)\n"
      "\t\t)\n"
      "\t\t(polygon\n"
      "\t\t\t(pts\n"
      "\t\t\t\t(xy 0 0) (xy 12.34567 0) (xy 12.34567 12.34567) (xy 0 12.34567) "
      "(xy -12.34567 12.34567) (xy -12.34567 0)\n"
      "\t\t\t)\n"
      "\t\t)\n"
      "\t)\n)\n";
  EXPECT_EQ(written.substr(written.size() - expected.size()), expected);
  EXPECT_EQ(again.pcb.vias.at(1).viaType, DBX_18::kViaBlindBuried);
  EXPECT_EQ(again.pcb.zones.at(1).outline, design.pcb.zones.back().outline);
}

// A group of a KiCad 9 board keeps its name, its identity and its lock; only
// its members change.
TEST(KicadCopyWriterTest, AGroupsMembersChangeInItsOwnSyntaxAndItsLockStays) {
  const std::string group =
      "\t(group \"Tandrel G2\"\n"
      "\t\t(uuid \"00000000-0000-0000-0000-00000000000a\")\n"
      "\t\t(locked yes)\n"
      "\t\t(members \"00000000-0000-0000-0000-000000000001\" "
      "\"00000000-0000-0000-0000-000000000002\")\n"
      "\t)\n";
  const KicadBoard board = parseKicadBoard(kHead + kSegment + kVia + group + ")\n", "grouped");
  ASSERT_EQ(board.groups.size(), 1u);
  EXPECT_EQ(board.groups[0].uuid, "00000000-0000-0000-0000-00000000000a");
  EXPECT_EQ(board.pcb.vias[0].info.group, "Tandrel G2");
  Design design = designOf(board);
  design.pcb.vias.clear();
  const std::string written = writeKicadBoard(board, design);
  EXPECT_NE(written.find("\t(group \"Tandrel G2\"\n"
                         "\t\t(uuid \"00000000-0000-0000-0000-00000000000a\")\n"
                         "\t\t(locked yes)\n"
                         "\t\t(members \"00000000-0000-0000-0000-000000000001\")\n"
                         "\t)\n)\n"),
            std::string::npos)
      << written;
}

}  // namespace
}  // namespace dbxhost::kicad
