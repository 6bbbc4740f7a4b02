// Which copper belongs to the template group, and what a copy makes of it.
#include "placement/routingcopy.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "../dbx/scripteddbx.h"
#include "../host/engine/copperrecords.h"
#include "diag/tandrelerror.h"

namespace {

using placement::DesignPoint;
using placement::DesignRect;
using placement::RoutingCopy;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int32_t kGnd = 1;
constexpr int32_t kInA = 10;
constexpr int32_t kOutA = 11;
constexpr int32_t kInB = 20;
constexpr int32_t kOutB = 21;
constexpr int32_t kOther = 30;

DBX::TLine line(int32_t id, DBX::TPoint from, DBX::TPoint to, int32_t net) {
  DBX::TLine r;
  r.lineId = id;
  r.layerId = 1;
  r.width = 25000;
  r.startPt = from;
  r.endPt = to;
  r.netId = net;
  return r;
}

DBX::TPolygon zone(int32_t id, std::vector<DBX::TPoint> outline, int32_t net) {
  DBX::TPolygon r;
  r.polygonId = id;
  r.layerId = 2;
  r.netId = net;
  r.numberPoints = static_cast<int32_t>(outline.size());
  for (std::size_t i = 0; i < outline.size(); ++i) r.points[i] = outline[i];
  return r;
}

std::vector<int32_t> lineIds(const DBX::PcbItems& items) {
  std::vector<int32_t> ids;
  for (const DBX::TLine& l : items.lines) ids.push_back(l.lineId);
  return ids;
}

class RoutingCopyTest : public ::testing::Test {
 protected:
  // A two-pin part whose pins carry the given nets.
  DBX::Component* part(const char* refDes, std::map<std::string, int32_t> nets) {
    DBX::TComponent record;
    DBX::setText(record.refDes, refDes);
    parts.push_back(std::make_unique<DBX::Component>(design, DBX::kToolPcb, record));
    for (const auto& [pin, net] : nets) parts.back()->pins[pin].netId = net;
    return parts.back().get();
  }

  testing_dbx::ScriptedDbx dbx;
  DBX::Design design{dbx};
  std::vector<std::unique_ptr<DBX::Component>> parts;
  // The template's footprint, 0..1000 x 0..1000.
  const DesignRect footprint{0, 0, 1000, 1000};
};

TEST_F(RoutingCopyTest, NetsMapPinByPinAndSelfMappedSupplyNetsStay) {
  const std::vector<placement::CompInfo> model{part("R1", {{"1", kInA}, {"2", kOutA}}),
                                               part("C1", {{"1", kOutA}, {"2", kGnd}})};
  const std::vector<placement::CompInfo> copy{part("R2", {{"1", kInB}, {"2", kOutB}}),
                                              part("C2", {{"1", kOutB}, {"2", kGnd}})};
  const RoutingCopy::NetMapping mapping = RoutingCopy::MapNets(model, copy);
  EXPECT_EQ(mapping, (RoutingCopy::NetMapping{{kGnd, {kGnd}}, {kInA, {kInB}}, {kOutA, {kOutB}}}));
  EXPECT_EQ(RoutingCopy::TemplateNets(model), (std::set<int32_t>{kGnd, kInA, kOutA}));
}

TEST_F(RoutingCopyTest, MissingPartsAndPinsAddNothingButAnUnmatchedPinMapsToNoNet) {
  const std::vector<placement::CompInfo> model{part("R1", {{"1", kInA}, {"2", 0}}), nullptr,
                                               part("C1", {{"1", kOutA}})};
  const std::vector<placement::CompInfo> copy{part("R2", {{"1", kInB}, {"2", kOther}}),
                                              part("C9", {{"1", kOther}}), part("C2", {})};
  EXPECT_EQ(RoutingCopy::MapNets(model, copy),
            (RoutingCopy::NetMapping{{kInA, {kInB}}, {kOutA, {0}}}));
}

TEST_F(RoutingCopyTest, TemplateItemsLieWithinTheGrownFootprintOnTemplateNets) {
  DBX::PcbItems board;
  board.lines = {
      line(1, {100, 100}, {900, 900}, kInA),      // inside
      line(2, {-50, 100}, {500, 1050}, kInA),     // inside the 100 margin
      line(3, {-50, 100}, {500, 1101}, kInA),     // one end beyond the margin
      line(4, {100, 100}, {200, 200}, kOther),    // a net no template pin touches
      line(5, {100, 100}, {200, 200}, 0),         // on no net: a drawing, say
      line(6, {1100, 1100}, {-100, -100}, kGnd),  // on the grown edge
  };
  DBX::TVia via;
  via.viaId = 7;
  via.location = {500, 500};
  via.netId = kGnd;
  DBX::TVia farVia = via;
  farVia.viaId = 8;
  farVia.location = {5000, 500};
  board.vias = {via, farVia};
  DBX::TArc arc;
  arc.arcId = 9;
  arc.startPt = {0, 0};
  arc.midPt = {500, 1200};  // the bulge leaves the area
  arc.endPt = {1000, 0};
  arc.netId = kInA;
  board.arcs = {arc};
  board.polygons = {zone(10, {{0, 0}, {1000, 0}, {1000, 1000}}, 0),
                    zone(11, {{0, 0}, {1000, 0}, {1000, 2000}}, kGnd),
                    zone(12, {{0, 0}, {1000, 0}, {1000, 1000}}, kOther)};

  const RoutingCopy routing(board, footprint, 100, {kGnd, kInA, kOutA});
  const DBX::PcbItems& picked = routing.TemplateItems();
  EXPECT_THAT(lineIds(picked), ElementsAre(1, 2, 5, 6));
  ASSERT_EQ(picked.vias.size(), 1u);
  EXPECT_EQ(picked.vias[0].viaId, 7);
  EXPECT_THAT(picked.arcs, IsEmpty());
  ASSERT_EQ(picked.polygons.size(), 1u);
  EXPECT_EQ(picked.polygons[0].polygonId, 10);

  EXPECT_TRUE(RoutingCopy(board, DesignRect::Empty(), 100, {kInA}).TemplateItems().empty());
  // A negative margin shrinks nothing.
  EXPECT_THAT(lineIds(RoutingCopy(board, footprint, -100, {kInA}).TemplateItems()),
              ElementsAre(1, 5));
}

TEST_F(RoutingCopyTest, OnNoNetOnlyWhatAnEarlierPlaceCopiedIsReplaced) {
  // The template's drawing, and a copy area from x 5000 to 6000.
  DBX::TLine label = line(1, {100, 100}, {900, 100}, 0);
  label.sourceItemId = 1;
  DBX::TLine copied = label;  // copied for the copy by an earlier Place
  copied.lineId = 2;
  copied.startPt = {5100, 100};
  copied.endPt = {5900, 100};
  DBX::TLine own = copied;  // the copy's own drawing
  own.lineId = 3;
  own.sourceItemId = 3;
  DBX::TLine grouped = own;  // copied in an earlier session: only its group tells
  grouped.lineId = 4;
  grouped.sourceItemId = 4;
  DBX::setText(grouped.groupName, "Tandrel G7");
  DBX::TLine elsewhere = copied;  // a copy of the label beyond the copy's area
  elsewhere.lineId = 5;
  elsewhere.startPt = {9100, 100};
  elsewhere.endPt = {9900, 100};
  DBX::TLine otherGroup = own;  // in a host group of the user's
  otherGroup.lineId = 6;
  DBX::setText(otherGroup.groupName, "Tandrel");
  DBX::PcbItems board;
  board.lines = {label, copied, own, grouped, elsewhere, otherGroup};
  board.polygons = {zone(7, {{5100, 100}, {5900, 100}, {5900, 900}}, 0),
                    zone(8, {{100, 100}, {900, 100}, {900, 900}}, 0)};
  board.polygons[0].sourceItemId = 8;
  board.polygons[1].sourceItemId = 8;

  const RoutingCopy routing(board, footprint, 100, {kInA});
  EXPECT_THAT(lineIds(routing.TemplateItems()), ElementsAre(1));
  const DesignRect area{5000, 0, 6000, 1000};
  const DBX::PcbItems replaced = routing.Replaced(board, {kInB}, {&area, 1}, 0);
  EXPECT_THAT(lineIds(replaced), ElementsAre(2, 4));
  // A zone on no net copied earlier goes too, rather than piling up.
  ASSERT_EQ(replaced.polygons.size(), 1u);
  EXPECT_EQ(replaced.polygons[0].polygonId, 7);
}

TEST_F(RoutingCopyTest, ACopyIsShiftedOnTheCopysNetsInTheCopysGroup) {
  DBX::PcbItems board;
  board.lines = {line(1, {100, 100}, {900, 900}, kInA), line(2, {100, 500}, {900, 500}, kGnd)};
  DBX::setText(board.lines[0].groupName, "Tandrel G1");
  board.lines[0].isCreatedByClient = 1;
  board.lines[1].sourceItemId = 2;  // read from the host's file
  DBX::TArc arc = dbxhost::records::arc(0, 15000, {0, 0}, {500, 300}, {1000, 0}, kOutA);
  arc.arcId = 3;
  board.arcs = {arc};
  board.polygons = {zone(4, {{0, 0}, {1000, 0}, {1000, 1000}}, kOutA)};

  const RoutingCopy routing(board, footprint, 0, {kGnd, kInA, kOutA});
  const RoutingCopy::Copy copy = routing.CopyFor({{kGnd, {kGnd}}, {kInA, {kInB}}, {kOutA, {kOutB}}},
                                                 {5000, -200}, "Tandrel G2");
  EXPECT_THAT(copy.skipped, IsEmpty());
  ASSERT_EQ(copy.toPlace.lines.size(), 2u);
  const DBX::TLine& first = copy.toPlace.lines[0];
  EXPECT_EQ(first.lineId, 0);
  EXPECT_EQ(first.netId, kInB);
  EXPECT_EQ(first.startPt, (DBX::TPoint{5100, -100}));
  EXPECT_EQ(first.endPt, (DBX::TPoint{5900, 700}));
  EXPECT_EQ(first.width, 25000);
  EXPECT_EQ(first.layerId, 1);
  EXPECT_EQ(DBX::getText(first.groupName), "Tandrel G2");
  EXPECT_EQ(first.isCreatedByClient, 0);
  EXPECT_EQ(copy.toPlace.lines[1].netId, kGnd);
  // Each copy names the item whose attributes the host gives it.
  EXPECT_EQ(first.sourceItemId, 0);
  EXPECT_EQ(copy.toPlace.lines[1].sourceItemId, 2);
  ASSERT_EQ(copy.toPlace.arcs.size(), 1u);
  EXPECT_EQ(copy.toPlace.arcs[0].midPt, (DBX::TPoint{5500, 100}));
  EXPECT_EQ(copy.toPlace.arcs[0].netId, kOutB);
  ASSERT_EQ(copy.toPlace.polygons.size(), 1u);
  EXPECT_EQ(copy.toPlace.polygons[0].numberPoints, 3);
  EXPECT_EQ(copy.toPlace.polygons[0].points[2], (DBX::TPoint{6000, 800}));
  EXPECT_EQ(copy.toPlace.polygons[0].netId, kOutB);
}

TEST_F(RoutingCopyTest, NetsWithoutOneCopyNetAreSkippedNotGuessed) {
  DBX::PcbItems board;
  board.lines = {line(1, {100, 100}, {200, 200}, kInA), line(2, {100, 100}, {200, 200}, kOutA),
                 line(3, {100, 100}, {200, 200}, kGnd), line(4, {100, 100}, {200, 200}, kOther)};
  const RoutingCopy routing(board, footprint, 0, {kInA, kOutA, kGnd, kOther});
  const RoutingCopy::Copy copy = routing.CopyFor(
      {{kInA, {kInB, kOutB}}, {kOutA, {0}}, {kGnd, {0, kGnd}}}, {0, 0}, "Tandrel G2");
  EXPECT_THAT(copy.toPlace.lines, IsEmpty());
  ASSERT_EQ(copy.skipped.size(), 4u);
  EXPECT_EQ(copy.skipped[0].itemType, DBX::DBX_LINE);
  EXPECT_EQ(copy.skipped[0].itemId, 1);
  EXPECT_EQ(copy.skipped[0].netId, kInA);
  EXPECT_EQ(copy.skipped[0].reason, RoutingCopy::SkipReason::AmbiguousNet);
  EXPECT_EQ(copy.skipped[0].copyNets, (std::set<int32_t>{kInB, kOutB}));
  EXPECT_EQ(copy.skipped[1].reason, RoutingCopy::SkipReason::NoCopyNet);
  EXPECT_EQ(copy.skipped[2].reason, RoutingCopy::SkipReason::AmbiguousNet);
  EXPECT_EQ(copy.skipped[3].reason, RoutingCopy::SkipReason::NoCopyNet);
  EXPECT_THAT(copy.skipped[3].copyNets, IsEmpty());
}

TEST_F(RoutingCopyTest, AShiftBeyondTheHostsRangeIsRefused) {
  DBX::PcbItems board;
  board.lines = {line(1, {100, 100}, {900, 900}, kInA)};
  const RoutingCopy routing(board, footprint, 0, {kInA});
  EXPECT_THROW(routing.CopyFor({{kInA, {kInB}}}, {INT32_MAX - 500, 0}, "Tandrel G2"), TandrelError);
}

DBX::TLayer layer(int32_t id, const char* name, bool copper = false) {
  DBX::TLayer layer;
  layer.layerId = id;
  std::snprintf(layer.layerName, sizeof layer.layerName, "%s", name);
  layer.layerType = copper ? DBX::kLayerTypeSignal : DBX::kLayerTypeNonSignal;
  return layer;
}

}  // namespace

// A copy mirrored onto the other side has its copper on the other side too,
// as its parts' pads are: on a four-layer stack the outer layers swap and
// so do the inner ones, a blind via keeps its upper layer first, and a
// drawing on the front silkscreen goes to the back one. Only a mirror moves
// items between layers.
TEST(RoutingCopyLayers, AMirroredCopyTurnsTheCopperStackOver) {
  const std::vector<DBX::TLayer> boardLayers = {
      layer(1, "F.Cu", true), layer(5, "In1.Cu", true), layer(6, "In2.Cu", true),
      layer(2, "B.Cu", true), layer(10, "F.SilkS"),     layer(11, "B.SilkS"),
      layer(12, "Dwgs.User"), layer(13, "F.Fab"),  // no "B.Fab" beside it
  };
  const RoutingCopy::LayerMirror layers = RoutingCopy::MirrorOf(boardLayers);
  EXPECT_EQ(layers, (RoutingCopy::LayerMirror{{1, 2}, {5, 6}, {6, 5}, {2, 1}, {10, 11}, {11, 10}}));
  EXPECT_THAT(RoutingCopy::MirrorOf({}), IsEmpty());

  DBX::PcbItems board;
  board.lines = {line(1, {100, 100}, {200, 200}, kInA)};  // on layer 1, the top
  board.arcs = {dbxhost::records::arc(5, 15000, {100, 100}, {150, 120}, {200, 100}, kInA)};
  board.arcs[0].arcId = 2;
  DBX::TVia via;
  via.viaId = 3;
  via.location = {150, 150};
  via.startLayerId = 1;
  via.endLayerId = 6;
  via.viaType = DBX::kViaBlindBuried;
  via.netId = kInA;
  board.vias = {via};
  board.polygons = {zone(4, {{100, 100}, {200, 100}, {200, 200}}, kInA)};  // layer 2
  // A layer the stack does not name (the host would not serve it) stays.
  board.lines.push_back(line(5, {120, 120}, {180, 180}, kInA));
  board.lines.back().layerId = 9;
  // A drawing goes to the silkscreen of the other side; one on a user layer
  // stays.
  board.lines.push_back(line(6, {110, 110}, {190, 110}, 0));
  board.lines.back().layerId = 10;
  board.lines.push_back(line(7, {110, 190}, {190, 190}, 0));
  board.lines.back().layerId = 12;
  const RoutingCopy routing(board, {0, 0, 1000, 1000}, 0, {kInA});
  const placement::Motion flip =
      placement::Motion::Between({{150, 150}, false, 0}, {{5150, 150}, true, 0});
  ASSERT_TRUE(flip.Mirrors());
  const RoutingCopy::Copy mirrored = routing.CopyFor({{kInA, {kInB}}}, flip, "Tandrel G2", layers);
  ASSERT_EQ(mirrored.toPlace.lines.size(), 4u);
  EXPECT_EQ(mirrored.toPlace.lines[0].layerId, 2);
  EXPECT_EQ(mirrored.toPlace.lines[1].layerId, 9);
  EXPECT_EQ(mirrored.toPlace.lines[2].layerId, 11);
  EXPECT_EQ(mirrored.toPlace.lines[3].layerId, 12);
  ASSERT_EQ(mirrored.toPlace.arcs.size(), 1u);
  EXPECT_EQ(mirrored.toPlace.arcs[0].layerId, 6);
  ASSERT_EQ(mirrored.toPlace.vias.size(), 1u);
  EXPECT_EQ(mirrored.toPlace.vias[0].startLayerId, 5);
  EXPECT_EQ(mirrored.toPlace.vias[0].endLayerId, 2);
  EXPECT_EQ(mirrored.toPlace.vias[0].location, (DBX::TPoint{5150, 150}));
  ASSERT_EQ(mirrored.toPlace.polygons.size(), 1u);
  EXPECT_EQ(mirrored.toPlace.polygons[0].layerId, 1);

  const placement::Motion turn =
      placement::Motion::Between({{150, 150}, false, 0}, {{5150, 150}, false, 900});
  const RoutingCopy::Copy turned = routing.CopyFor({{kInA, {kInB}}}, turn, "Tandrel G2", layers);
  ASSERT_EQ(turned.toPlace.vias.size(), 1u);
  EXPECT_EQ(turned.toPlace.lines[0].layerId, 1);
  EXPECT_EQ(turned.toPlace.arcs[0].layerId, 5);
  EXPECT_EQ(turned.toPlace.vias[0].startLayerId, 1);
  EXPECT_EQ(turned.toPlace.vias[0].endLayerId, 6);
  EXPECT_EQ(turned.toPlace.polygons[0].layerId, 2);
}
