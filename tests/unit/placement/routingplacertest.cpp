// Repeating the template's copper and texts in the host, on a scripted host:
// what is deleted, placed and modified, and what is reported.
#include "placement/routingplacer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "../dbx/scripteddbx.h"
#include "diag/tandrelerror.h"
#include "scriptedui.h"

namespace {

using namespace testing_dbx;
using placement::CompInfo;
using placement::DesignRect;
using placement::RoutingPlacer;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int32_t kGnd = 1;
constexpr int32_t kInA = 10;
constexpr int32_t kInB = 20;
constexpr int32_t kOutB = 21;

TItem lineItem(int32_t id, TPoint from, TPoint to, int32_t net, const char* group = "",
               bool byClient = false) {
  TItem item{};
  item.itemType = DBX_LINE;
  item.line.lineId = id;
  item.line.startPt = from;
  item.line.endPt = to;
  item.line.netId = net;
  setText(item.line.groupName, group);
  item.line.isCreatedByClient = byClient ? 1 : 0;
  return item;
}

TAttribute text(int32_t type, TPoint at, int32_t angle, bool visible) {
  TAttribute record;
  record.attrType = type;
  record.refPoint = at;
  record.rotationAng = angle;
  record.isVisible = visible ? 1 : 0;
  return record;
}

// R1 is the template at (1000, 1000) with its footprint (0, 0)-(2000, 2000);
// R2 its copy ten thousand units to the right.
class RoutingPlacerTest : public ::testing::Test {
 protected:
  void load(std::vector<TPad> templatePads = {pad("1", kInA), pad("2", kGnd)},
            std::vector<TPad> copyPads = {pad("1", kInB), pad("2", kGnd)}) {
    TComponent r1 = component("R1");
    r1.refPoint = {1000, 1000};
    TComponent r2 = component("R2");
    r2.refPoint = {11000, 1000};
    dbx.components = {r1, r2};
    dbx.header.isGridAbsolute = 1;
    dbx.pads["R1"] = std::move(templatePads);
    dbx.pads["R2"] = std::move(copyPads);
    dbx.nets = {net(kGnd, "GND", 2), net(kInA, "/A/IN", 1), net(kInB, "/B/IN", 1),
                net(kOutB, "/B/OUT", 1)};
    design.selectTool(kToolPcb);
    model = {design.pack().components().left.at("R1")};
    copy = {design.pack().components().left.at("R2")};
  }
  std::vector<RoutingPlacer::Target> targets() { return {{1, copy, {10000, 0}, copyArea}}; }

  testing_diag::ScriptedUi ui;
  ScriptedDbx dbx;
  DBX::Design design{dbx};
  std::vector<CompInfo> model;
  std::vector<CompInfo> copy;
  const DesignRect footprint{0, 0, 2000, 2000};
  const DesignRect copyArea{30000, 0, 32000, 2000};  // where R2 stood before
};

TEST_F(RoutingPlacerTest, CopperInTheCopysAreasOnItsNetsIsReplacedAndNothingElse) {
  load();
  dbx.pcbItems = {
      lineItem(1, {100, 100}, {1900, 100}, kInA),
      lineItem(2, {100, 500}, {1900, 500}, kGnd),
      lineItem(3, {5000, 5000}, {6000, 5000}, kInA),  // the user's, far away
      // Where the copy goes, on its nets: whoever drew it, it goes.
      lineItem(4, {10100, 900}, {11900, 900}, kInB, "Tandrel G2", true),
      // Where the copy stood, on a shared net within that area: it goes.
      lineItem(5, {30100, 100}, {31900, 100}, kGnd),
      // The shared net outside both areas stays.
      lineItem(6, {20000, 0}, {21000, 0}, kGnd, "Tandrel G2", true),
      // Reaching out of the area: not the copy's alone, it stays.
      lineItem(8, {11000, 100}, {13000, 100}, kInB),
      // A net of the copy that no copied item maps to stays.
      lineItem(9, {10100, 1500}, {11900, 1500}, kOutB),
  };
  // A zone on two layers comes once per layer, one id.
  for (const int32_t layer : {1, 2}) {
    auto zone = std::make_unique<TItem>();
    zone->itemType = DBX_POLYGON;
    zone->polygon.polygonId = 7;
    zone->polygon.layerId = layer;
    zone->polygon.netId = kInB;
    zone->polygon.numberPoints = 3;
    zone->polygon.points[0] = {30100, 100};
    zone->polygon.points[1] = {31900, 100};
    zone->polygon.points[2] = {31900, 1900};
    dbx.pcbItems.push_back(*zone);
  }
  RoutingPlacer placer(design, model, footprint, 0, true);
  placer.CopyRouting(targets());

  // Newest first, by kind and id, so that a host takes them from the end of
  // its lists.
  ASSERT_EQ(dbx.deleted.size(), 3u);
  EXPECT_EQ(dbx.deleted[0].polygon.polygonId, 7);
  EXPECT_EQ(dbx.deleted[1].line.lineId, 5);
  EXPECT_EQ(dbx.deleted[2].line.lineId, 4);
  EXPECT_EQ(placer.Made().deleted.polygons.size(), 2u);  // both layers come back
  ASSERT_EQ(dbx.placed.size(), 2u);
  EXPECT_EQ(dbx.placed[0].line.startPt, (TPoint{10100, 100}));
  EXPECT_EQ(dbx.placed[0].line.netId, kInB);
  EXPECT_EQ(getText(dbx.placed[0].line.groupName), "Tandrel G2");
  EXPECT_EQ(dbx.placed[1].line.netId, kGnd);
  EXPECT_EQ(placer.DeletedCount(), 3u);
  EXPECT_EQ(placer.PlacedCount(), 2u);
  EXPECT_THAT(placer.Skipped(), IsEmpty());
  EXPECT_THAT(ui.boxes, IsEmpty());
}

TEST_F(RoutingPlacerTest, WithoutReplacingOrOverTheTemplateNoCopperIsDeleted) {
  load();
  dbx.pcbItems = {lineItem(1, {100, 100}, {1900, 100}, kInA),
                  lineItem(2, {100, 500}, {1900, 500}, kGnd),
                  lineItem(4, {10100, 900}, {11900, 900}, kInB)};
  RoutingPlacer keeping(design, model, footprint, 0, false);
  keeping.CopyRouting(targets());
  EXPECT_THAT(dbx.deleted, IsEmpty());
  EXPECT_EQ(keeping.PlacedCount(), 2u);

  // A copy that stood on the template does not take the template's copper
  // on the shared net for its own.
  dbx.placed.clear();
  RoutingPlacer replacing(design, model, footprint, 0, true);
  replacing.CopyRouting({{1, copy, {10000, 0}, footprint}});
  ASSERT_EQ(dbx.deleted.size(), 1u);
  EXPECT_EQ(dbx.deleted[0].line.lineId, 4);
  EXPECT_EQ(replacing.PlacedCount(), 2u);
}

TEST_F(RoutingPlacerTest, AnAmbiguousNetIsSkippedAndListedInOneBox) {
  load({pad("1", kInA), pad("2", kInA)}, {pad("1", kInB), pad("2", kOutB)});
  dbx.pcbItems = {lineItem(1, {100, 100}, {1900, 100}, kInA),
                  lineItem(2, {100, 300}, {1900, 300}, kInA)};

  RoutingPlacer placer(design, model, footprint, 0, true);
  placer.CopyRouting(targets());
  EXPECT_THAT(dbx.placed, IsEmpty());
  ASSERT_EQ(placer.Skipped().size(), 2u);
  EXPECT_EQ(placer.Skipped()[0].group, 1u);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, diag::MessageKind::Error);
  EXPECT_THAT(ui.boxes[0].text, ::testing::EndsWith("G2: /A/IN -> /B/IN, /B/OUT (2 items)\n"));
}

TEST_F(RoutingPlacerTest, TheFootprintIsTakenFromTheRelativeGridOrigin) {
  load();
  dbx.header.isGridAbsolute = 0;
  dbx.header.relGridOrigin = {5000, 5000};
  design.refreshHeader();
  dbx.pcbItems = {lineItem(1, {100, 100}, {1900, 100}, kInA)};
  RoutingPlacer placer(design, model, {-5000, -5000, -3000, -3000}, 0, true);
  placer.CopyRouting(targets());
  EXPECT_EQ(placer.PlacedCount(), 1u);
}

TEST_F(RoutingPlacerTest, ACopyBeyondTheHostsRangeChangesNothing) {
  load();
  dbx.pcbItems = {lineItem(1, {100, 100}, {1900, 100}, kInA),
                  lineItem(4, {100, 900}, {1900, 900}, kGnd, "Tandrel G2", true)};
  RoutingPlacer placer(design, model, footprint, 0, true);
  EXPECT_THROW(placer.CopyRouting({{1, copy, {INT32_MAX - 1000, 0}, copyArea}}), TandrelError);
  EXPECT_THAT(dbx.deleted, IsEmpty());
  EXPECT_THAT(dbx.placed, IsEmpty());
}

TEST_F(RoutingPlacerTest, TextsTakeTheTemplatesRelativePlacement) {
  load();
  dbx.attributes["R1"] = {text(kAttrRefDes, {1000, 1500}, 900, true),
                          text(kAttrValue, {1000, 500}, 0, false)};
  // The copy has no value text: nothing is made up for it.
  dbx.attributes["R2"] = {text(kAttrRefDes, {11200, 800}, 0, false)};
  RoutingPlacer placer(design, model, footprint, 0, true);
  placer.CopyTexts(targets());
  ASSERT_EQ(dbx.attributes["R2"].size(), 1u);
  const TAttribute& moved = dbx.attributes["R2"][0];
  EXPECT_EQ(moved.refPoint, (TPoint{11000, 1500}));
  EXPECT_EQ(moved.rotationAng, 900);
  EXPECT_EQ(moved.isVisible, 1);
  EXPECT_EQ(dbx.count(kModifyAttribute), 1);
  EXPECT_THAT(dbx.attributes["R1"][0].refPoint, (TPoint{1000, 1500}));
}

TEST(RoutingPlacerNames, EachCopyHasItsOwnHostGroup) {
  EXPECT_EQ(RoutingPlacer::GroupNameOf(0), "Tandrel G1");
  EXPECT_EQ(RoutingPlacer::GroupNameOf(11), "Tandrel G12");
}

}  // namespace
