#include "window/designscene.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "model/geometry.h"

namespace dbxhost {
namespace {

ViewPoint view(TPoint p) { return {double(p.x), double(p.y)}; }

// A board with a two-pad part on top, a turned and flipped part on the
// bottom, and a part whose pattern is missing; two sheets with a dual part.
Design testDesign() {
  Design d;
  d.pcb.boardOutline = {{0, 0}, {5000000, 0}, {5000000, 3000000}, {0, 3000000}};
  d.pcb.patterns["R"] = {"R",
                         {{"1", {-100000, 0}, {40000, 60000}}, {"2", {100000, 0}, {40000, 60000}}},
                         TRect{{-150000, -50000}, {150000, 50000}}};
  PcbComponent r1;
  r1.id = 1;
  r1.refDes = "R1";
  r1.patternName = "R";
  r1.placement = {{1000000, 1000000}, 0, false};
  PcbComponent r2 = r1;
  r2.id = 2;
  r2.refDes = "R2";
  r2.placement = {{2000000, 1000000}, 900, true};
  r2.highlight = DBX::DBX_COLOR_GREEN;
  PcbComponent lost = r1;
  lost.id = 3;
  lost.refDes = "X1";
  lost.patternName = "NOPE";
  lost.placement.refPoint = {3000000, 2000000};
  d.pcb.components = {r1, r2, lost};

  d.sch.sheets = {{1, "Main"}, {2, "Other"}};
  SchComponent u1;
  u1.id = 1;
  u1.refDes = "U1";
  u1.numberParts = 2;
  u1.pins = {{"1", "", 1, 0, {100, 200}},
             {"", "", 1, 0, {150, 200}},
             {"7", "", 2, 0, {900, 900}},
             {"(unused)", "", 2, 0, {950, 900}}};
  SchComponent r9;
  r9.id = 2;
  r9.refDes = "R9";
  r9.pins = {{"1", "", 1, 0, {5000, 5000}}, {"2", "", 1, 0, {5000, 6000}}};
  d.sch.components = {u1, r9};
  d.sch.symbols = {{1, "U1:A", 1, 1, {100, 100}, {{0, 0}, {300, 300}}, 0, false, 0, 0},
                   {2, "U1:B", 2, 2, {900, 800}, {{800, 800}, {1000, 1000}}, 0, false, 0, 0},
                   {3, "R9", 1, 1, {5000, 5500}, {}, 0, false, DBX::DBX_COLOR_RED, 1}};
  return d;
}

TEST(DesignSceneTest, PcbItemsFollowTheirPlacement) {
  const Design d = testDesign();
  const Scene scene = pcbScene(d);
  ASSERT_EQ(scene.items.size(), 3u);
  EXPECT_EQ(scene.boardOutline.size(), 4u);

  const SceneItem& top = scene.items[0];
  EXPECT_EQ(top.id, 1);
  EXPECT_EQ(top.refDes, "R1");
  EXPECT_FALSE(top.bottom);
  ASSERT_EQ(top.outline.size(), 4u);
  EXPECT_EQ(top.outline[0], (ViewPoint{850000, 950000}));
  EXPECT_EQ(top.outline[2], (ViewPoint{1150000, 1050000}));
  ASSERT_EQ(top.marks.size(), 2u);
  EXPECT_EQ(top.marks[0].centre, (ViewPoint{900000, 1000000}));
  EXPECT_EQ(top.marks[0].label, "1");
  EXPECT_EQ(top.marks[0].outline[0], (ViewPoint{880000, 970000}));

  // Turned a quarter and mirrored: pad 1 goes from the left to below, then
  // the mirror keeps it there; every corner lands where the pads would.
  const SceneItem& bottom = scene.items[1];
  EXPECT_TRUE(bottom.bottom);
  EXPECT_EQ(bottom.highlight, DBX::DBX_COLOR_GREEN);
  const Placement& placement = d.pcb.components[1].placement;
  EXPECT_EQ(bottom.marks[0].centre, view(placePoint(placement, {-100000, 0})));
  EXPECT_EQ(bottom.marks[0].centre, (ViewPoint{2000000, 900000}));
  EXPECT_EQ(bottom.outline[0], view(placePoint(placement, {-150000, -50000})));
  EXPECT_DOUBLE_EQ(bottom.box.width(), 100000);
  EXPECT_DOUBLE_EQ(bottom.box.height(), 300000);
}

TEST(DesignSceneTest, MissingPatternsAndEmptyBoardsStillDraw) {
  Design d = testDesign();
  d.pcb.boardOutline.clear();
  const Scene scene = pcbScene(d);
  EXPECT_TRUE(scene.boardOutline.empty());
  const SceneItem& lost = scene.items[2];
  EXPECT_TRUE(lost.marks.empty());
  EXPECT_DOUBLE_EQ(lost.box.width(), 100000);
  EXPECT_DOUBLE_EQ((lost.box.left + lost.box.right) / 2, 3000000);
  // Bounds cover the parts, not a board that is not there.
  EXPECT_DOUBLE_EQ(scene.bounds.left, 850000);
  EXPECT_DOUBLE_EQ(scene.bounds.top, 2050000);

  EXPECT_TRUE(pcbScene(Design{}).bounds.empty);
  EXPECT_TRUE(pcbScene(Design{}).items.empty());
}

TEST(DesignSceneTest, PadsAtTheEdgeOfTheCoordinateRangeStayInRange) {
  Design d = testDesign();
  // With an outline, so that only the pad corners reach past the range.
  d.pcb.patterns["EDGE"] = {"EDGE",
                            {{"1", {INT32_MAX - 10, INT32_MIN + 10}, {INT32_MAX, INT32_MAX}}},
                            TRect{{-1000, -1000}, {1000, 1000}}};
  d.pcb.components[0].patternName = "EDGE";
  d.pcb.components[0].placement.refPoint = {0, 0};
  const Scene scene = pcbScene(d);
  const SceneMark& pad = scene.items[0].marks[0];
  for (ViewPoint corner : pad.outline) {
    EXPECT_GE(corner.x, INT32_MIN);
    EXPECT_LE(corner.x, INT32_MAX);
    EXPECT_GE(corner.y, INT32_MIN);
    EXPECT_LE(corner.y, INT32_MAX);
  }
}

TEST(DesignSceneTest, ASheetShowsItsSymbolsWithThePinsOfTheirPart) {
  const Design d = testDesign();
  const Scene main = sheetScene(d, 1);
  ASSERT_EQ(main.items.size(), 2u);
  EXPECT_EQ(main.items[0].refDes, "U1:A");
  ASSERT_EQ(main.items[0].marks.size(), 2u);  // gate 1 only
  EXPECT_EQ(main.items[0].marks[0].label, "1");
  EXPECT_EQ(main.items[0].marks[1].label, "");
  EXPECT_TRUE(main.items[0].marks[0].outline.empty());
  EXPECT_EQ(main.items[0].outline[2], (ViewPoint{300, 300}));

  // No drawn extent: the symbol is framed around its pins and reference point.
  const SceneItem& r9 = main.items[1];
  EXPECT_EQ(r9.highlight, DBX::DBX_COLOR_RED);
  EXPECT_LT(r9.box.bottom, 5000);
  EXPECT_GT(r9.box.top, 6000);
  EXPECT_GT(r9.box.width(), 0);

  const Scene other = sheetScene(d, 2);
  ASSERT_EQ(other.items.size(), 1u);
  ASSERT_EQ(other.items[0].marks.size(), 2u);
  EXPECT_EQ(other.items[0].marks[0].label, "7");
  EXPECT_EQ(other.items[0].marks[1].label, "");  // "(unused)" names no pin
  EXPECT_TRUE(sheetScene(d, 99).items.empty());
}

TEST(DesignSceneTest, ASymbolOfAComponentThatIsGoneHasNoPins) {
  Design d = testDesign();
  d.sch.symbols[0].component = 42;
  const Scene scene = sheetScene(d, 1);
  EXPECT_TRUE(scene.items[0].marks.empty());
  EXPECT_EQ(scene.items[0].outline.size(), 4u);
}

TEST(DesignSceneTest, ItemAtFindsTheSmallestItemUnderThePoint) {
  Scene scene;
  SceneItem big;
  big.id = 1;
  big.outline = {{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}};
  SceneItem small;
  small.id = 2;
  small.outline = {{400, 400}, {600, 400}, {600, 600}, {400, 600}};
  SceneMark pad;
  pad.outline = {{2000, 0}, {2100, 0}, {2100, 100}, {2000, 100}};
  small.marks = {pad};  // a pad well outside its outline
  scene.items = {big, small};

  EXPECT_EQ(itemAt(scene, {100, 100}, 0)->id, 1);
  EXPECT_EQ(itemAt(scene, {500, 500}, 0)->id, 2);
  EXPECT_EQ(itemAt(scene, {2050, 50}, 0)->id, 2);
  EXPECT_EQ(itemAt(scene, {1500, 500}, 0), nullptr);
  EXPECT_EQ(itemAt(scene, {1005, 500}, 0), nullptr);
  EXPECT_EQ(itemAt(scene, {1005, 500}, 10)->id, 1);
  EXPECT_EQ(itemAt(scene, {-8, -6}, 10)->id, 1);  // near the corner
  EXPECT_EQ(itemAt(scene, {-8, -8}, 10), nullptr);
  EXPECT_EQ(itemAt(Scene{}, {0, 0}, 100), nullptr);
}

TEST(DesignSceneTest, ItemAtWorksOnTurnedOutlines) {
  Scene scene;
  SceneItem diamond;
  diamond.id = 5;
  diamond.outline = {{0, -100}, {100, 0}, {0, 100}, {-100, 0}};
  SceneItem degenerate;  // a symbol squashed to a line still counts by distance
  degenerate.id = 6;
  degenerate.outline = {{500, 0}, {600, 0}, {600, 0}, {500, 0}};
  scene.items = {diamond, degenerate};
  EXPECT_EQ(itemAt(scene, {0, 0}, 0)->id, 5);
  EXPECT_EQ(itemAt(scene, {40, 40}, 0)->id, 5);
  EXPECT_EQ(itemAt(scene, {80, 80}, 0), nullptr);  // inside the box, outside the diamond
  EXPECT_EQ(itemAt(scene, {550, 3}, 5)->id, 6);
  EXPECT_EQ(itemAt(scene, {550, 30}, 5), nullptr);
}

ItemInfo withId(int32_t id) {
  ItemInfo info;
  info.id = id;
  return info;
}

TEST(DesignSceneTest, CopperIsDrawnByLayerFromTheBottomUp) {
  Design d;
  d.pcb.layers = {{1, "F.Cu", true}, {2, "In1.Cu", true}, {3, "B.Cu", true}, {4, "F.SilkS", false}};
  d.pcb.tracks = {{withId(1), 1, 20000, {0, 0}, {100000, 0}},
                  {withId(2), 3, 30000, {0, 0}, {0, 100000}}};
  d.pcb.arcs = {{withId(3), 2, 10000, {-100000, 0}, {0, 100000}, {100000, 0}}};
  d.pcb.vias = {{withId(4), {500000, 500000}, 60000, 30000, 1, 3, DBX_18::kViaThrough}};
  Zone zone;
  zone.info.id = 5;
  zone.layerIds = {1, 3};
  zone.outline = {{0, 0}, {10, 0}, {10, 10}};
  d.pcb.zones = {zone};
  const Scene scene = pcbScene(d);
  ASSERT_EQ(scene.copper.size(), 6u);
  // Bottom layer (depth 2): its zone, then its track; then the inner arc, the
  // top zone and track, and the via last.
  EXPECT_EQ(scene.copper[0].kind, SceneCopper::kZone);
  EXPECT_TRUE(scene.copper[0].bottom);
  EXPECT_EQ(scene.copper[1].kind, SceneCopper::kTrack);
  EXPECT_EQ(scene.copper[1].width, 30000);
  EXPECT_EQ(scene.copper[2].depth, 1);
  EXPECT_EQ(scene.copper[3].kind, SceneCopper::kZone);
  EXPECT_EQ(scene.copper[3].depth, 0);
  EXPECT_EQ(scene.copper[4].points.back().x, 100000);
  EXPECT_EQ(scene.copper[5].kind, SceneCopper::kVia);
  EXPECT_EQ(scene.copper[5].width, 60000);
  // The arc runs from its start through its mid to its end on its circle.
  const std::vector<ViewPoint>& arc = scene.copper[2].points;
  EXPECT_NEAR(arc.front().x, -100000, 1e-6);
  EXPECT_NEAR(arc.back().x, 100000, 1e-6);
  EXPECT_NEAR(arc[arc.size() / 2].y, 100000, 1e-6);
  for (ViewPoint p : arc) EXPECT_NEAR(std::hypot(p.x, p.y), 100000, 1e-6);
  // The bounds hold the via's whole circle.
  EXPECT_GE(scene.bounds.right, 530000);

  // A board's drawings on the silkscreen are no copper: not drawn as such.
  d.pcb.tracks.push_back({withId(6), 4, 15000, {0, 0}, {900000, 900000}});
  d.pcb.arcs.push_back({withId(7), 4, 15000, {-1, 0}, {0, 1}, {1, 0}});
  zone.info.id = 8;
  zone.layerIds = {4};
  d.pcb.zones.push_back(zone);
  const Scene withDrawings = pcbScene(d);
  EXPECT_EQ(withDrawings.copper.size(), 6u);
  EXPECT_LT(withDrawings.bounds.right, 900000);
}

}  // namespace
}  // namespace dbxhost
