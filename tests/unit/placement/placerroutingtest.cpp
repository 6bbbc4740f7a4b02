// Placing with the template's routing on the in-process host: the copies'
// copper, nets and texts in the host's board, a second Place that replaces
// the first one's copper, the board's drawings that follow the copies, and
// Undo Place taking it all back.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "engine/hostdbx.h"
#include "placement/placer.h"
#include "placerfixture.h"
#include "routedchannels.h"
#include "scriptedui.h"

namespace {

using placement::Control;
using testing_placement::routedInnerNet;

constexpr int kChannels = 4;
constexpr int kParts = 3;
constexpr int32_t kRowPitch = 400000;  // the 1.20 high footprint and a gap of 2.80

const dbxhost::PcbComponent& componentIn(const dbxhost::Design& design, const std::string& refDes) {
  for (const dbxhost::PcbComponent& c : design.pcb.components) {
    if (c.refDes == refDes) return c;
  }
  throw std::out_of_range("no component " + refDes);
}

// The template net's counterpart in channel c.
int32_t netInChannel(int32_t templateNet, int channel) {
  if (templateNet <= testing_placement::kRoutedVcc) return templateNet;
  return routedInnerNet(kParts, channel, templateNet - routedInnerNet(kParts, 1, 0));
}

const dbxhost::CompText* referenceText(const dbxhost::PcbComponent& part) {
  for (const dbxhost::CompText& text : part.texts) {
    if (text.attrType == DBX::kAttrRefDes) return &text;
  }
  return nullptr;
}

DBX::TPoint raised(DBX::TPoint p, int32_t dy) { return {p.x, p.y + dy}; }

class PlacerRoutingTest : public ::testing::Test {
 protected:
  // Places the channels in one column above the first, the given number of
  // times, and gives back the host's design.
  // With undo, "Undo Place" is pressed after the last Place.
  dbxhost::Design placeAndSave(int times, bool undo = false) {
    testing_diag::ScriptedUi ui;
    {
      DBX::Design design(host);
      design.selectTool(DBX::kToolPcb);
      placement::TPlacer placer;
      placer.LoadGroups(design, testing_placement::syntheticNames(kChannels, kParts), kParts);
      EXPECT_TRUE(placer.CopyRouting());
      placer.GroupsListClick(0);
      placer.EditField(Control::Cols, "1");
      placer.EditField(Control::GapY, "2.8");
      for (int i = 0; i < times; ++i) placer.PlaceClick();
      EXPECT_TRUE(placer.PlaceEnabled());
      if (undo) {
        EXPECT_TRUE(placer.UndoEnabled());
        placer.UndoPlaceClick();
        EXPECT_FALSE(placer.UndoEnabled());
      }
      design.clear();
    }
    EXPECT_TRUE(ui.boxes.empty()) << ui.boxes.front().text;
    return host.readDesign([](const dbxhost::Design& d) { return d; });
  }
  void start(const dbxhost::Design& design) {
    host.withDesign([&](dbxhost::Design& d) { d = design; });
  }

  dbxhost::HostDbx host{dbxhost::Design{}};
};

TEST_F(PlacerRoutingTest, EveryCopyRepeatsTheTemplatesCopperOnItsOwnNets) {
  const dbxhost::Design original = testing_placement::routedChannels(kChannels, kParts, 2);
  start(original);
  const dbxhost::Design saved = placeAndSave(1);

  // The user's copper is all still there, unchanged.
  ASSERT_GE(saved.pcb.tracks.size(), original.pcb.tracks.size());
  for (std::size_t i = 0; i < original.pcb.tracks.size(); ++i) {
    EXPECT_EQ(saved.pcb.tracks[i], original.pcb.tracks[i]);
  }
  for (int channel = 2; channel <= kChannels; ++channel) {
    const std::string group = "Tandrel G" + std::to_string(channel);
    const int32_t dy = (channel - 1) * kRowPitch;
    std::vector<const dbxhost::Track*> tracks;
    for (const dbxhost::Track& t : saved.pcb.tracks) {
      if (t.info.group == group) tracks.push_back(&t);
    }
    ASSERT_EQ(tracks.size(), original.pcb.tracks.size()) << group;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
      const dbxhost::Track& model = original.pcb.tracks[i];
      EXPECT_TRUE(tracks[i]->info.createdByClient);
      EXPECT_EQ(tracks[i]->start, raised(model.start, dy)) << group << " track " << i;
      EXPECT_EQ(tracks[i]->end, raised(model.end, dy)) << group << " track " << i;
      EXPECT_EQ(tracks[i]->info.netId, netInChannel(model.info.netId, channel)) << group;
      EXPECT_EQ(tracks[i]->width, model.width);
      EXPECT_EQ(tracks[i]->layerId, model.layerId);
    }
    int vias = 0;
    for (const dbxhost::Via& via : saved.pcb.vias) {
      if (via.info.group != group) continue;
      ++vias;
      EXPECT_EQ(via.at, raised(original.pcb.vias[0].at, dy));
      EXPECT_EQ(via.info.netId, testing_placement::kRoutedGnd);
    }
    EXPECT_EQ(vias, 1) << group;
    int zones = 0;
    for (const dbxhost::Zone& zone : saved.pcb.zones) {
      if (zone.info.group != group) continue;
      ++zones;
      ASSERT_EQ(zone.outline.size(), 4u);
      EXPECT_EQ(zone.outline[2], raised(original.pcb.zones[0].outline[2], dy));
      EXPECT_EQ(zone.layerIds, original.pcb.zones[0].layerIds);
    }
    EXPECT_EQ(zones, 1) << group;

    // Each part's reference text stands where the template part's does.
    for (int k = 0; k < kParts; ++k) {
      const std::string model = (k % 2 == 0 ? "R" : "C") + std::to_string(k + 1);
      const std::string copy =
          (k % 2 == 0 ? "R" : "C") + std::to_string((channel - 1) * kParts + k + 1);
      const dbxhost::PcbComponent& m = componentIn(saved, model);
      const dbxhost::PcbComponent& c = componentIn(saved, copy);
      const dbxhost::CompText* modelText = referenceText(m);
      const dbxhost::CompText* copyText = referenceText(c);
      ASSERT_TRUE(modelText != nullptr && copyText != nullptr) << copy;
      EXPECT_EQ(c.placement.refPoint, raised(m.placement.refPoint, dy)) << copy;
      EXPECT_EQ(copyText->at, raised(modelText->at, dy)) << copy;
      EXPECT_EQ(copyText->rotation, 900) << copy;
    }
  }
}

// The copies' copper sorted and without the host's ids, which a copy placed
// again gets afresh.
dbxhost::Design comparable(dbxhost::Design design) {
  auto trackKey = [](const dbxhost::Track& t) {
    return std::tie(t.info.group, t.info.netId, t.layerId, t.start.x, t.start.y, t.end.x, t.end.y);
  };
  auto viaKey = [](const dbxhost::Via& v) {
    return std::tie(v.info.group, v.info.netId, v.at.x, v.at.y);
  };
  for (dbxhost::Track& t : design.pcb.tracks) t.info.id = 0;
  for (dbxhost::Via& v : design.pcb.vias) v.info.id = 0;
  for (dbxhost::Zone& z : design.pcb.zones) z.info.id = 0;
  std::sort(design.pcb.tracks.begin(), design.pcb.tracks.end(),
            [&](const auto& a, const auto& b) { return trackKey(a) < trackKey(b); });
  std::sort(design.pcb.vias.begin(), design.pcb.vias.end(),
            [&](const auto& a, const auto& b) { return viaKey(a) < viaKey(b); });
  return design;
}

TEST_F(PlacerRoutingTest, UndoPlaceTakesBackTheCopperAndTheTexts) {
  const dbxhost::Design original = testing_placement::routedChannels(kChannels, kParts, 2);
  start(original);
  const dbxhost::Design undone = placeAndSave(1, true);
  EXPECT_EQ(undone.pcb.tracks, original.pcb.tracks);
  EXPECT_EQ(undone.pcb.vias, original.pcb.vias);
  EXPECT_EQ(undone.pcb.zones, original.pcb.zones);
  ASSERT_EQ(undone.pcb.components.size(), original.pcb.components.size());
  for (std::size_t i = 0; i < original.pcb.components.size(); ++i) {
    const dbxhost::PcbComponent& part = undone.pcb.components[i];
    const dbxhost::PcbComponent& before = original.pcb.components[i];
    EXPECT_EQ(part.placement, before.placement) << part.refDes;
    EXPECT_EQ(part.highlight, before.highlight) << part.refDes;
    // A part read without a value text shows a hidden one at its origin;
    // putting that back may leave it written out, which changes nothing.
    for (const dbxhost::CompText& text : part.texts) {
      const auto was = std::find_if(before.texts.begin(), before.texts.end(),
                                    [&](const auto& t) { return t.attrType == text.attrType; });
      if (was != before.texts.end()) {
        EXPECT_EQ(text, *was) << part.refDes << " text " << text.attrType;
      } else {
        EXPECT_EQ(text.attrType, DBX::kAttrValue) << part.refDes;
        EXPECT_FALSE(text.visible) << part.refDes;
        EXPECT_EQ(text.at, before.placement.refPoint) << part.refDes;
      }
    }
    EXPECT_GE(part.texts.size(), before.texts.size()) << part.refDes;
  }
}

TEST_F(PlacerRoutingTest, UndoOfASecondPlacePutsTheFirstPlacesCopperBack) {
  const dbxhost::Design original = testing_placement::routedChannels(kChannels, kParts, 2);
  start(original);
  const dbxhost::Design once = placeAndSave(1);
  // A different grid, so that the second Place moves the copies elsewhere.
  testing_diag::ScriptedUi ui;
  {
    DBX::Design design(host);
    design.selectTool(DBX::kToolPcb);
    placement::TPlacer placer;
    placer.LoadGroups(design, testing_placement::syntheticNames(kChannels, kParts), kParts);
    placer.GroupsListClick(0);
    placer.EditField(Control::Cols, "1");
    placer.EditField(Control::GapY, "5");
    placer.PlaceClick();
    placer.UndoPlaceClick();
    design.clear();
  }
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes.front().text;
  const dbxhost::Design undone =
      comparable(host.readDesign([](const dbxhost::Design& d) { return d; }));
  const dbxhost::Design expected = comparable(once);
  EXPECT_EQ(undone.pcb.tracks, expected.pcb.tracks);
  EXPECT_EQ(undone.pcb.vias, expected.pcb.vias);
  EXPECT_EQ(undone.pcb.zones.size(), expected.pcb.zones.size());
  EXPECT_EQ(undone.pcb.components, expected.pcb.components);
}

TEST_F(PlacerRoutingTest, PlacingTwiceGivesTheSameBoard) {
  const dbxhost::Design original = testing_placement::routedChannels(kChannels, kParts, 2);
  start(original);
  dbxhost::Design once = placeAndSave(1);
  start(original);
  dbxhost::Design twice = placeAndSave(2);
  // Placing again in a later session replaces the copies' copper as well.
  dbxhost::Design later = placeAndSave(1);
  // The second Place gives its copies fresh ids; everything else is equal.
  auto withoutIds = [](dbxhost::Design& design) {
    for (dbxhost::Track& t : design.pcb.tracks) t.info.id = 0;
    for (dbxhost::Via& v : design.pcb.vias) v.info.id = 0;
    for (dbxhost::Zone& z : design.pcb.zones) z.info.id = 0;
  };
  withoutIds(once);
  withoutIds(twice);
  withoutIds(later);
  EXPECT_EQ(later.pcb.tracks, once.pcb.tracks);
  EXPECT_EQ(twice.pcb.tracks, once.pcb.tracks);
  EXPECT_EQ(twice.pcb.vias, once.pcb.vias);
  EXPECT_EQ(twice.pcb.zones, once.pcb.zones);
  EXPECT_EQ(twice.pcb.components, once.pcb.components);
}

// Board drawings (a channel's label or outline on the silkscreen): those
// within the template's area follow every copy, placing again replaces the
// earlier copies, a copy's own drawings stay, and Undo Place takes it all
// back.

constexpr int32_t kSilk = 3;

// The routed channels with a silkscreen layer and three drawings on it: the
// template's label (inside its area), a line of the user's where the second
// channel stands before it moves, and one far from every channel.
dbxhost::Design channelsWithDrawings() {
  dbxhost::Design design = testing_placement::routedChannels(kChannels, kParts, 1);
  design.pcb.layers = {{testing_placement::kRoutedTop, "Top", true},
                       {testing_placement::kRoutedBottom, "Bottom", true},
                       {kSilk, "F.SilkS", false}};
  auto drawing = [&](int32_t id, DBX::TPoint from, DBX::TPoint to) {
    dbxhost::ItemInfo info;
    info.id = info.sourceId = id;
    design.pcb.tracks.push_back({info, kSilk, 15000, from, to});
  };
  drawing(101, {500000, 530000}, {800000, 530000});
  drawing(102, {500000, 830000}, {800000, 830000});
  drawing(103, {5000000, 5000000}, {5100000, 5000000});
  return design;
}

std::vector<dbxhost::Track> silkLines(const dbxhost::Design& design) {
  std::vector<dbxhost::Track> lines;
  for (const dbxhost::Track& t : design.pcb.tracks) {
    if (t.layerId == kSilk) lines.push_back(t);
  }
  return lines;
}

// Expects the template's label, the user's line, the far line and one copy
// of the label per copy, carried to the copy's row, in the copy's group.
void expectOneLabelPerCopy(const dbxhost::Design& placed) {
  const std::vector<dbxhost::Track> lines = silkLines(placed);
  ASSERT_EQ(lines.size(), 3u + (kChannels - 1));
  EXPECT_EQ(lines[0].info.id, 101);
  EXPECT_EQ(lines[1].info.id, 102);
  EXPECT_EQ(lines[2].info.id, 103);
  for (int c = 2; c <= kChannels; ++c) {
    const auto copy = std::find_if(lines.begin() + 3, lines.end(), [&](const dbxhost::Track& t) {
      return t.info.group == "Tandrel G" + std::to_string(c);
    });
    ASSERT_NE(copy, lines.end()) << "channel " << c;
    EXPECT_EQ(copy->info.netId, 0);
    EXPECT_EQ(copy->info.sourceId, 101);
    EXPECT_EQ(copy->width, 15000);
    EXPECT_EQ(copy->start, (DBX::TPoint{500000, 530000 + (c - 1) * kRowPitch}));
    EXPECT_EQ(copy->end, (DBX::TPoint{800000, 530000 + (c - 1) * kRowPitch}));
  }
}

TEST_F(PlacerRoutingTest, TheTemplatesLabelFollowsEveryCopyAndOtherDrawingsStay) {
  start(channelsWithDrawings());
  expectOneLabelPerCopy(placeAndSave(1));
}

TEST_F(PlacerRoutingTest, PlacingTwiceLeavesOneCopyOfEachDrawing) {
  start(channelsWithDrawings());
  expectOneLabelPerCopy(placeAndSave(2));
  // Again in a later session, where only the copies' group tells them.
  expectOneLabelPerCopy(placeAndSave(1));
}

TEST_F(PlacerRoutingTest, UndoPlaceTakesTheCopiedDrawingsAwayAndGivesTheReplacedOnesBack) {
  const dbxhost::Design original = channelsWithDrawings();
  start(original);
  EXPECT_EQ(silkLines(placeAndSave(1, true)), silkLines(original));

  const std::vector<dbxhost::Track> once = silkLines(placeAndSave(1));
  // The second Place replaces the first one's copies; undone, they come back
  // with their own ids.
  const std::vector<dbxhost::Track> undone = silkLines(placeAndSave(1, true));
  auto byId = [](std::vector<dbxhost::Track> lines) {
    std::sort(lines.begin(), lines.end(),
              [](const auto& a, const auto& b) { return a.info.id < b.info.id; });
    return lines;
  };
  EXPECT_EQ(byId(undone), byId(once));
}

}  // namespace
