#include "app/tform1.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "engine/hostdbx.h"
#include "scriptedui.h"
#include "storage/designfile.h"

namespace {

using testing_diag::ScriptedUi;

const std::string kQuad = std::string(TANDREL_EXAMPLES_DIR) + "/quad-preamp.json";

class TForm1Test : public ::testing::Test {
 protected:
  TForm1Test() {
    form.OnStateChange = [this] { ++stateChanges; };
    form.FormCreate();
  }

  // The load buttons, "Clear Design" and the "Place Groups" tab.
  void expectButtons(bool load, bool clear) const {
    EXPECT_EQ(form.ldSchEnabled(), load);
    EXPECT_EQ(form.ldPcbEnabled(), load);
    EXPECT_EQ(form.ldZapEnabled(), clear);
  }

  // Fills the table with the schematic's four channel sheets.
  void fillBySheets() {
    form.LdSCHClick();
    form.GroupSelector1().FillBySheetButtonClick();
    ASSERT_TRUE(form.placeTabVisible());
  }

  ScriptedUi ui;
  dbxhost::HostDbx host{dbxhost::readDesignFile(kQuad)};
  TForm1 form{host};
  int stateChanges = 0;
};

TEST_F(TForm1Test, StartsWithNothingLoadedAndThePlacePageHidden) {
  EXPECT_EQ(form.loadedTool(), DBX::kToolNone);
  expectButtons(true, true);
  EXPECT_FALSE(form.placeTabVisible());
  EXPECT_EQ(form.activePage(), TForm1::kGroupsPage);
  EXPECT_EQ(form.design().tool(), DBX::kToolNone);
  const GroupTable& table = form.GroupSelector1().GrItems();
  EXPECT_EQ(table.cell(1, 0).text, "G1");
  EXPECT_EQ(table.cell(0, 1).text, "C1");
  EXPECT_FALSE(form.GroupSelector1().addHighlightedEnabled());
}

TEST_F(TForm1Test, LoadSchematicListsItsComponentsAndEnablesFillBySheets) {
  form.LdSCHClick();
  EXPECT_EQ(form.loadedTool(), DBX::kToolSch);
  EXPECT_EQ(form.design().tool(), DBX::kToolSch);
  expectButtons(false, true);
  EXPECT_EQ(form.GroupSelector1().CompList().size(),
            form.design().pack(DBX::kToolSch).components().left.size());
  EXPECT_TRUE(form.GroupSelector1().fillBySheetEnabled());
  EXPECT_TRUE(form.GroupSelector1().addHighlightedEnabled());
  EXPECT_FALSE(form.placeTabVisible());
  // Between actions no conversation is held.
  EXPECT_FALSE(host.isHeld(DBX::kToolSch));
}

TEST_F(TForm1Test, LoadPcbLeavesFillBySheetsDisabled) {
  form.LdPCBClick();
  EXPECT_EQ(form.loadedTool(), DBX::kToolPcb);
  expectButtons(false, true);
  EXPECT_EQ(form.GroupSelector1().CompList().size(),
            form.design().pack(DBX::kToolPcb).components().left.size());
  EXPECT_FALSE(form.GroupSelector1().fillBySheetEnabled());
}

TEST_F(TForm1Test, ClearAnsweredOkDropsDesignAndGroups) {
  fillBySheets();
  ui.answers = {true};
  form.LdZAPClick();
  ASSERT_THAT(ui.questions, ::testing::ElementsAre("Remove design info?\nAre you shure?"));
  EXPECT_EQ(form.loadedTool(), DBX::kToolNone);
  expectButtons(true, false);
  EXPECT_FALSE(form.placeTabVisible());
  EXPECT_EQ(form.design().tool(), DBX::kToolNone);
  EXPECT_EQ(form.design().loadedMask(), 0u);
  EXPECT_TRUE(form.design().pack(DBX::kToolSch).components().left.empty());
  EXPECT_EQ(form.GroupSelector1().CompList().size(), 0u);
  EXPECT_EQ(form.GroupSelector1().GrItems().rowCount(), 2);
  EXPECT_EQ(form.GroupSelector1().GrItems().colCount(), 2);
  EXPECT_FALSE(form.GroupSelector1().fillBySheetEnabled());
  EXPECT_FALSE(form.GroupSelector1().addHighlightedEnabled());
}

TEST_F(TForm1Test, ClearBeforeAnyLoadAsksAndDisablesOnlyItself) {
  ui.answers = {true};
  form.LdZAPClick();
  EXPECT_EQ(ui.questions.size(), 1u);
  expectButtons(true, false);
  EXPECT_FALSE(form.placeTabVisible());
}

TEST_F(TForm1Test, LoadAfterClearReadsTheSnapshotAgain) {
  form.LdPCBClick();
  ui.answers = {true};
  form.LdZAPClick();
  const int callsBefore = host.callCount(DBX::kToolPcb);
  form.LdPCBClick();
  EXPECT_EQ(form.design().loadedMask(), 1u << DBX::kToolPcb);
  // A full read walks every component, pad and net again.
  EXPECT_GT(host.callCount(DBX::kToolPcb) - callsBefore,
            static_cast<int>(form.design().pack(DBX::kToolPcb).components().left.size()));
  EXPECT_EQ(form.GroupSelector1().CompList().size(),
            form.design().pack(DBX::kToolPcb).components().left.size());
}

TEST_F(TForm1Test, PlacePageWorksOnThePcbAndTheGroupPageOnTheLoadedTool) {
  fillBySheets();
  form.PageControl1Change(TForm1::kPlacePage);
  EXPECT_EQ(form.activePage(), TForm1::kPlacePage);
  EXPECT_EQ(form.design().tool(), DBX::kToolPcb);
  EXPECT_EQ(form.design().loadedMask(), (1u << DBX::kToolPcb) | (1u << DBX::kToolSch));
  const int rows = form.GroupSelector1().GrItems().rowCount() - 2;
  EXPECT_EQ(form.Placer1().GroupCount(), static_cast<std::size_t>(rows));
  EXPECT_GT(form.Placer1().ItemsPerGroup(), 0u);
  EXPECT_EQ(ui.waitDepth, 0);

  form.PageControl1Change(TForm1::kGroupsPage);
  EXPECT_EQ(form.activePage(), TForm1::kGroupsPage);
  EXPECT_EQ(form.design().tool(), DBX::kToolSch);
}

TEST_F(TForm1Test, TableTurningIncompleteOnThePlacePageReturnsToTheGroupPage) {
  fillBySheets();
  form.PageControl1Change(TForm1::kPlacePage);
  form.PageControl1Change(TForm1::kGroupsPage);
  form.PageControl1Change(TForm1::kPlacePage);
  TGroupSelector& page = form.GroupSelector1();
  page.setCurrentCell(1, 1);
  page.DeletePressed();
  EXPECT_FALSE(form.placeTabVisible());
  EXPECT_EQ(form.activePage(), TForm1::kGroupsPage);
}

TEST_F(TForm1Test, FailedSwitchToThePcbLeavesThePlacePageActive) {
  fillBySheets();
  host.injectStatus(DBX::kToolPcb, 1, DBX::DBX_FATAL_ERROR);
  EXPECT_THROW(form.PageControl1Change(TForm1::kPlacePage), DBX::DBXException);
  EXPECT_EQ(form.activePage(), TForm1::kPlacePage);
  EXPECT_EQ(ui.waitDepth, 0);
  EXPECT_EQ(form.loadedTool(), DBX::kToolSch);
  // Choosing the page again works once the host answers.
  form.PageControl1Change(TForm1::kPlacePage);
  EXPECT_EQ(form.design().tool(), DBX::kToolPcb);
}

TEST_F(TForm1Test, ClearOnThePlacePageForgetsThePlacedGroups) {
  fillBySheets();
  form.PageControl1Change(TForm1::kPlacePage);
  ASSERT_GT(form.Placer1().GroupCount(), 0u);
  ui.answers = {true};
  form.LdZAPClick();
  EXPECT_EQ(form.activePage(), TForm1::kGroupsPage);
  EXPECT_FALSE(form.placeTabVisible());
  EXPECT_EQ(form.Placer1().GroupCount(), 0u);
}

}  // namespace
