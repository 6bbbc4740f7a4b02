// Board drawings (a channel's label or outline on the silkscreen) placed
// with the routing on the in-process host: those within the template's area
// follow every copy, placing again replaces the earlier copies, a copy's own
// drawings stay, and Undo Place takes it all back.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/hostdbx.h"
#include "placement/placer.h"
#include "placerfixture.h"
#include "routedchannels.h"
#include "scriptedui.h"

namespace {

using placement::Control;

constexpr int kChannels = 3;
constexpr int kParts = 3;
constexpr int32_t kSilk = 3;
constexpr int32_t kRowPitch = 400000;  // the grid of PlacerRoutingTest: one column, gap 2.80

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

class PlacerDrawingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.withDesign([](dbxhost::Design& d) { d = channelsWithDrawings(); });
  }
  // Places the channels in one column above the first, times times in one
  // session; with undo, "Undo Place" follows.
  dbxhost::Design place(int times, bool undo = false) {
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
      if (undo) placer.UndoPlaceClick();
      design.clear();
    }
    EXPECT_TRUE(ui.boxes.empty()) << ui.boxes.front().text;
    EXPECT_TRUE(ui.questions.empty()) << ui.questions.front();
    return host.readDesign([](const dbxhost::Design& d) { return d; });
  }

  dbxhost::HostDbx host{dbxhost::Design{}};
};

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

TEST_F(PlacerDrawingsTest, TheTemplatesLabelFollowsEveryCopyAndOtherDrawingsStay) {
  expectOneLabelPerCopy(place(1));
}

TEST_F(PlacerDrawingsTest, PlacingTwiceLeavesOneCopyOfEachDrawing) {
  expectOneLabelPerCopy(place(2));
  // Again in a later session, where only the copies' group tells them.
  expectOneLabelPerCopy(place(1));
}

TEST_F(PlacerDrawingsTest, UndoPlaceTakesTheCopiesAwayAndGivesTheReplacedOnesBack) {
  const dbxhost::Design original = host.readDesign([](const dbxhost::Design& d) { return d; });
  EXPECT_EQ(silkLines(place(1, true)), silkLines(original));

  const std::vector<dbxhost::Track> once = silkLines(place(1));
  // The second Place replaces the first one's copies; undone, they come back
  // with their own ids.
  const std::vector<dbxhost::Track> undone = silkLines(place(1, true));
  auto byId = [](std::vector<dbxhost::Track> lines) {
    std::sort(lines.begin(), lines.end(),
              [](const auto& a, const auto& b) { return a.info.id < b.info.id; });
    return lines;
  };
  EXPECT_EQ(byId(undone), byId(once));
}

}  // namespace
