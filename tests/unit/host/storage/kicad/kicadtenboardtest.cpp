// KiCad 10's boards: nets named by their items instead of numbered in a
// table, buried vias, tracks that also open the solder mask; and copper the
// host adds to such a board written with named nets.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "kicadreference.h"
#include "storage/designfileerror.h"
#include "storage/kicad/kicadboard.h"
#include "storage/kicad/kicadboardwriter.h"
#include "storage/kicad/kicadtext.h"

namespace dbxhost::kicad {
namespace {

// A two-layer board of the given version without a net table; the items
// name their nets.
std::string namedNetBoard(const std::string& items, const std::string& version = "20260206") {
  return "(kicad_pcb\n\t(version " + version +
         ")\n\t(generator \"pcbnew\")\n\t(generator_version \"10.0\")\n"
         "\t(layers\n\t\t(0 \"F.Cu\" signal)\n\t\t(2 \"B.Cu\" signal)\n"
         "\t\t(1 \"F.Mask\" user)\n\t)\n"
         "\t(footprint \"L:R\"\n\t\t(layer \"F.Cu\")\n\t\t(at 10 20)\n"
         "\t\t(property \"Reference\" \"R1\")\n"
         "\t\t(pad \"1\" smd rect (at -1 0) (size 1 1) (layers \"F.Cu\") (net \"GND\"))\n"
         "\t\t(pad \"2\" smd rect (at 1 0) (size 1 1) (layers \"F.Cu\") (net \"/OUT\"))\n"
         "\t\t(pad \"3\" smd rect (at 0 1) (size 1 1) (layers \"F.Cu\") (net \"\"))\n"
         "\t\t(pad \"4\" smd rect (at 0 2) (size 1 1) (layers \"F.Cu\"))\n\t)\n" +
         items + ")\n";
}

using testing::boardRefusal;

TEST(KicadTenBoardTest, ItemsNameTheirNetsAndANewNameIsANewNet) {
  const KicadBoard board = parseKicadBoard(
      namedNetBoard(
          "\t(segment (start 9 20) (end 5 20) (width 0.25) (layer \"F.Cu\") (net \"GND\") "
          "(uuid \"a\"))\n"
          "\t(segment (start 11 20) (end 15 20) (width 0.25) (layers \"F.Cu\" \"F.Mask\") "
          "(net \"/OUT\"))\n"
          "\t(via buried (at 5 20) (size 0.6) (drill 0.3) (layers \"F.Cu\" \"B.Cu\") "
          "(net \"/IN\"))\n"
          "\t(zone (net \"GND\") (layer \"B.Cu\") (polygon (pts (xy 0 0) (xy 9 0) (xy 9 9))))\n"
          "\t(arc (start 0 0) (mid 1 1) (end 2 0) (width 0.2) (layer \"B.Cu\") (net \"\"))\n"),
      "named.kicad_pcb");
  EXPECT_TRUE(board.netsByName());
  EXPECT_EQ(board.version, 20260206);
  // In the order the file first names them, as KiCad numbers them.
  ASSERT_EQ(board.nets.size(), 3u);
  EXPECT_EQ(board.nets[0], (Net{1, "GND", 0}));
  EXPECT_EQ(board.nets[1], (Net{2, "/OUT", 0}));
  EXPECT_EQ(board.nets[2], (Net{3, "/IN", 0}));
  const PcbComponent& r1 = board.pcb.components.at(0);
  EXPECT_EQ(r1.padNets, (std::map<std::string, int32_t>{{"1", 1}, {"2", 2}}));
  const Pcb& pcb = board.pcb;
  ASSERT_EQ(pcb.tracks.size(), 2u);
  EXPECT_EQ(pcb.tracks[0].info.netId, 1);
  EXPECT_EQ(pcb.tracks[1].info.netId, 2);
  EXPECT_EQ(board.layerNames.at(pcb.tracks[1].layerId), "F.Cu");
  ASSERT_EQ(pcb.vias.size(), 1u);
  EXPECT_EQ(pcb.vias[0].info.netId, 3);
  EXPECT_EQ(pcb.vias[0].viaType, DBX_18::kViaBlindBuried);
  ASSERT_EQ(pcb.zones.size(), 1u);
  EXPECT_EQ(pcb.zones[0].info.netId, 1);
  ASSERT_EQ(pcb.arcs.size(), 1u);
  EXPECT_EQ(pcb.arcs[0].info.netId, 0);
}

// Zone corners may be arcs (KiCad 6 on; KiCad 10's RoyalBlue54L-Feather has
// them): the host's outline follows them in chords of at most 10°.
TEST(KicadTenBoardTest, ZoneOutlinesFollowTheirArcs) {
  const KicadBoard board = parseKicadBoard(
      namedNetBoard("\t(zone (net \"GND\") (layer \"F.Cu\") (polygon (pts (xy 0 0) (xy 10 0)\n"
                    "\t\t(arc (start 10 0) (mid 15 5) (end 10 10)) (xy 0 10))))\n"),
      "arcs.kicad_pcb");
  ASSERT_EQ(board.pcb.zones.size(), 1u);
  const std::vector<TPoint>& outline = board.pcb.zones[0].outline;
  // Two corners, the half circle's 18 chords, the last corner.
  ASSERT_EQ(outline.size(), 21u);
  EXPECT_EQ(outline[1], (TPoint{1000000, 0}));
  EXPECT_EQ(outline[10], (TPoint{1500000, -500000}));
  EXPECT_EQ(outline[19], (TPoint{1000000, -1000000}));
  EXPECT_EQ(outline[20], (TPoint{0, -1000000}));
  for (std::size_t i = 2; i < 19; ++i) {
    const double dx = outline[i].x - 1000000.0, dy = outline[i].y + 500000.0;
    EXPECT_NEAR(std::hypot(dx, dy), 500000.0, 1.0) << i;
  }
  EXPECT_EQ(
      boardRefusal(namedNetBoard("\t(zone (net \"GND\") (layer \"F.Cu\") (polygon (pts (xy 0 0)\n"
                                 "\t\t(arc (start 1 0) (end 0 1)))))\n")),
      "b.kicad_pcb: line 20: (arc) has no (mid)");
}

// KiCad reads either form in any version: a name of the table's nets is that
// net, a name it lacks comes after its numbers.
TEST(KicadTenBoardTest, ANameResolvesToTheTablesNetOfThatName) {
  const KicadBoard board = parseKicadBoard(
      "(kicad_pcb (version 20241229) (generator pcbnew)\n"
      " (net 0 \"\") (net 4 \"GND\") (net 9 \"/A\")\n"
      " (segment (start 0 0) (end 1 0) (width 0.2) (layer \"F.Cu\") (net \"/A\"))\n"
      " (segment (start 0 0) (end 1 0) (width 0.2) (layer \"F.Cu\") (net \"/NEW\"))\n"
      " (segment (start 0 0) (end 1 0) (width 0.2) (layer \"F.Cu\") (net 4)))\n",
      "mixed.kicad_pcb");
  EXPECT_FALSE(board.netsByName());
  ASSERT_EQ(board.nets.size(), 3u);
  EXPECT_EQ(board.nets[2], (Net{10, "/NEW", 0}));
  ASSERT_EQ(board.pcb.tracks.size(), 3u);
  EXPECT_EQ(board.pcb.tracks[0].info.netId, 9);
  EXPECT_EQ(board.pcb.tracks[1].info.netId, 10);
  EXPECT_EQ(board.pcb.tracks[2].info.netId, 4);
}

TEST(KicadTenBoardTest, RefusesWhatCannotBeReadNamingFileLineAndVersion) {
  EXPECT_EQ(boardRefusal(namedNetBoard("", "20260207")),
            "b.kicad_pcb: line 2: file version 20260207 is newer than this dbxhost reads (KiCad 6 "
            "to 10, file versions up to 20260206)");
  EXPECT_EQ(boardRefusal(namedNetBoard(
                "\t(segment (start 0 0) (end 1 0) (width 0.2) (layer \"F.Cu\") (net 3))\n")),
            "b.kicad_pcb: line 19: (segment) refers to net 3, which the board does not declare");
  const std::string longName(kMaxLongName + 1, 'N');
  EXPECT_EQ(
      boardRefusal(namedNetBoard("\t(segment (start 0 0) (end 1 0) (width 0.2) (layer \"F.Cu\") "
                                 "(net \"" +
                                 longName + "\"))\n")),
      "b.kicad_pcb: line 19: net name \"" + longName + "\" is longer than " +
          std::to_string(kMaxLongName) + " bytes");
  EXPECT_EQ(boardRefusal(namedNetBoard("\t(segment (start 0 0) (end 1 0) (width 0.2) "
                                       "(layers \"F.Mask\") (net \"GND\"))\n")),
            "b.kicad_pcb: line 19: a track on no copper layer");
  // Every version from KiCad 9's last to KiCad 10's reads.
  for (const char* version : {"20241229", "20250513", "20250907", "20251028", "20260206"})
    EXPECT_EQ(boardRefusal(namedNetBoard("", version)), "accepted") << version;
}

Design designOf(const KicadBoard& board) {
  Design design;
  design.nets = board.nets;
  design.pcb = board.pcb;
  return design;
}

// Copper a client adds names its net in a KiCad 10 file and numbers it in an
// older one; what the client did not touch keeps its bytes.
TEST(KicadTenBoardTest, AddedCopperNamesItsNetInKicadTenFiles) {
  const KicadBoard board = parseKicadBoard(namedNetBoard(""), "named.kicad_pcb");
  Design design = designOf(board);
  design.pcb.tracks.push_back({{1, 2, "", false, false}, 1, 25000, {0, 0}, {100000, 0}});
  design.pcb.vias.push_back(
      {{2, 0, "", false, false}, {0, 0}, 60000, 30000, 1, 2, DBX_18::kViaThrough});
  Zone zone;
  zone.info = {3, 1, "", false, false};
  zone.layerIds = {2};
  zone.outline = {{0, 0}, {100000, 0}, {100000, 100000}};
  design.pcb.zones.push_back(zone);
  const std::string written = writeKicadBoard(board, design);
  const std::size_t end = board.text.rfind(')');
  EXPECT_EQ(written.substr(0, end), board.text.substr(0, end));
  const std::string added = written.substr(end);
  EXPECT_NE(added.find("\t\t(layer \"F.Cu\")\n\t\t(net \"/OUT\")\n"), std::string::npos) << added;
  EXPECT_NE(added.find("\t(zone\n\t\t(net \"GND\")\n\t\t(layer \"B.Cu\")\n"), std::string::npos)
      << added;
  EXPECT_EQ(added.find("net_name"), std::string::npos) << added;
  EXPECT_EQ(added.find("(net 0)"), std::string::npos) << added;
  EXPECT_EQ(added.find("(net 1)"), std::string::npos) << added;
  const KicadBoard again = parseKicadBoard(written, "again.kicad_pcb");
  EXPECT_EQ(again.nets, board.nets);
  ASSERT_EQ(again.pcb.tracks.size(), 1u);
  EXPECT_EQ(again.pcb.tracks[0].info.netId, 2);
  ASSERT_EQ(again.pcb.vias.size(), 1u);
  EXPECT_EQ(again.pcb.vias[0].info.netId, 0);
  ASSERT_EQ(again.pcb.zones.size(), 1u);
  EXPECT_EQ(again.pcb.zones[0].info.netId, 1);

  // The same copper on a KiCad 9 board gets numbers.
  const KicadBoard nine = parseKicadBoard(
      "(kicad_pcb (version 20241229) (generator pcbnew)\n (net 0 \"\") (net 1 \"GND\")\n)\n",
      "nine.kicad_pcb");
  Design numbered = designOf(nine);
  numbered.pcb.tracks.push_back({{1, 1, "", false, false}, 1, 25000, {0, 0}, {100000, 0}});
  const std::string ninth = writeKicadBoard(nine, numbered);
  EXPECT_NE(ninth.find("(net 1)"), std::string::npos) << ninth;
  EXPECT_EQ(ninth.find("(net \"GND\")"), std::string::npos) << ninth;
}

// KiCad 10 writes teardrops without identity. A copy of one is written so
// too, and the group of the copy's copper names only what has an identity
// in the file: KiCad 10 would drop a member that names nothing.
TEST(KicadTenBoardTest, ACopiedTeardropHasNoIdentityAndNoGroupNamesIt) {
  const KicadBoard board = parseKicadBoard(
      namedNetBoard("\t(zone\n\t\t(net \"GND\")\n\t\t(layer \"F.Cu\")\n"
                    "\t\t(attr\n\t\t\t(teardrop\n\t\t\t\t(type padvia)\n\t\t\t)\n\t\t)\n"
                    "\t\t(polygon\n\t\t\t(pts\n\t\t\t\t(xy 9 20) (xy 8 19.5) (xy 8 20.5)\n"
                    "\t\t\t)\n\t\t)\n\t)\n"),
      "teardrop.kicad_pcb");
  Design design = designOf(board);
  ASSERT_EQ(design.pcb.zones.size(), 1u);
  ASSERT_FALSE(board.itemUuids.contains(design.pcb.zones[0].info.id));
  Zone copy = design.pcb.zones[0];
  copy.info = {50, copy.info.netId, "Tandrel G1", true, false, copy.info.id};
  for (TPoint& p : copy.outline) p.y -= 500000;
  design.pcb.zones.push_back(copy);
  design.pcb.tracks.push_back({{51, copy.info.netId, "Tandrel G1", true, false},
                               1,
                               25000,
                               {800000, -2450000},
                               {500000, -2450000}});
  const std::string written = writeKicadBoard(board, design);
  const KicadBoard again = parseKicadBoard(written, "again.kicad_pcb");
  ASSERT_EQ(again.pcb.zones.size(), 2u);
  ASSERT_EQ(again.pcb.tracks.size(), 1u);
  EXPECT_EQ(again.pcb.zones[1].outline, copy.outline);
  const std::size_t copied = written.find("\t(zone", written.find("\t(zone") + 1);
  ASSERT_NE(copied, std::string::npos) << written;
  const std::string copiedText = written.substr(copied, written.find("\n\t)", copied) - copied);
  EXPECT_NE(copiedText.find("(teardrop"), std::string::npos) << copiedText;
  EXPECT_EQ(copiedText.find("(uuid"), std::string::npos) << copiedText;
  ASSERT_EQ(again.groups.size(), 1u);
  EXPECT_EQ(again.groups[0].name, "Tandrel G1");
  EXPECT_EQ(again.groups[0].members,
            std::vector<std::string>{again.itemUuids.at(again.pcb.tracks[0].info.id)});
}

}  // namespace
}  // namespace dbxhost::kicad
