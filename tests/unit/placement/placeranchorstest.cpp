// Placing by anchors on the in-process host: every copy is the template
// carried by the motion that takes the template's anchor onto the copy's,
// checked with the host's own flips and turns of the template.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>

#include "placement/placer.h"
#include "placement/placertexts.h"
#include "placerfixture.h"
#include "routedchannels.h"

namespace {

using namespace testing_placement;
using placement::Arrangement;
using placement::Control;

constexpr int kChannels = 4;
constexpr int kParts = 3;
constexpr int32_t kRowPitch = 300000;  // channel c stands 3.00 above channel c - 1

// What the test does to a copy's anchor and expects of the rest of the copy:
// the host's own edit of a placement about a point.
using HostEdit = std::function<dbxhost::Placement(const dbxhost::Placement&, DBX::TPoint)>;

dbxhost::Placement turnedBy(int32_t angle, const dbxhost::Placement& p, DBX::TPoint about) {
  return dbxhost::rotated(p, angle, about);
}

DBX::TPoint pointTurned(int32_t angle, DBX::TPoint p, DBX::TPoint about) {
  return dbxhost::rotateAbout(p, about, angle);
}

DBX::TPoint pointFlipped(DBX::TPoint p, DBX::TPoint about) { return {2 * about.x - p.x, p.y}; }

// The routed channels on a board that holds wherever their anchors turn
// them.
dbxhost::Design channelsOnABoard(int channels) {
  dbxhost::Design design = routedChannels(channels, kParts, 1);
  constexpr int32_t kEdge = 10000000;
  design.pcb.boardOutline = {{-kEdge, -kEdge}, {kEdge, -kEdge}, {kEdge, kEdge}, {-kEdge, kEdge}};
  return design;
}

class PlacerAnchorsTest : public PlacerFixture {
 protected:
  // Channel c's anchor (its first part) edited in the host, the routed
  // template's copies then placed on their anchors.
  void placeOnAnchors(const std::map<int, HostEdit>& anchorEdits) {
    dbxhost::Design channels = channelsOnABoard(kChannels);
    for (const auto& [channel, edit] : anchorEdits) {
      dbxhost::Placement& anchor =
          channels.pcb.components[std::size_t((channel - 1) * kParts)].placement;
      anchor = edit(anchor, anchor.refPoint);
    }
    templateDesign = channels;
    startAnchored(std::move(channels), syntheticNames(kChannels, kParts));
    ASSERT_TRUE(placer.PlaceEnabled());
    placer.PlaceClick();
  }
  // The channels on the host, the first group the template, to be placed
  // on the anchors at item 0.
  void startAnchored(dbxhost::Design channels, const std::vector<std::string>& groupNames) {
    start(std::move(channels));
    load(groupNames, kParts);
    placer.GroupsListClick(0);
    placer.SetArrangement(Arrangement::Anchors);
    placer.SetAnchorItem(0);
  }
  const dbxhost::PcbComponent& templatePart(int k) const {
    return templateDesign.pcb.components[std::size_t(k)];
  }
  // Expects every part of the channel where the host's edit, about the
  // copy's anchor, takes the template's part shifted to the channel's row.
  void expectChannel(int channel, const HostEdit& edit) {
    const int32_t dy = (channel - 1) * kRowPitch;
    const DBX::TPoint about =
        hostComponent(syntheticNames(kChannels, kParts)[std::size_t((channel - 1) * kParts)])
            .placement.refPoint;
    for (int k = 0; k < kParts; ++k) {
      const std::string refDes =
          syntheticNames(kChannels, kParts)[std::size_t((channel - 1) * kParts + k)];
      const dbxhost::Placement expected =
          edit(dbxhost::moved(templatePart(k).placement, 0, dy), about);
      const dbxhost::PcbComponent copy = hostComponent(refDes);
      EXPECT_EQ(copy.placement.rotation, expected.rotation) << refDes;
      EXPECT_EQ(copy.placement.flipped, expected.flipped) << refDes;
      const std::vector<DBX::TPoint> pads = hostPads(refDes);
      const std::vector<DBX::TPoint> wanted = host->readDesign([&](const dbxhost::Design& d) {
        return dbxhost::padPositions(d.pcb.patterns.at(copy.patternName), expected);
      });
      ASSERT_EQ(pads.size(), wanted.size());
      for (std::size_t i = 0; i < pads.size(); ++i) {
        EXPECT_LE(std::abs(int64_t{pads[i].x} - wanted[i].x), 2) << refDes << " pad " << i;
        EXPECT_LE(std::abs(int64_t{pads[i].y} - wanted[i].y), 2) << refDes << " pad " << i;
      }
    }
  }
  // The host's tracks on the given nets.
  std::vector<dbxhost::Track> tracksOn(const std::set<int32_t>& nets) const {
    return host->readDesign([&](const dbxhost::Design& d) {
      std::vector<dbxhost::Track> found;
      for (const dbxhost::Track& track : d.pcb.tracks) {
        if (nets.contains(track.info.netId)) found.push_back(track);
      }
      return found;
    });
  }
  // Expects channel c's inner nets to carry the template's inner tracks
  // with their ends carried by pointEdit about the copy's anchor.
  void expectCopper(int channel,
                    const std::function<DBX::TPoint(DBX::TPoint, DBX::TPoint)>& pointEdit) {
    const DBX::TPoint about =
        hostComponent(syntheticNames(kChannels, kParts)[std::size_t((channel - 1) * kParts)])
            .placement.refPoint;
    for (int k = 0; k + 1 < kParts; ++k) {
      const int32_t templateNet = routedInnerNet(kParts, 1, k);
      const int32_t copyNet = routedInnerNet(kParts, channel, k);
      std::vector<dbxhost::Track> model;
      for (const dbxhost::Track& t : templateDesign.pcb.tracks) {
        if (t.info.netId == templateNet) model.push_back(t);
      }
      const std::vector<dbxhost::Track> copies = tracksOn({copyNet});
      ASSERT_EQ(copies.size(), model.size()) << "channel " << channel << " net " << copyNet;
      for (std::size_t i = 0; i < model.size(); ++i) {
        const auto carried = [&](DBX::TPoint p) {
          return pointEdit({p.x, p.y + (channel - 1) * kRowPitch}, about);
        };
        const DBX::TPoint start = carried(model[i].start);
        const DBX::TPoint end = carried(model[i].end);
        EXPECT_LE(std::abs(int64_t{copies[i].start.x} - start.x), 2);
        EXPECT_LE(std::abs(int64_t{copies[i].start.y} - start.y), 2);
        EXPECT_LE(std::abs(int64_t{copies[i].end.x} - end.x), 2);
        EXPECT_LE(std::abs(int64_t{copies[i].end.y} - end.y), 2);
      }
    }
  }

  dbxhost::Design templateDesign;
};

TEST_F(PlacerAnchorsTest, CopiesFollowAnchorsTurnedByAQuarterAnEighthOrFlipped) {
  const HostEdit quarter = [](const dbxhost::Placement& p, DBX::TPoint about) {
    return turnedBy(900, p, about);
  };
  const HostEdit flip = [](const dbxhost::Placement& p, DBX::TPoint about) {
    return dbxhost::flipped(p, about);
  };
  const HostEdit eighth = [](const dbxhost::Placement& p, DBX::TPoint about) {
    return turnedBy(450, p, about);
  };
  const std::map<int, HostEdit> edits = {{2, quarter}, {3, flip}, {4, eighth}};
  placeOnAnchors(edits);
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes.front().text;
  for (const auto& [channel, edit] : edits) expectChannel(channel, edit);
  expectCopper(2, [](DBX::TPoint p, DBX::TPoint about) { return pointTurned(900, p, about); });
  expectCopper(3, pointFlipped);
  expectCopper(4, [](DBX::TPoint p, DBX::TPoint about) { return pointTurned(450, p, about); });
  // The template stays, and so do the anchors.
  EXPECT_EQ(hostComponent("R1").placement, templatePart(0).placement);
}

TEST_F(PlacerAnchorsTest, AnchorsWhereTheyStandLeaveEveryCopyRepeatingTheTemplateShifted) {
  placeOnAnchors({});
  const HostEdit none = [](const dbxhost::Placement& p, DBX::TPoint) { return p; };
  for (int channel = 2; channel <= kChannels; ++channel) expectChannel(channel, none);
}

TEST_F(PlacerAnchorsTest, ALockedAnchorIsFineButALockedPartStopsThePlace) {
  dbxhost::Design channels = channelsOnABoard(2);
  channels.pcb.components[3].fixed = true;  // the copy's anchor
  channels.pcb.components[3].placement = dbxhost::rotated(
      channels.pcb.components[3].placement, 900, channels.pcb.components[3].placement.refPoint);
  startAnchored(channels, syntheticNames(2, kParts));
  placer.PlaceClick();
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(hostComponent("C5").placement.rotation, 900);

  channels.pcb.components[4].fixed = true;  // C5, a part that must move
  startAnchored(channels, syntheticNames(2, kParts));
  const uint64_t revision = host->revision();
  placer.PlaceClick();
  EXPECT_EQ(host->revision(), revision);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_THAT(ui.boxes[0].text, testing::HasSubstr("Locked parts cannot be moved: C5"));
}

TEST_F(PlacerAnchorsTest, ACopyWithoutAPartAtTheAnchorsItemStopsThePlace) {
  std::vector<std::string> names = syntheticNames(3, kParts);
  names[6] = "R99";  // the third channel's anchor is not on the PCB
  startAnchored(channelsOnABoard(3), names);
  const uint64_t revision = host->revision();
  placer.PlaceClick();
  EXPECT_EQ(host->revision(), revision);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text,
            "These groups have no part at the anchor's item: G3\nNothing was moved.");
  // Another anchor item that every copy has places them all; the missing
  // part's net has no counterpart, so its copper is named as not copied.
  ui.boxes.clear();
  placer.SetAnchorItem(1);
  placer.PlaceClick();
  EXPECT_NE(host->revision(), revision);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_THAT(ui.boxes[0].text, testing::EndsWith("G3: VCC -> no net (1 item)\n"));
}

TEST_F(PlacerAnchorsTest, TheDefaultAnchorHasTheMostPinsAndTiesGoByDesignator) {
  start(dbxhost::readDesignFile(kQuad));
  load(quadNames(), 7);
  EXPECT_EQ(placer.AnchorItem(), std::nullopt);
  EXPECT_TRUE(placer.AnchorChoices().empty());
  placer.GroupsListClick(1);
  ASSERT_EQ(placer.AnchorChoices().size(), 7u);
  EXPECT_EQ(placer.AnchorChoices()[3], (placement::TPlacer::AnchorChoice{3, "U2"}));
  EXPECT_EQ(placer.AnchorItem(), std::optional<std::size_t>(3));  // the op-amp
  placer.SetAnchorItem(0);
  EXPECT_EQ(placer.AnchorItem(), std::optional<std::size_t>(0));
  EXPECT_THROW(placer.SetAnchorItem(7), std::out_of_range);
  // Another template brings its own default.
  placer.GroupsListClick(2);
  EXPECT_EQ(placer.AnchorItem(), std::optional<std::size_t>(3));

  // Equal pins: the first designator in designator order, not item order.
  start(channelsOnABoard(2));
  load({"R3", "C2", "R1", "R6", "C5", "R4"}, kParts);
  placer.GroupsListClick(0);
  EXPECT_EQ(placer.AnchorItem(), std::optional<std::size_t>(1));  // C2
}

TEST_F(PlacerAnchorsTest, AnchorsNeedNoValidGridField) {
  start(channelsOnABoard(2));
  load(syntheticNames(2, kParts), kParts);
  placer.GroupsListClick(0);
  placer.EditField(Control::DeltaX, "wide");
  EXPECT_FALSE(placer.PlaceEnabled());
  placer.SetArrangement(Arrangement::Anchors);
  EXPECT_TRUE(placer.PlaceEnabled());
  EXPECT_TRUE(placer.GridMessage().empty());
  placer.SetArrangement(Arrangement::Grid);
  EXPECT_FALSE(placer.PlaceEnabled());
}

}  // namespace
