// The placement page's fields, messages and group list.
#include "placement/placer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "placement/placertexts.h"
#include "placement/units.h"
#include "placerfixture.h"

namespace {

using namespace testing_placement;
using placement::Control;
using placement::RectCorner;
using ::testing::ElementsAre;

class PlacerTest : public PlacerFixture {
 protected:
  void startChannels(int channels) {
    start(singlePartChannels(channels));
    load(syntheticNames(channels, 1), 1);
  }
};

TEST_F(PlacerTest, LoadGroupsListsEveryGroupAndStartsAboutSquare) {
  start(dbxhost::readDesignFile(kQuad));
  load(quadNames(), 7);
  EXPECT_THAT(placer.GroupLines(), ElementsAre("J1,C1,R1,U1,R2,R3,C2", "J2,C3,R4,U2,R5,R6,C4",
                                               "J3,C5,R7,U3,R8,R9,C6", "J4,C7,R10,U4,R11,R12,C8"));
  EXPECT_EQ(placer.GroupCount(), 4u);
  EXPECT_EQ(text(Control::Rows), "2");
  EXPECT_EQ(text(Control::Cols), "2");
  EXPECT_EQ(text(Control::GapX), "1");
  EXPECT_FALSE(placer.SelectedGroup());
  EXPECT_FALSE(placer.PlaceEnabled());
  EXPECT_EQ(placer.ItemMessage(), "");
  EXPECT_EQ(placer.GridMessage(), "");
  EXPECT_TRUE(placer.SelectedFootprint().IsEmpty());
  EXPECT_EQ(ui.waitDepth, 0);
  EXPECT_GT(ui.waitShown, 0);
}

TEST_F(PlacerTest, ComponentsNotOnThePcbAreLeftOutOfTheirGroupsLine) {
  start(dbxhost::readDesignFile(kQuad));
  load({"J1", "X99", "R1", "Y1", "Y2", "Y3", "R5", "R6"}, 3);
  EXPECT_THAT(placer.GroupLines(), ElementsAre("J1,R1", "<Empty>", "R5,R6"));
  ASSERT_EQ(placer.Components().size(), 9u);
  EXPECT_EQ(placer.Components()[1], nullptr);
  // The short last run is padded with a missing component.
  EXPECT_EQ(placer.Components()[8], nullptr);
  EXPECT_EQ(text(Control::Rows), "1");
  EXPECT_EQ(text(Control::Cols), "3");
}

TEST_F(PlacerTest, WithoutGroupsRowsAndColsAreEmptyAndPlaceStaysDisabled) {
  start(dbxhost::readDesignFile(kQuad));
  load({}, 7);
  EXPECT_TRUE(placer.GroupLines().empty());
  EXPECT_EQ(text(Control::Rows), "");
  EXPECT_EQ(text(Control::Cols), "");
  EXPECT_FALSE(placer.PlaceEnabled());
  EXPECT_THROW(placer.GroupsListClick(0), std::out_of_range);

  // A group table without items lists nothing, whatever names come along.
  load({"J1", "C1"}, 0);
  EXPECT_TRUE(placer.GroupLines().empty());
  EXPECT_EQ(placer.GroupCount(), 0u);
  EXPECT_FALSE(placer.PlaceEnabled());
  placer.EditField(Control::Rows, "0");
  EXPECT_FALSE(placer.PlaceEnabled());
}

TEST_F(PlacerTest, RowsAndColsFollowEachOtherForNineGroups) {
  startChannels(9);
  placer.GroupsListClick(0);
  EXPECT_TRUE(placer.PlaceEnabled());
  placer.EditField(Control::Rows, "4");
  EXPECT_EQ(text(Control::Cols), "3");
  placer.EditField(Control::Rows, "9");
  EXPECT_EQ(text(Control::Cols), "1");
  placer.EditField(Control::Rows, "1");
  EXPECT_EQ(text(Control::Cols), "9");
  placer.EditField(Control::Rows, "0");
  EXPECT_EQ(text(Control::Cols), "9");
  EXPECT_TRUE(placer.PlaceEnabled());
  placer.EditField(Control::Rows, "a");
  EXPECT_TRUE(invalid(Control::Rows));
  EXPECT_EQ(text(Control::Cols), "1");
  EXPECT_FALSE(invalid(Control::Cols));
  EXPECT_FALSE(placer.PlaceEnabled());
  EXPECT_EQ(placer.GridMessage(), "");

  placer.EditField(Control::Cols, "2");
  EXPECT_EQ(text(Control::Rows), "5");
  EXPECT_FALSE(invalid(Control::Rows));
  EXPECT_TRUE(placer.PlaceEnabled());
  placer.EditField(Control::Rows, "10");  // more rows than groups
  EXPECT_TRUE(invalid(Control::Rows));
  EXPECT_FALSE(placer.PlaceEnabled());
}

TEST_F(PlacerTest, NoColumnsIsInvalid) {
  startChannels(9);
  placer.GroupsListClick(0);
  placer.EditField(Control::Cols, "0");
  EXPECT_TRUE(invalid(Control::Cols));
  EXPECT_EQ(text(Control::Rows), "9");
  EXPECT_FALSE(placer.PlaceEnabled());
  EXPECT_EQ(placer.GridMessage(), "");
  placer.EditField(Control::Cols, "3");
  EXPECT_FALSE(invalid(Control::Cols));
  EXPECT_TRUE(placer.PlaceEnabled());
}

TEST_F(PlacerTest, GapsAndDeltasRewriteEachOther) {
  startChannels(9);
  placer.GroupsListClick(0);
  EXPECT_EQ(placer.ItemMessage(), "Item size - 2.54x2.00");
  EXPECT_EQ(text(Control::DeltaX), "3.54");
  EXPECT_EQ(text(Control::DeltaY), "3.00");

  placer.EditField(Control::DeltaX, "3");
  EXPECT_EQ(text(Control::GapX), "0.46");
  // The written gap starts no pass of its own, which would rewrite the delta.
  EXPECT_EQ(text(Control::DeltaX), "3");
  EXPECT_TRUE(placer.PlaceEnabled());

  placer.EditField(Control::DeltaX, "2");
  EXPECT_EQ(text(Control::GapX), "");
  EXPECT_TRUE(invalid(Control::GapX));
  EXPECT_FALSE(placer.PlaceEnabled());
  EXPECT_EQ(placer.GridMessage(), "");

  placer.EditField(Control::GapY, "0.5");
  EXPECT_EQ(text(Control::DeltaY), "2.50");
  // Selecting a group makes the gaps the masters again.
  placer.EditField(Control::GapX, "1");
  placer.EditField(Control::DeltaY, "4");
  EXPECT_EQ(text(Control::GapY), "2.00");
  placer.GroupsListClick(1);
  EXPECT_EQ(text(Control::DeltaX), "3.54");
  EXPECT_EQ(text(Control::DeltaY), "4.00");
}

TEST_F(PlacerTest, InvalidLengthsTurnRedAndKeepTheirPartner) {
  startChannels(9);
  placer.GroupsListClick(0);
  for (const char* bad : {"-1", "", "1.5mm"}) {
    placer.EditField(Control::GapX, bad);
    EXPECT_TRUE(invalid(Control::GapX)) << bad;
    EXPECT_FALSE(placer.PlaceEnabled()) << bad;
    EXPECT_EQ(placer.GridMessage(), "") << bad;
    EXPECT_EQ(text(Control::DeltaX), "3.54") << bad;
  }
  placer.EditField(Control::GapX, " 2 ");
  EXPECT_FALSE(invalid(Control::GapX));
  EXPECT_EQ(text(Control::DeltaX), "4.54");
  EXPECT_TRUE(placer.PlaceEnabled());

  placer.EditField(Control::DeltaY, "x");
  EXPECT_TRUE(invalid(Control::DeltaY));
  EXPECT_EQ(text(Control::GapY), "1");
  EXPECT_FALSE(placer.PlaceEnabled());
}

TEST_F(PlacerTest, GridMessageForTheTemplateAtLeftBottomAndRightTop) {
  start(singlePartChannels(6));
  load(syntheticNames(6, 1), 1);
  EXPECT_EQ(text(Control::Rows), "2");
  EXPECT_EQ(text(Control::Cols), "3");
  placer.GroupsListClick(0);
  // R1's footprint is (3.73, 4.00) - (6.27, 6.00); 3 x 3.54 - 1 by 2 x 3.00 - 1.
  EXPECT_EQ(placer.GridMessage(), "Grid size - 9.62x5.00 (3.73,4.00-13.35,9.00)");
  placer.SetCorner(RectCorner::RightTop);
  EXPECT_EQ(placer.GridMessage(), "Grid size - 9.62x5.00 (-3.35,1.00-6.27,6.00)");
  placer.SetCorner(RectCorner::LeftTop);
  EXPECT_EQ(placer.GridMessage(), "Grid size - 9.62x5.00 (3.73,1.00-13.35,6.00)");
  placer.SetCorner(RectCorner::RightBottom);
  EXPECT_EQ(placer.GridMessage(), "Grid size - 9.62x5.00 (-3.35,4.00-6.27,9.00)");
}

TEST_F(PlacerTest, UnrelatedGridLiesAtTheTypedOrigin) {
  startChannels(9);
  placer.GroupsListClick(0);
  placer.SetCorner(RectCorner::Unrelated);
  EXPECT_TRUE(placer.OriginShown());
  EXPECT_TRUE(invalid(Control::CoordX));
  EXPECT_TRUE(invalid(Control::CoordY));
  EXPECT_FALSE(placer.PlaceEnabled());
  EXPECT_EQ(placer.GridMessage(), "");
  placer.EditField(Control::CoordX, "10");
  EXPECT_FALSE(placer.PlaceEnabled());
  placer.EditField(Control::CoordY, "20");
  EXPECT_TRUE(placer.PlaceEnabled());
  EXPECT_EQ(placer.GridMessage(), "Grid size - 9.62x8.00 (10.00,20.00-19.62,28.00)");

  // The corners do not read the origin, so an emptied one does not matter.
  placer.EditField(Control::CoordY, "");
  EXPECT_FALSE(placer.PlaceEnabled());
  placer.SetCorner(RectCorner::LeftBottom);
  EXPECT_FALSE(placer.OriginShown());
  EXPECT_TRUE(placer.PlaceEnabled());
}

TEST_F(PlacerTest, AGridBeyondTheHostsRangeMarksThePitches) {
  startChannels(9);
  placer.GroupsListClick(0);
  placer.EditField(Control::DeltaX, "20000");
  EXPECT_TRUE(invalid(Control::DeltaX));
  EXPECT_FALSE(placer.PlaceEnabled());
  EXPECT_EQ(placer.GridMessage(), "");
  placer.EditField(Control::DeltaX, "4");
  EXPECT_FALSE(invalid(Control::DeltaX));
  EXPECT_TRUE(placer.PlaceEnabled());
}

TEST_F(PlacerTest, RelativeGridOriginShowsPageCoordinatesRelative) {
  start(dbxhost::readDesignFile(kQuad));
  load(quadNames(), 7);
  placer.GroupsListClick(0);
  // Every component of channel 1 lies within the footprint once it is moved
  // back by the origin (5.00, 5.00), give or take half a 1.27 grid step.
  const placement::DesignRect footprint = placer.SelectedFootprint();
  for (const char* refDes : {"J1", "C1", "R1", "U1", "R2", "R3", "C2"}) {
    const DBX::TPoint at = hostComponent(refDes).placement.refPoint;
    EXPECT_GE(at.x - 500000, footprint.left - 63500) << refDes;
    EXPECT_LE(at.x - 500000, footprint.right + 63500) << refDes;
    EXPECT_GE(at.y - 500000, footprint.bottom - 63500) << refDes;
    EXPECT_LE(at.y - 500000, footprint.top + 63500) << refDes;
  }
  EXPECT_EQ(footprint.left % 127000, 0);
  EXPECT_EQ(footprint.top % 127000, 0);
}

TEST_F(PlacerTest, AGroupWithoutPcbComponentsHasNoSize) {
  start(dbxhost::readDesignFile(kQuad));
  load({"J1", "C1", "X1", "X2"}, 2);
  placer.GroupsListClick(0);
  const std::string grid = placer.GridMessage();
  EXPECT_NE(grid, "");
  placer.GroupsListClick(1);
  EXPECT_EQ(placer.ItemMessage(), "Item size - 0.00x0.00");
  EXPECT_EQ(placer.GridMessage(), grid);
  EXPECT_TRUE(placer.SelectedFootprint().IsEmpty());
}

TEST_F(PlacerTest, UpdateReadsTheHostsChangesIntoTheItemSize) {
  startChannels(4);
  placer.GroupsListClick(0);
  EXPECT_EQ(placer.ItemMessage(), "Item size - 2.54x2.00");
  host->withDesign([](dbxhost::Design& d) { d.pcb.components[0].placement.rotation = 900; });
  placer.UpdateClick();
  EXPECT_EQ(placer.ItemMessage(), "Item size - 2.00x2.54");
  EXPECT_EQ(text(Control::DeltaX), "3.00");
  EXPECT_EQ(placer.GridMessage(), "Grid size - 5.00x6.08 (4.00,3.73-9.00,9.81)");
  EXPECT_FALSE(host->isHeld(DBX::kToolPcb));
}

TEST_F(PlacerTest, UpdateAfterAHostSideMoveGrowsTheFootprint) {
  start(dbxhost::readDesignFile(kQuad));
  load(quadNames(), 7);
  placer.GroupsListClick(0);
  const placement::DesignRect before = placer.SelectedFootprint();
  const std::string grid = placer.GridMessage();
  // R2 is channel 1's topmost part; ten grid steps further up it raises the
  // footprint's top by as much.
  moveInHost("R2", 0, 1270000);
  placer.UpdateClick();
  const placement::DesignRect after = placer.SelectedFootprint();
  EXPECT_EQ(after.top, before.top + 1270000);
  EXPECT_EQ(after.bottom, before.bottom);
  EXPECT_EQ(placer.ItemMessage(), "Item size - " + placement::FormatLength(after.Width()) + "x" +
                                      placement::FormatLength(before.Height() + 1270000));
  EXPECT_NE(placer.GridMessage(), grid);
  EXPECT_TRUE(placer.PlaceEnabled());
}

TEST_F(PlacerTest, TheListenerHearsOfEachOperationOnce) {
  startChannels(4);
  int changes = 0;
  placer.SetChangeListener([&] { ++changes; });
  placer.GroupsListClick(0);
  EXPECT_EQ(changes, 1);
  placer.EditField(Control::GapX, "2");
  EXPECT_EQ(changes, 2);
  placer.UpdateClick();
  EXPECT_EQ(changes, 3);
  EXPECT_THROW(placer.GroupsListClick(7), std::out_of_range);
  EXPECT_EQ(changes, 4);
}

TEST_F(PlacerTest, GroupFieldsStartNoPass) {
  startChannels(4);
  placer.GroupsListClick(0);
  int changes = 0;
  placer.SetChangeListener([&] { ++changes; });
  placer.EditField(Control::GrpX, "bad");
  EXPECT_EQ(text(Control::GrpX), "bad");
  EXPECT_FALSE(invalid(Control::GrpX));  // read only when "Group" is pressed
  EXPECT_EQ(changes, 1);
  EXPECT_THROW(placer.EditField(Control::GroupsList, "1"), std::invalid_argument);
}

TEST_F(PlacerTest, ControlTextsAreFoundByName) {
  EXPECT_EQ(placement::PlacerControlText("Pl_Any").caption, "Unrelated");
  EXPECT_EQ(placement::PlacerControlText("Panel2").hint, "Generated grip");
  EXPECT_THROW(placement::PlacerControlText("Pl_Nowhere"), std::out_of_range);
}

}  // namespace
