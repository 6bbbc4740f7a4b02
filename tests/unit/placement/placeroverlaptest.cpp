// Place asks before a copy lands on a part that stays where it is: parts in
// no group and the template's; the other copies make room for one another.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "placement/placer.h"
#include "placerfixture.h"

namespace {

using namespace testing_placement;
using placement::Control;

// Single-part channels R1, R2, R3 at (5, 5), (5, 8), (5, 11) on a board
// large enough for the grid; the copies go one pitch of 3.54 to the right
// of each other in one row.
class PlacerOverlapTest : public PlacerFixture {
 protected:
  void startWith(const std::vector<std::string>& names) {
    start(singlePartChannels(3));
    load(names, 1);
    placer.GroupsListClick(0);
    placer.EditField(Control::Rows, "1");
    ASSERT_TRUE(placer.PlaceEnabled());
  }
  void putInHost(const std::string& refDes, DBX::TPoint at) {
    const DBX::TPoint now = hostComponent(refDes).placement.refPoint;
    moveInHost(refDes, at.x - now.x, at.y - now.y);
  }
};

TEST_F(PlacerOverlapTest, ACopyLandingOnAPartInNoGroupIsNamedAndCancelMovesNothing) {
  start(singlePartChannels(3));
  putInHost("R3", {854000 + 100000, 500000});  // R2's cell, 1.00 further right
  { DBX::Lock verify(*design, true); }
  load({"R1", "R2"}, 1);
  placer.GroupsListClick(0);
  placer.EditField(Control::Rows, "1");
  expectCancelledQuestion(
      "Parts that would overlap parts outside the groups: 1\nG2: R2 (on R3)\nMove them anyway?");
  EXPECT_FALSE(placer.UndoEnabled());

  ui.answers = {true};
  placer.PlaceClick();
  EXPECT_EQ(hostComponent("R2").placement.refPoint, (DBX::TPoint{854000, 500000}));
  EXPECT_TRUE(placer.UndoEnabled());
}

TEST_F(PlacerOverlapTest, APartBesideTheCellIsNoObstacle) {
  start(singlePartChannels(3));
  // The cell spans 2.54: R3 starting right where R2's copy ends only touches it.
  putInHost("R3", {854000 + 254000, 500000});
  { DBX::Lock verify(*design, true); }
  load({"R1", "R2"}, 1);
  placer.GroupsListClick(0);
  placer.EditField(Control::Rows, "1");
  placer.PlaceClick();
  EXPECT_TRUE(ui.questions.empty()) << ui.questions.front();
  EXPECT_EQ(hostComponent("R2").placement.refPoint, (DBX::TPoint{854000, 500000}));
}

TEST_F(PlacerOverlapTest, PartsOfCopiesMovingAwayAreNoObstacle) {
  startWith({"R1", "R2", "R3"});
  // R2 stands where R3's copy goes, but moves on to its own cell.
  putInHost("R2", {1208000, 500000});
  placer.PlaceClick();
  EXPECT_TRUE(ui.questions.empty()) << ui.questions.front();
  EXPECT_EQ(hostComponent("R3").placement.refPoint, (DBX::TPoint{1208000, 500000}));
  EXPECT_EQ(hostComponent("R2").placement.refPoint, (DBX::TPoint{854000, 500000}));
}

TEST_F(PlacerOverlapTest, TheTemplatesPartsAreObstacles) {
  // Anchors with the copy's anchor half a part right of the template's: the
  // copy's second part lands on the template's second part.
  dbxhost::Design channels = dbxhost::makeSyntheticDesign(2, 2, false);
  start(std::move(channels));
  const DBX::TPoint r1 = hostComponent("R1").placement.refPoint;
  putInHost("R3", {r1.x + 100000, r1.y});
  { DBX::Lock verify(*design, true); }
  load({"R1", "C2", "R3", "C4"}, 2);
  placer.GroupsListClick(0);
  placer.SetArrangement(placement::Arrangement::Anchors);
  placer.SetAnchorItem(0);
  expectCancelledQuestion(
      "Parts that would overlap parts outside the groups: 1\nG2: C4 (on C2)\nMove them anyway?");
}

TEST_F(PlacerOverlapTest, OffBoardAndOverlapShareOneQuestion) {
  dbxhost::Design channels = singlePartChannels(3);
  // The board ends inside R2's cell.
  channels.pcb.boardOutline = {{0, 0}, {900000, 0}, {900000, 2000000}, {0, 2000000}};
  start(std::move(channels));
  putInHost("R3", {854000, 400000});
  { DBX::Lock verify(*design, true); }
  load({"R1", "R2"}, 1);
  placer.GroupsListClick(0);
  placer.EditField(Control::Rows, "1");
  expectCancelledQuestion(
      "Parts that would lie outside the board: 1\nG2: R2\n"
      "Parts that would overlap parts outside the groups: 1\nG2: R2 (on R3)\nMove them anyway?");
}

TEST_F(PlacerOverlapTest, GroupAsksBeforeTheTemplateLandsOnAnotherPart) {
  startWith({"R1", "R2"});
  // R3, in no group, stands where "Group" gathers R1.
  gather("0", "0", "1");
  ASSERT_TRUE(ui.questions.empty());
  const DBX::TPoint gathered = hostComponent("R1").placement.refPoint;
  placer.UndoPlaceClick();
  putInHost("R3", gathered);
  { DBX::Lock verify(*design, true); }
  const uint64_t revision = host->revision();
  gather("0", "0", "1");
  EXPECT_EQ(host->revision(), revision);
  EXPECT_EQ(ui.questions,
            std::vector<std::string>{"Parts that would overlap parts outside the groups: 1\n"
                                     "G1: R1 (on R3)\nMove them anyway?"});
}

}  // namespace
