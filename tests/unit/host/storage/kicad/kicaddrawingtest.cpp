// A KiCad board's drawings on its silkscreen, fab and user layers: served as
// items on no net on those layers, and their copies written as the drawing
// they repeat with only their points, layer and identity changed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/designfile.h"
#include "storage/kicad/kicadboard.h"
#include "storage/kicad/kicadboardwriter.h"
#include "storage/kicad/sexpr.h"

namespace dbxhost::kicad {
namespace {

const std::string kBoard =
    "(kicad_pcb\n"
    "\t(version 20241229)\n"
    "\t(generator \"pcbnew\")\n"
    "\t(layers\n"
    "\t\t(0 \"F.Cu\" signal)\n"
    "\t\t(2 \"B.Cu\" signal)\n"
    "\t\t(5 \"F.SilkS\" user \"F.Silkscreen\")\n"
    "\t\t(15 \"F.Fab\" user)\n"
    "\t\t(25 \"Edge.Cuts\" user)\n"
    "\t\t(39 \"User.1\" user)\n"
    "\t)\n"
    "\t(net 0 \"\")\n"
    "\t(net 1 \"GND\")\n"
    "\t(footprint \"R_0603\"\n"
    "\t\t(layer \"F.Cu\")\n"
    "\t\t(uuid \"00000000-0000-0000-0000-0000000000f1\")\n"
    "\t\t(at 10 10)\n"
    "\t\t(property \"Reference\" \"R1\" (at 0 -1 0) (layer \"F.SilkS\"))\n"
    "\t\t(fp_line (start -1 -1) (end 1 -1) (stroke (width 0.12) (type solid)) "
    "(layer \"F.SilkS\"))\n"
    "\t)\n"
    "\t(gr_line\n"
    "\t\t(start 1 2)\n"
    "\t\t(end 5 2)\n"
    "\t\t(stroke\n"
    "\t\t\t(width 0.15)\n"
    "\t\t\t(type dash)\n"
    "\t\t)\n"
    "\t\t(layer \"F.SilkS\")\n"
    "\t\t(uuid \"00000000-0000-0000-0000-000000000001\")\n"
    "\t)\n"
    "\t(gr_arc (start 1 4) (mid 2 3) (end 3 4) (stroke (width 0.1) (type solid)) "
    "(layer \"F.Fab\") (uuid \"00000000-0000-0000-0000-000000000002\"))\n"
    "\t(gr_rect (start 1 1) (end 6 5) (stroke (width 0.05) (type default)) (fill none) "
    "(layer \"User.1\") (uuid \"00000000-0000-0000-0000-000000000003\"))\n"
    "\t(gr_poly (pts (xy 1 1) (xy 2 1) (xy 2 2)) (stroke (width 0) (type solid)) (fill yes) "
    "(layer \"F.SilkS\") (uuid \"00000000-0000-0000-0000-000000000004\"))\n"
    "\t(gr_poly (pts (xy 1 1) (arc (start 2 1) (mid 3 2) (end 2 3))) (stroke (width 0.1) "
    "(type solid)) (layer \"F.SilkS\") (uuid \"00000000-0000-0000-0000-000000000005\"))\n"
    "\t(gr_rect (start 1 1) (end 6 5) (radius 0.5) (stroke (width 0.05) (type default)) "
    "(fill none) (layer \"F.SilkS\") (uuid \"00000000-0000-0000-0000-00000000000a\"))\n"
    "\t(gr_line (start 0 0) (end 10 0) (stroke (width 0.1) (type solid)) (layer \"Edge.Cuts\") "
    "(uuid \"00000000-0000-0000-0000-000000000006\"))\n"
    "\t(gr_line (start 0 0) (end 10 0) (stroke (width 0.1) (type solid)) (layer \"F.Cu\") "
    "(uuid \"00000000-0000-0000-0000-000000000007\"))\n"
    "\t(gr_text \"CH1\" (at 3 3 90) (layer \"F.SilkS\") (uuid "
    "\"00000000-0000-0000-0000-000000000008\") (effects (font (size 1 1))))\n"
    "\t(segment (start 1 2) (end 3 2) (width 0.25) (layer \"F.Cu\") (net 1) "
    "(uuid \"00000000-0000-0000-0000-000000000009\"))\n"
    ")\n";

Design designOf(const KicadBoard& board) {
  Design design;
  design.nets = board.nets;
  design.pcb = board.pcb;
  return design;
}

int32_t layerNamed(const KicadBoard& board, const std::string& name) {
  for (const auto& [id, layer] : board.layerNames) {
    if (layer == name) return id;
  }
  ADD_FAILURE() << "no layer " << name;
  return 0;
}

// Turned by a quarter about the origin, as a copy's motion may carry it.
TPoint quarter(TPoint p) { return {-p.y, p.x}; }

TEST(KicadDrawingTest, DrawingsOnSilkFabAndUserLayersAreServedOnNoNet) {
  const KicadBoard board = parseKicadBoard(kBoard, "drawings");
  const Pcb& pcb = board.pcb;
  // The segment and the silkscreen line; not the edge, the line on copper
  // or the footprint's own line.
  ASSERT_EQ(pcb.tracks.size(), 2u);
  const Track& line = pcb.tracks[0];
  EXPECT_EQ(line.layerId, layerNamed(board, "F.SilkS"));
  EXPECT_EQ(line.info.netId, 0);
  EXPECT_EQ(line.info.sourceId, line.info.id);
  EXPECT_EQ(line.width, 15000);
  EXPECT_EQ(line.start, (TPoint{100000, -200000}));
  EXPECT_EQ(line.end, (TPoint{500000, -200000}));
  EXPECT_EQ(pcb.tracks[1].info.netId, 1);
  ASSERT_EQ(pcb.arcs.size(), 1u);
  EXPECT_EQ(pcb.arcs[0].layerId, layerNamed(board, "F.Fab"));
  EXPECT_EQ(pcb.arcs[0].mid, (TPoint{200000, -300000}));
  // The rectangle as its four corners, the polygon of straight sides with a
  // width of at least one unit; the polygon with an arc and the rounded
  // rectangle are not served.
  ASSERT_EQ(pcb.zones.size(), 2u);
  EXPECT_EQ(pcb.zones[0].layerIds, std::vector<int32_t>{layerNamed(board, "User.1")});
  EXPECT_EQ(pcb.zones[0].outline,
            (std::vector<TPoint>{
                {100000, -100000}, {600000, -100000}, {600000, -500000}, {100000, -500000}}));
  EXPECT_EQ(pcb.zones[1].outline.size(), 3u);
  EXPECT_EQ(pcb.zones[1].info.netId, 0);
  // Unchanged, the board is written as it was.
  EXPECT_EQ(writeKicadBoard(board, designOf(board)), board.text);
}

TEST(KicadDrawingTest, CopiesAreTheirDrawingsTextTurnedWithANewIdentity) {
  const KicadBoard board = parseKicadBoard(kBoard, "drawings");
  Design design = designOf(board);
  // A client's copy: a new id, in the copy's group, its source the original.
  auto copied = [](auto item, int32_t id) {
    item.info = {id, 0, "Tandrel G2", true, false, item.info.id};
    return item;
  };
  Track line = copied(board.pcb.tracks[0], 20);
  line.start = quarter(line.start);
  line.end = quarter(line.end);
  ArcTrack arc = copied(board.pcb.arcs[0], 21);
  arc.start = quarter(arc.start);
  arc.mid = quarter(arc.mid);
  arc.end = quarter(arc.end);
  Zone rect = copied(board.pcb.zones[0], 22);
  for (TPoint& p : rect.outline) p = quarter(p);
  // Turned by 45 degrees the rectangle is a polygon.
  Zone slanted = copied(board.pcb.zones[0], 23);
  slanted.outline = {{0, 0}, {100000, 100000}, {0, 200000}, {-100000, 100000}};
  Zone poly = copied(board.pcb.zones[1], 24);
  for (TPoint& p : poly.outline) p = quarter(p);
  design.pcb.tracks.push_back(line);
  design.pcb.arcs.push_back(arc);
  design.pcb.zones.insert(design.pcb.zones.end(), {rect, slanted, poly});

  const std::string written = writeKicadBoard(board, design);
  EXPECT_EQ(written.substr(0, board.text.size() - 2), board.text.substr(0, board.text.size() - 2));
  const SexprTree root = parseSexpr(written, "written");
  const std::vector<const Sexpr*> lines = root.lists("gr_line");
  ASSERT_EQ(lines.size(), 4u);
  const std::string copy(written.substr(lines[3]->begin, lines[3]->end - lines[3]->begin));
  // KiCad's y runs down: (1, 2) is the host's (1, -2), turned (2, 1), in
  // the file (2, -1).
  EXPECT_NE(copy.find("(start 2 -1)"), std::string::npos) << copy;
  EXPECT_NE(copy.find("(end 2 -5)"), std::string::npos) << copy;
  EXPECT_NE(copy.find("(type dash)"), std::string::npos) << copy;
  EXPECT_NE(copy.find("(layer \"F.SilkS\")"), std::string::npos) << copy;
  EXPECT_EQ(copy.find("00000000-0000-0000-0000-000000000001"), std::string::npos) << copy;

  const std::vector<const Sexpr*> arcs = root.lists("gr_arc");
  ASSERT_EQ(arcs.size(), 2u);
  const std::string arcCopy(written.substr(arcs[1]->begin, arcs[1]->end - arcs[1]->begin));
  EXPECT_NE(arcCopy.find("(start 4 -1) (mid 3 -2) (end 4 -3)"), std::string::npos) << arcCopy;
  EXPECT_NE(arcCopy.find("(layer \"F.Fab\")"), std::string::npos) << arcCopy;

  const std::vector<const Sexpr*> rects = root.lists("gr_rect");
  ASSERT_EQ(rects.size(), 3u);
  const std::string rectCopy(written.substr(rects[2]->begin, rects[2]->end - rects[2]->begin));
  EXPECT_NE(rectCopy.find("(start 1 -1) (end 5 -6)"), std::string::npos) << rectCopy;
  EXPECT_NE(rectCopy.find("(fill none)"), std::string::npos) << rectCopy;

  const std::vector<const Sexpr*> polys = root.lists("gr_poly");
  ASSERT_EQ(polys.size(), 4u);
  const std::string slantedCopy(written.substr(polys[2]->begin, polys[2]->end - polys[2]->begin));
  EXPECT_EQ(slantedCopy.rfind("(gr_poly (pts (xy 0 0) (xy 1 -1) (xy 0 -2) (xy -1 -1)) (stroke", 0),
            0u)
      << slantedCopy;
  EXPECT_EQ(slantedCopy.find("(end"), std::string::npos) << slantedCopy;
  EXPECT_NE(slantedCopy.find("(layer \"User.1\")"), std::string::npos) << slantedCopy;
  const std::string polyCopy(written.substr(polys[3]->begin, polys[3]->end - polys[3]->begin));
  EXPECT_NE(polyCopy.find("(pts (xy 1 -1) (xy 1 -2) (xy 2 -2))"), std::string::npos) << polyCopy;
  EXPECT_NE(polyCopy.find("(fill yes)"), std::string::npos) << polyCopy;

  // Read again, the copies are served as drawings like their originals, in
  // the group of their copy.
  const KicadBoard again = parseKicadBoard(written, "again");
  ASSERT_EQ(again.pcb.tracks.size(), 3u);
  EXPECT_EQ(again.pcb.tracks[2].start, line.start);
  EXPECT_EQ(again.pcb.tracks[2].info.group, "Tandrel G2");
  ASSERT_EQ(again.pcb.zones.size(), 5u);
  EXPECT_EQ(again.pcb.zones[3].outline, slanted.outline);
}

TEST(KicadDrawingTest, DrawingsOfTheHostsOwnAreWrittenAsNewDrawings) {
  const KicadBoard board = parseKicadBoard(kBoard, "drawings");
  Design design = designOf(board);
  ItemInfo own;
  own.id = 30;
  design.pcb.tracks.push_back({own, layerNamed(board, "F.SilkS"), 12000, {0, 0}, {100000, 0}});
  own.id = 31;
  Zone outline;
  outline.info = own;
  outline.layerIds = {layerNamed(board, "User.1")};
  outline.outline = {{0, 0}, {100000, 0}, {100000, 100000}};
  design.pcb.zones.push_back(outline);
  const std::string written = writeKicadBoard(board, design);
  EXPECT_NE(written.find("(gr_line\n\t\t(start 0 0)\n\t\t(end 1 0)\n\t\t(stroke\n\t\t\t(width "
                         "0.12)\n\t\t\t(type solid)\n\t\t)\n\t\t(layer \"F.SilkS\")"),
            std::string::npos)
      << written;
  const KicadBoard again = parseKicadBoard(written, "again");
  ASSERT_EQ(again.pcb.tracks.size(), 3u);
  EXPECT_EQ(again.pcb.tracks[2].end, (TPoint{100000, 0}));
  ASSERT_EQ(again.pcb.zones.size(), 3u);
  EXPECT_EQ(again.pcb.zones[2].outline, outline.outline);
  EXPECT_EQ(again.pcb.zones[2].layerIds, outline.layerIds);
}

TEST(KicadDrawingTest, ADesignFileKeepsTheDrawingsOfTheBoard) {
  const KicadBoard board = parseKicadBoard(kBoard, "drawings");
  const Design read = parseDesign(serializeDesign(designOf(board)), "design");
  ASSERT_EQ(read.pcb.tracks.size(), 2u);
  EXPECT_EQ(read.pcb.tracks[0].layerId, board.pcb.tracks[0].layerId);
  EXPECT_EQ(read.pcb.tracks[0].start, board.pcb.tracks[0].start);
  ASSERT_EQ(read.pcb.arcs.size(), 1u);
  EXPECT_EQ(read.pcb.arcs[0].layerId, board.pcb.arcs[0].layerId);
  ASSERT_EQ(read.pcb.zones.size(), 2u);
  EXPECT_EQ(read.pcb.zones[1].outline, board.pcb.zones[1].outline);
}

}  // namespace
}  // namespace dbxhost::kicad
