// The PCB's copper and the components' texts through the design access:
// walks, edits and how their failures surface.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "dbx/design.h"
#include "diag/tandrelerror.h"
#include "scripteddbx.h"
#include "scriptedui.h"

namespace {

using namespace testing_dbx;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing_diag::ScriptedUi;

TItem lineItem(int32_t id, int32_t net) {
  TItem item{};
  item.itemType = DBX_LINE;
  item.line.lineId = id;
  item.line.netId = net;
  return item;
}

class DesignCopperTest : public ::testing::Test {
 protected:
  DesignCopperTest() {
    dbx.components = {component("U1")};
    design.selectTool(kToolPcb);
    u1 = design.pack().components().left.at("U1");
  }

  std::string failureOf(const std::function<void()>& call) {
    try {
      call();
    } catch (const DBXException& error) {
      return error.what();
    }
    ADD_FAILURE() << "no DBXException";
    return {};
  }

  ScriptedUi ui;
  ScriptedDbx dbx;
  Design design{dbx};
  Component* u1 = nullptr;
};

TEST_F(DesignCopperTest, TheWalkSortsEveryCopperItemByKindInOneConversation) {
  TItem arc{};
  arc.itemType = DBX_ARC;
  arc.arc.arcId = 2;
  TItem via{};
  via.itemType = DBX_VIA;
  via.via.viaId = 3;
  auto zone = std::make_unique<TItem>();
  zone->itemType = DBX_POLYGON;
  zone->polygon.polygonId = 4;
  zone->polygon.numberPoints = 3;
  TItem component{};
  component.itemType = DBX_COMPONENT;  // not copper: left out
  dbx.pcbItems = {lineItem(1, 7), arc, via, *zone, component, lineItem(5, 8)};
  dbx.calls.clear();

  const PcbItems items = design.pcbItems();
  ASSERT_EQ(items.lines.size(), 2u);
  EXPECT_EQ(items.lines[0].lineId, 1);
  EXPECT_EQ(items.lines[1].netId, 8);
  ASSERT_EQ(items.arcs.size(), 1u);
  EXPECT_EQ(items.arcs[0].arcId, 2);
  ASSERT_EQ(items.vias.size(), 1u);
  ASSERT_EQ(items.polygons.size(), 1u);
  EXPECT_EQ(items.polygons[0].numberPoints, 3);
  EXPECT_EQ(items.size(), 5u);
  // One conversation: reopened once (after the close of the stale one) and
  // closed at the end.
  EXPECT_EQ(dbx.count(kOpen), 1);
  EXPECT_EQ(dbx.count(kClose), 2);
  EXPECT_FALSE(dbx.open);
  EXPECT_EQ(dbx.count(kNextPcbItem), 6);
  EXPECT_TRUE(design.hasPcbItems());
}

TEST_F(DesignCopperTest, AnEmptyBoardHasNoCopperAndABrokenWalkFails) {
  EXPECT_TRUE(design.pcbItems().empty());
  EXPECT_FALSE(design.hasPcbItems());

  dbx.pcbItems = {lineItem(1, 7), lineItem(2, 7)};
  dbx.prepare(kNextPcbItem, {DBX_BAD_SERVER_DATA});
  EXPECT_THAT(failureOf([&] { design.pcbItems(); }), HasSubstr("DBX_BAD_SERVER_DATA"));
  EXPECT_EQ(design.lockCount(), 0);
}

TEST_F(DesignCopperTest, PlacedItemsComeBackWithTheHostsIdAndRefusalsFail) {
  TLine line;
  line.netId = 7;
  setText(line.groupName, "Tandrel G2");
  design.placeItem(line);
  EXPECT_NE(line.lineId, 0);
  EXPECT_EQ(line.isCreatedByClient, 1);
  TArc arc;
  design.placeItem(arc);
  TVia via;
  design.placeItem(via);
  auto zone = std::make_unique<TPolygon>();
  design.placeItem(*zone);
  ASSERT_EQ(dbx.placed.size(), 4u);
  EXPECT_EQ(getText(dbx.placed[0].line.groupName), "Tandrel G2");
  EXPECT_EQ(dbx.placed[3].itemType, DBX_POLYGON);

  dbx.prepare(kPlaceLine, {DBX_INVALID_LAYER});
  EXPECT_THAT(failureOf([&] { design.placeItem(line); }), HasSubstr("DBX_INVALID_LAYER"));
  dbx.prepare(kPlacePolygon, {DBX_ARRAY_TOO_SMALL});
  EXPECT_THAT(failureOf([&] { design.placeItem(*zone); }), HasSubstr("DBX_ARRAY_TOO_SMALL"));
  EXPECT_EQ(dbx.placed.size(), 4u);
  EXPECT_EQ(design.lockCount(), 0);
}

TEST_F(DesignCopperTest, DeletingNamesTheItemByKindAndId) {
  design.deleteItem(DBX_VIA, 12);
  design.deleteItem(DBX_POLYGON, 13);
  ASSERT_EQ(dbx.deleted.size(), 2u);
  EXPECT_EQ(dbx.deleted[0].itemType, DBX_VIA);
  EXPECT_EQ(dbx.deleted[0].via.viaId, 12);
  EXPECT_EQ(dbx.deleted[1].polygon.polygonId, 13);

  dbx.prepare(kDeleteItem, {DBX_DELETE_ERROR});
  EXPECT_THAT(failureOf([&] { design.deleteItem(DBX_LINE, 1); }), HasSubstr("DBX_DELETE_ERROR"));
  dbx.calls.clear();
  EXPECT_THROW(design.deleteItem(DBX_COMPONENT, 1), TandrelError);
  EXPECT_EQ(dbx.count(kDeleteItem), 0);
}

TEST_F(DesignCopperTest, TextsAreReadAndModifiedByTheComponentsDesignator) {
  TAttribute reference;
  reference.attrType = kAttrRefDes;
  reference.refPoint = {10, 20};
  TAttribute value;
  value.attrType = kAttrValue;
  dbx.attributes["U1"] = {reference, value};

  const std::vector<TAttribute> texts = u1->texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].refPoint, (TPoint{10, 20}));
  EXPECT_EQ(texts[1].attrType, kAttrValue);

  TAttribute moved = texts[0];
  moved.refPoint = {30, 40};
  moved.rotationAng = 900;
  u1->modifyText(moved);
  EXPECT_EQ(dbx.attributes["U1"][0].rotationAng, 900);
  EXPECT_EQ(dbx.count(kModifyAttribute), 1);
  for (const Call& call : dbx.calls) {
    if (call.ordinal == kModifyAttribute || call.ordinal == kFirstAttribute) {
      EXPECT_EQ(call.text, "U1");
    }
  }

  dbx.attributes["U1"].pop_back();
  TAttribute missing = value;
  EXPECT_THAT(failureOf([&] { u1->modifyText(missing); }), HasSubstr("DBX_ITEM_NOT_FOUND"));
}

}  // namespace
