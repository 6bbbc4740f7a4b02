// Placing groups and the group tools against the host engine, checked in
// the design that the host holds afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "placement/fieldparse.h"
#include "placement/placer.h"
#include "placement/placertexts.h"
#include "placerfixture.h"
#include "storage/designstorage.h"

namespace {

using namespace testing_placement;
using placement::Control;
using placement::RectCorner;

class PlacerHostTest : public PlacerFixture {
 protected:
  void startChannels(int channels) {
    start(singlePartChannels(channels));
    load(syntheticNames(channels, 1), 1);
  }
  int32_t length(Control field) const { return *placement::ParseLength(text(field)); }
  // Expects every pad of the component to lie at the model's pad shifted by
  // (dx, dy), with the model's orientation.
  void expectRepeats(const std::string& copy, const std::string& model, int64_t dx, int64_t dy) {
    const dbxhost::PcbComponent c = hostComponent(copy);
    const dbxhost::PcbComponent m = hostComponent(model);
    EXPECT_EQ(c.placement.rotation, m.placement.rotation) << copy;
    EXPECT_EQ(c.placement.flipped, m.placement.flipped) << copy;
    const std::vector<DBX::TPoint> pads = hostPads(copy);
    const std::vector<DBX::TPoint> modelPads = hostPads(model);
    ASSERT_EQ(pads.size(), modelPads.size()) << copy;
    for (std::size_t i = 0; i < pads.size(); ++i) {
      EXPECT_EQ(pads[i].x, modelPads[i].x + dx) << copy << " pad " << i;
      EXPECT_EQ(pads[i].y, modelPads[i].y + dy) << copy << " pad " << i;
    }
  }
};

TEST_F(PlacerHostTest, WorkedExampleSevenGroupsAroundTemplateTwo) {
  dbxhost::Design channels = singlePartChannels(7);
  channels.pcb.components[2].placement.rotation = 900;  // R3, the template
  channels.pcb.components[2].placement.flipped = true;
  channels.pcb.components[4].placement.rotation = 900;  // R5: already turned
  start(std::move(channels));
  load(syntheticNames(7, 1), 1);
  placer.GroupsListClick(2);
  placer.EditField(Control::Cols, "3");
  placer.EditField(Control::DeltaX, "5");
  placer.EditField(Control::DeltaY, "4");
  ASSERT_TRUE(placer.PlaceEnabled());
  const DBX::TPoint before = hostComponent("R3").placement.refPoint;
  placer.PlaceClick();
  EXPECT_EQ(hostComponent("R3").placement.refPoint, before);
  const std::map<std::string, std::pair<int, int>> cells = {{"R4", {1, 0}}, {"R5", {2, 0}},
                                                            {"R6", {0, 1}}, {"R7", {1, 1}},
                                                            {"R1", {2, 1}}, {"R2", {0, 2}}};
  for (const auto& [refDes, cell] : cells) {
    expectRepeats(refDes, "R3", cell.first * 500000, cell.second * 400000);
  }
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_FALSE(host->isHeld(DBX::kToolPcb));
}

TEST_F(PlacerHostTest, RightTopTemplateWithTwoColumnsAndFiveGroups) {
  startChannels(5);
  placer.GroupsListClick(0);
  placer.SetCorner(RectCorner::RightTop);
  placer.EditField(Control::Cols, "2");
  placer.PlaceClick();
  const int64_t dx = length(Control::DeltaX);
  const int64_t dy = length(Control::DeltaY);
  expectRepeats("R2", "R1", -dx, 0);
  expectRepeats("R3", "R1", 0, -dy);
  expectRepeats("R4", "R1", -dx, -dy);
  expectRepeats("R5", "R1", 0, -2 * dy);
}

TEST_F(PlacerHostTest, OneGroupMovesNothingAndTwoGroupsGoOnePitchRight) {
  startChannels(1);
  placer.GroupsListClick(0);
  const uint64_t revision = host->revision();
  placer.PlaceClick();
  EXPECT_EQ(host->revision(), revision);

  startChannels(2);
  placer.GroupsListClick(0);
  placer.PlaceClick();
  expectRepeats("R2", "R1", length(Control::DeltaX), 0);
  EXPECT_EQ(length(Control::DeltaX), 354000);
}

TEST_F(PlacerHostTest, UnrelatedGridTakesTheOtherGroupsFromTheOriginOnTheRelativeGrid) {
  start(dbxhost::readDesignFile(kQuad));
  load(quadNames(), 7);
  placer.GroupsListClick(0);
  placer.SetCorner(RectCorner::Unrelated);
  placer.EditField(Control::CoordX, "10");
  placer.EditField(Control::CoordY, "20");
  const DBX::TPoint templateAt = hostComponent("U1").placement.refPoint;
  placer.PlaceClick();
  EXPECT_EQ(hostComponent("U1").placement.refPoint, templateAt);
  // The page's (10, 20) is (15, 25) in the host: group 2's footprint starts
  // there, within half a 1.27 grid step.
  int32_t left = INT32_MAX;
  int32_t bottom = INT32_MAX;
  host->readDesign([&](const dbxhost::Design& d) {
    for (const dbxhost::PcbComponent& c : d.pcb.components) {
      for (const char* refDes : {"J2", "C3", "R4", "U2", "R5", "R6", "C4"}) {
        if (c.refDes != refDes) continue;
        const DBX::TRect r =
            dbxhost::placeRect(c.placement, dbxhost::localExtent(d.pcb.patterns.at(c.patternName)));
        left = std::min(left, r.lowerLeft.x);
        bottom = std::min(bottom, r.lowerLeft.y);
      }
    }
  });
  EXPECT_NEAR(left, 1500000, 63500 * 2);
  EXPECT_NEAR(bottom, 2500000, 63500 * 2);
}

TEST_F(PlacerHostTest, MissingComponentsAreSkippedWhenPlacing) {
  start(singlePartChannels(3));
  load({"R1", "X1", "R2", "R3", "X2", "X3"}, 2);
  placer.GroupsListClick(0);
  placer.PlaceClick();
  expectRepeats("R2", "R1", length(Control::DeltaX), 0);
  const DBX::TPoint r3 = hostComponent("R3").placement.refPoint;
  EXPECT_EQ(r3, (DBX::TPoint{500000, 1100000}));  // its template item is missing
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(PlacerHostTest, ATemplateWithoutPcbComponentsPlacesNothingAndSaysSo) {
  start(singlePartChannels(3));
  load({"X1", "R2", "R3"}, 1);
  placer.GroupsListClick(0);
  EXPECT_TRUE(placer.PlaceEnabled());
  const uint64_t revision = host->revision();
  placer.PlaceClick();
  EXPECT_EQ(host->revision(), revision);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, diag::MessageKind::Error);
  EXPECT_EQ(ui.boxes[0].text, placement::kNoTemplateOnPcb);
}

TEST_F(PlacerHostTest, ATemplateComponentSharedWithAnotherGroupStaysPut) {
  start(singlePartChannels(3));
  load({"R1", "R2", "R3", "R1"}, 2);
  placer.GroupsListClick(0);
  const DBX::TPoint r1 = hostComponent("R1").placement.refPoint;
  placer.PlaceClick();
  EXPECT_EQ(hostComponent("R1").placement.refPoint, r1);
  expectRepeats("R3", "R1", length(Control::DeltaX), 0);
}

TEST_F(PlacerHostTest, PlacingWithNoGroupSelectedOrInvalidFieldsDoesNothing) {
  startChannels(3);
  const uint64_t revision = host->revision();
  placer.PlaceClick();
  EXPECT_EQ(host->revision(), revision);
  placer.GroupsListClick(0);
  placer.EditField(Control::GapX, "-1");
  placer.PlaceClick();
  EXPECT_EQ(host->revision(), revision);
  placer.EditField(Control::GapX, "1");
  placer.EditField(Control::Cols, "0");
  placer.PlaceClick();
  EXPECT_EQ(host->revision(), revision);
  EXPECT_THROW(placer.CellPosition(1), TandrelError);
  placer.EditField(Control::Cols, "3");
  EXPECT_EQ(placer.CellPosition(1), (placement::DesignPoint{373000 + 354000, 400000}));
}

TEST_F(PlacerHostTest, TargetsBeyondTheHostsRangeMoveNothing) {
  // On the page the grid fits; shifted back by the relative origin of 1000
  // display units its far cells do not.
  dbxhost::Design channels = singlePartChannels(3);
  channels.pcb.header.isGridAbsolute = false;
  channels.pcb.header.relGridOrigin = {100000000, 0};
  start(std::move(channels));
  load(syntheticNames(3, 1), 1);
  placer.GroupsListClick(0);
  placer.SetCorner(RectCorner::Unrelated);
  placer.EditField(Control::CoordX, "21400");
  placer.EditField(Control::CoordY, "0");
  placer.EditField(Control::Rows, "1");
  ASSERT_TRUE(placer.PlaceEnabled());
  const uint64_t revision = host->revision();
  EXPECT_THROW(placer.PlaceClick(), TandrelError);
  EXPECT_EQ(host->revision(), revision);
  EXPECT_FALSE(host->isHeld(DBX::kToolPcb));
}

TEST_F(PlacerHostTest, AFailingHostCallStopsPlacingAndReleasesTheHost) {
  startChannels(4);
  placer.GroupsListClick(0);
  placer.EditField(Control::Rows, "1");
  // Each move is one call here; let the second placement's move fail.
  DBX::Lock lock(*design, false);
  host->injectStatus(DBX::kToolPcb, 2, DBX::DBX_MOVE_ERROR);
  EXPECT_THROW(placer.PlaceGroups(0), DBX::DBXException);
  expectRepeats("R2", "R1", length(Control::DeltaX), 0);
  EXPECT_EQ(hostComponent("R3").placement.refPoint, (DBX::TPoint{500000, 1100000}));
}

TEST_F(PlacerHostTest, GatherLaysTheTemplateOutInRowsOfTheRootOfItsItems) {
  start(singlePartChannels(10));
  load(syntheticNames(10, 1), 10);  // one group of 10 items
  placer.GroupsListClick(0);
  gather("10", "20", "1");
  // Rows of 3, 3, 3 and 1; each item 2.54 x 2.00 with its centre as origin.
  for (int i = 0; i < 10; ++i) {
    const int col = i % 3;
    const int row = i / 3;
    const DBX::TPoint expected{1000000 + col * 354000 + 127000, 2000000 + row * 300000 + 100000};
    EXPECT_EQ(hostComponent("R" + std::to_string(i + 1)).placement.refPoint, expected) << i;
  }
}

TEST_F(PlacerHostTest, GatherOfFourItemsGivesTwoRowsOfTwoAndKeepsOrientation) {
  dbxhost::Design channels = singlePartChannels(4);
  channels.pcb.components[1].placement.rotation = 900;
  start(std::move(channels));
  load(syntheticNames(4, 1), 4);
  placer.GroupsListClick(0);
  gather("0", "0", "0.5");
  // R2 is turned: 2.00 wide, 2.54 high, so the first row is 3.04 high.
  EXPECT_EQ(hostComponent("R1").placement.refPoint, (DBX::TPoint{127000, 100000}));
  EXPECT_EQ(hostComponent("R2").placement.refPoint, (DBX::TPoint{304000 + 100000, 127000}));
  EXPECT_EQ(hostComponent("R2").placement.rotation, 900);
  EXPECT_EQ(hostComponent("R3").placement.refPoint, (DBX::TPoint{127000, 304000 + 100000}));
  EXPECT_EQ(hostComponent("R4").placement.refPoint, (DBX::TPoint{304000 + 127000, 404000}));
}

TEST_F(PlacerHostTest, GatherWithInvalidFieldsMovesNothing) {
  startChannels(2);
  placer.GroupsListClick(0);
  placer.EditField(Control::GrpX, "1");
  placer.EditField(Control::GrpY, "-2");
  const uint64_t revision = host->revision();
  placer.GatherTemplate();
  EXPECT_TRUE(invalid(Control::GrpY));
  EXPECT_TRUE(invalid(Control::GrGap));
  EXPECT_FALSE(invalid(Control::GrpX));
  EXPECT_EQ(host->revision(), revision);
}

TEST_F(PlacerHostTest, HighlightMemoryRestoresTheFormerColour) {
  dbxhost::Design quad = dbxhost::readDesignFile(kQuad);
  for (dbxhost::PcbComponent& c : quad.pcb.components) {
    if (c.refDes == "R1") c.highlight = DBX::DBX_COLOR_BLUE;
  }
  start(std::move(quad));
  load(quadNames(), 7);
  placer.GroupsListClick(0);
  placer.HighlightCurrent();
  EXPECT_EQ(hostComponent("R1").highlight, DBX::DBX_COLOR_RED);
  EXPECT_EQ(hostComponent("J1").highlight, DBX::DBX_COLOR_RED);
  EXPECT_EQ(placer.HighlightMemory().size(), 7u);
  placer.UnHighlightAll();
  EXPECT_EQ(hostComponent("R1").highlight, DBX::DBX_COLOR_BLUE);
  EXPECT_EQ(hostComponent("J1").highlight, 0);
  EXPECT_TRUE(placer.HighlightMemory().empty());
}

TEST_F(PlacerHostTest, AutomaticHighlightFollowsTheSelection) {
  start(dbxhost::readDesignFile(kQuad));
  load(quadNames(), 7);
  placer.GroupsListClick(0);
  placer.SetAutoHighlight(true);
  EXPECT_EQ(hostComponent("U1").highlight, DBX::DBX_COLOR_RED);
  placer.GroupsListClick(1);
  EXPECT_EQ(hostComponent("U1").highlight, 0);
  EXPECT_EQ(hostComponent("U2").highlight, DBX::DBX_COLOR_RED);
  placer.SetAutoHighlight(false);
  EXPECT_EQ(hostComponent("U2").highlight, 0);
  EXPECT_TRUE(placer.HighlightMemory().empty());

  // With no group selected "Highlight Current" only restores.
  placer.HighlightCurrent();
  placer.GroupsListClick(std::nullopt);
  placer.HighlightCurrent();
  EXPECT_EQ(hostComponent("U2").highlight, 0);
  EXPECT_TRUE(placer.HighlightMemory().empty());
}

TEST_F(PlacerHostTest, MissingComponentsAreNotHighlighted) {
  start(dbxhost::readDesignFile(kQuad));
  load({"J1", "X1", "J2", "X2"}, 2);
  placer.GroupsListClick(0);
  placer.HighlightCurrent();
  EXPECT_EQ(placer.HighlightMemory().size(), 1u);
  EXPECT_EQ(hostComponent("J1").highlight, DBX::DBX_COLOR_RED);
}

TEST_F(PlacerHostTest, AFailedRestoreKeepsWhatIsNotRestoredYet) {
  start(dbxhost::readDesignFile(kQuad));
  load(quadNames(), 7);
  placer.GroupsListClick(0);
  placer.HighlightCurrent();
  DBX::Lock lock(*design, false);
  host->injectStatus(DBX::kToolPcb, 3, DBX::DBX_INVALID_HIGHLIGHT_COLOR);
  EXPECT_THROW(placer.UnHighlightAll(), DBX::DBXException);
  EXPECT_EQ(placer.HighlightMemory().size(), 5u);
  placer.UnHighlightAll();
  EXPECT_TRUE(placer.HighlightMemory().empty());
  for (const char* refDes : {"J1", "C1", "R1", "U1", "R2", "R3", "C2"}) {
    EXPECT_EQ(hostComponent(refDes).highlight, 0) << refDes;
  }
}

TEST_F(PlacerHostTest, ClearingTheDesignForgetsTheHighlightsWithoutHostCalls) {
  start(dbxhost::readDesignFile(kQuad));
  load(quadNames(), 7);
  placer.GroupsListClick(0);
  placer.HighlightCurrent();
  design->clear();
  const int calls = host->callCount(DBX::kToolPcb);
  placer.DesignCleared();
  EXPECT_TRUE(placer.HighlightMemory().empty());
  EXPECT_TRUE(placer.Components().empty());
  EXPECT_TRUE(placer.GroupLines().empty());
  EXPECT_FALSE(placer.PlaceEnabled());
  placer.UnHighlightAll();
  placer.PlaceClick();
  EXPECT_EQ(host->callCount(DBX::kToolPcb), calls);

  // A fresh snapshot works as before.
  design->selectTool(DBX::kToolPcb);
  load(quadNames(), 7);
  placer.GroupsListClick(1);
  placer.HighlightCurrent();
  EXPECT_EQ(hostComponent("U2").highlight, DBX::DBX_COLOR_RED);
}

TEST_F(PlacerHostTest, HighlightMemorySurvivesLoadGroups) {
  start(dbxhost::readDesignFile(kQuad));
  load(quadNames(), 7);
  placer.GroupsListClick(0);
  placer.HighlightCurrent();
  load(quadNames(), 7);
  EXPECT_EQ(placer.HighlightMemory().size(), 7u);
  placer.UnHighlightAll();
  EXPECT_EQ(hostComponent("U1").highlight, 0);
}

}  // namespace

namespace {

using namespace testing_placement;
using placement::Control;

// Two channels of three parts (R1, C2, R3 and R4, C5, R6) on a 1.27 mm
// grid, the template's parts off that grid by different amounts. The host
// knows no board outline until a test gives one.
class PlacerGuardTest : public PlacerFixture {
 protected:
  void SetUp() override {
    dbxhost::Design channels = dbxhost::makeSyntheticDesign(2, 3, false);
    channels.pcb.grids = {{1, "1.27mm"}};
    channels.pcb.boardOutline.clear();
    start(std::move(channels));
    moveInHost("R1", 33000, 7000);
    moveInHost("C2", -51000, 12000);
    moveInHost("R3", 61000, -40000);
    { DBX::Lock verify(*design, true); }
    load(syntheticNames(2, 3), 3);
    placer.GroupsListClick(0);
    placer.EditField(Control::Rows, "1");
  }
  void setFixed(const std::string& refDes, bool fixed) {
    host->withDesign([&](dbxhost::Design& d) {
      for (dbxhost::PcbComponent& c : d.pcb.components) {
        if (c.refDes == refDes) c.fixed = fixed;
      }
    });
  }
  void setWorkspace(DBX::TRect area) {
    host->withDesign([&](dbxhost::Design& d) { d.pcb.header.workspace = area; });
  }
  void setOutline(DBX::TRect box) {
    host->withDesign([&](dbxhost::Design& d) {
      d.pcb.boardOutline = {box.lowerLeft,
                            {box.upperRight.x, box.lowerLeft.y},
                            box.upperRight,
                            {box.lowerLeft.x, box.upperRight.y}};
    });
  }
  DBX::TPoint shift(const std::string& copy, const std::string& model) const {
    const DBX::TPoint c = hostComponent(copy).placement.refPoint;
    const DBX::TPoint m = hostComponent(model).placement.refPoint;
    return {c.x - m.x, c.y - m.y};
  }
};

TEST_F(PlacerGuardTest, AnOffGridTemplateIsRepeatedByOneShiftVector) {
  placer.PlaceClick();
  const DBX::TPoint first = shift("R4", "R1");
  EXPECT_EQ(shift("C5", "C2"), first);
  EXPECT_EQ(shift("R6", "R3"), first);
  // The cell itself lies on the grid: the footprint's snapped corner moved by
  // a whole number of steps.
  EXPECT_EQ(first.x % 127000, 0);
  EXPECT_EQ(first.y % 127000, 0);
  EXPECT_GT(first.x, 0);
}

TEST_F(PlacerGuardTest, LockedTargetsStopPlaceBeforeAnyMoveAndAreNamed) {
  setFixed("C5", true);
  setFixed("R6", true);
  setFixed("R1", true);  // the template's own lock does not matter: it stays
  const uint64_t revision = host->revision();
  placer.PlaceClick();
  EXPECT_EQ(host->revision(), revision);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, diag::MessageKind::Error);
  EXPECT_THAT(ui.boxes[0].text, ::testing::StartsWith("Locked parts cannot be moved: C5, R6\n"));
  EXPECT_FALSE(placer.UndoEnabled());

  // Place re-reads the locks: unlocked in the host, the parts move.
  setFixed("C5", false);
  setFixed("R6", false);
  placer.PlaceClick();
  EXPECT_EQ(shift("R6", "R3"), shift("R4", "R1"));
  EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(PlacerGuardTest, GroupRefusesALockedTemplatePart) {
  setFixed("C2", true);
  { DBX::Lock verify(*design, true); }
  const uint64_t revision = host->revision();
  gather("0", "0", "1");
  EXPECT_EQ(host->revision(), revision);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_THAT(ui.boxes[0].text, ::testing::HasSubstr(": C2\n"));
}

TEST_F(PlacerGuardTest, PartsBeyondTheBoardAreConfirmedFirst) {
  // The board ends inside the copy's last part: the copy lands 10.16 to the
  // right, R6 at 21.77.
  setWorkspace({{0, 0}, {2200000, 1000000}});
  expectCancelledQuestion("Parts that would lie outside the board: 1\nG2: R6\nMove them anyway?");
  EXPECT_FALSE(placer.UndoEnabled());

  ui.answers = {true};
  placer.PlaceClick();
  EXPECT_EQ(ui.questions.size(), 2u);
  EXPECT_EQ(shift("R6", "R3"), shift("R4", "R1"));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(PlacerGuardTest, TheBoardOutlineRatherThanTheWorkspaceIsTheBoard) {
  // The workspace has room for the copy, the board ends inside R6.
  setWorkspace({{0, 0}, {100000000, 100000000}});
  setOutline({{0, 0}, {2200000, 1000000}});
  expectCancelledQuestion("Parts that would lie outside the board: 1\nG2: R6\nMove them anyway?");

  // Now the board has room where the workspace would not.
  setWorkspace({{0, 0}, {2200000, 1000000}});
  setOutline({{0, 0}, {100000000, 100000000}});
  placer.PlaceClick();
  EXPECT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(shift("R6", "R3"), shift("R4", "R1"));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(PlacerGuardTest, ReferencePointsBeyondTheWorkspaceAreRefusedOnAnyBoard) {
  // The host would refuse these moves half way through the Place, also where
  // it knows a board with room for them.
  setWorkspace({{0, 0}, {2000000, 1000000}});
  for (const bool outline : {false, true}) {
    SCOPED_TRACE(outline ? "with a board outline" : "without a board outline");
    if (outline) setOutline({{0, 0}, {100000000, 100000000}});
    ui.boxes.clear();
    const uint64_t revision = host->revision();
    placer.PlaceClick();
    EXPECT_EQ(host->revision(), revision);
    EXPECT_TRUE(ui.questions.empty());
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_THAT(
        ui.boxes[0].text,
        ::testing::StartsWith("The host cannot place these parts outside its workspace: R6\n"));
  }
}

TEST_F(PlacerGuardTest, ABoardLargeEnoughOrUndefinedAsksNothing) {
  setWorkspace({{0, 0}, {100000000, 100000000}});
  placer.PlaceClick();
  setWorkspace({});
  placer.PlaceClick();
  EXPECT_TRUE(ui.questions.empty());
  EXPECT_TRUE(placer.UndoEnabled());
}

// The example KiCad project: four channels of seven parts, CH1 turned
// differently from the rest, on a 100 x 80 board whose edge is a rectangle on
// Edge.Cuts. The host has no workspace of its own here.
class PlacerKicadBoardTest : public PlacerFixture {
 protected:
  void SetUp() override {
    start(dbxhost::openDesign(std::string(TANDREL_EXAMPLES_DIR) +
                              "/kicad/quad-opamp/quad-opamp.kicad_pcb")
              .design);
    std::vector<std::string> names;
    for (int k = 1; k <= 4; ++k) {
      for (const char* item : {"R%d01", "R%d02", "R%d03", "R%d04", "C%d01", "C%d02", "U%d01"}) {
        std::string name(item);
        name.replace(name.find("%d"), 2, std::to_string(k));
        names.push_back(name);
      }
    }
    load(names, 7);
    placer.GroupsListClick(0);
    placer.EditField(Control::Rows, "1");
  }
};

TEST_F(PlacerKicadBoardTest, TheHostServesTheExtentOfTheEdgeCuts) {
  const DBX::TDesign& header = design->pack(DBX::kToolPcb).header();
  EXPECT_EQ(header.workspaceExtents, DBX::TRect{});
  // (100, 55) to (200, 135) in KiCad's downward y.
  EXPECT_EQ(header.boardExtents, (DBX::TRect{{10000000, -13500000}, {20000000, -5500000}}));
}

TEST_F(PlacerKicadBoardTest, ACopyBeyondTheEdgeIsAskedAboutAndCancelMovesNothing) {
  // Cells 46.5 apart from CH1's footprint at x 109: CH2 ends inside the
  // board, CH3 and CH4 beyond its right edge.
  placer.EditField(Control::GapX, "30");
  ASSERT_TRUE(placer.PlaceEnabled());
  expectCancelledQuestion(
      "Parts that would lie outside the board: 14\n"
      "G3: R301, R302, R303, R304, C301, C302, U301\n"
      "G4: R401, R402, R403, R404, C401, C402, U401\nMove them anyway?");
  EXPECT_FALSE(placer.UndoEnabled());

  // Confirmed, the copies go beside the board: the host allows it.
  ui.answers = {true};
  placer.PlaceClick();
  EXPECT_GT(hostComponent("U401").placement.refPoint.x, 20000000);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(placer.UndoEnabled());
}

TEST_F(PlacerKicadBoardTest, CopiesInsideTheEdgeAreNotAskedAbout) {
  placer.EditField(Control::GapX, "5");
  placer.PlaceClick();
  EXPECT_TRUE(ui.questions.empty());
  EXPECT_TRUE(ui.boxes.empty());
  const DBX::TPoint copy = hostComponent("U401").placement.refPoint;
  const DBX::TPoint model = hostComponent("U101").placement.refPoint;
  EXPECT_EQ(copy.x - model.x, 3 * *placement::ParseLength(text(Control::DeltaX)));
  EXPECT_EQ(copy.y, model.y);
}

}  // namespace
