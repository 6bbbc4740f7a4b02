// "Undo Place" against the host engine: what Place and Group moved goes back
// exactly, parts changed in the host since are left alone, and a Place that
// failed half way can be undone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "placement/placer.h"
#include "placerfixture.h"

namespace {

using namespace testing_placement;
using placement::Control;

class PlacerUndoTest : public PlacerFixture {
 protected:
  // Four one-part channels; the template R1 is turned and flipped, R3
  // turned the other way, so a Place moves, flips and turns.
  void SetUp() override {
    dbxhost::Design channels = singlePartChannels(4);
    channels.pcb.components[0].placement.rotation = 900;
    channels.pcb.components[0].placement.flipped = true;
    channels.pcb.components[2].placement.rotation = 2700;
    start(std::move(channels));
    original = placements();
    load(syntheticNames(4, 1), 1);
    placer.GroupsListClick(0);
  }
  std::vector<dbxhost::Placement> placements() const {
    return host->readDesign([](const dbxhost::Design& d) {
      std::vector<dbxhost::Placement> all;
      for (const dbxhost::PcbComponent& c : d.pcb.components) all.push_back(c.placement);
      return all;
    });
  }

  std::vector<dbxhost::Placement> original;
};

TEST_F(PlacerUndoTest, UndoPutsEveryPlacedPartBackExactly) {
  EXPECT_FALSE(placer.UndoEnabled());
  placer.PlaceClick();
  ASSERT_NE(placements(), original);
  EXPECT_TRUE(placer.UndoEnabled());
  EXPECT_EQ(placer.UndoMemory().size(), 3u);

  placer.UndoPlaceClick();
  EXPECT_EQ(placements(), original);
  EXPECT_FALSE(placer.UndoEnabled());
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_FALSE(host->isHeld(DBX::kToolPcb));

  // Nothing left to undo: no host call at all.
  const int calls = host->callCount(DBX::kToolPcb);
  placer.UndoPlaceClick();
  EXPECT_EQ(host->callCount(DBX::kToolPcb), calls);
}

TEST_F(PlacerUndoTest, UndoAfterGroupRestoresTheTemplate) {
  load(syntheticNames(4, 1), 4);
  placer.GroupsListClick(0);
  gather("0", "0", "1");
  ASSERT_NE(placements(), original);
  placer.UndoPlaceClick();
  EXPECT_EQ(placements(), original);
}

TEST_F(PlacerUndoTest, APartChangedInTheHostSinceIsNamedAndLeftAlone) {
  placer.PlaceClick();
  moveInHost("R3", 10000, 0);
  const dbxhost::Placement movedByUser = hostComponent("R3").placement;
  placer.UndoPlaceClick();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, diag::MessageKind::Error);
  EXPECT_EQ(ui.boxes[0].text,
            "Changed in the PCB editor since they were placed, so left as they are: R3");
  EXPECT_EQ(hostComponent("R3").placement, movedByUser);
  EXPECT_EQ(hostComponent("R2").placement, original[1]);
  EXPECT_EQ(hostComponent("R4").placement, original[3]);
  EXPECT_FALSE(placer.UndoEnabled());
}

TEST_F(PlacerUndoTest, AHalfFinishedPlaceIsUndone) {
  placer.EditField(Control::Rows, "1");
  { DBX::Lock verify(*design, true); }
  {
    DBX::Lock lock(*design, false);
    // R2 is moved, flipped and turned; the third call, R2's turn, fails.
    host->injectStatus(DBX::kToolPcb, 3, DBX::DBX_ROTATE_ERROR);
    EXPECT_THROW(placer.PlaceGroups(0), DBX::DBXException);
  }
  ASSERT_EQ(placer.UndoMemory().size(), 1u);
  EXPECT_NE(hostComponent("R2").placement, original[1]);
  placer.UndoPlaceClick();
  EXPECT_EQ(placements(), original);
}

TEST_F(PlacerUndoTest, ANewPlaceReplacesTheMemoryAndClearingForgetsIt) {
  placer.PlaceClick();
  const std::vector<dbxhost::Placement> afterFirst = placements();
  placer.EditField(Control::GapX, "3");
  placer.PlaceClick();
  placer.UndoPlaceClick();
  EXPECT_EQ(placements(), afterFirst);

  placer.PlaceClick();
  design->clear();
  placer.DesignCleared();
  EXPECT_FALSE(placer.UndoEnabled());
  const int calls = host->callCount(DBX::kToolPcb);
  placer.UndoPlaceClick();
  EXPECT_EQ(host->callCount(DBX::kToolPcb), calls);
}

}  // namespace
