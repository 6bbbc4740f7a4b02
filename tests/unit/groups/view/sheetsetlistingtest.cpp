#include "groups/view/sheetsetlisting.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "boards.h"
#include "groups/selectsheetvars.h"
#include "storage/designfile.h"

namespace {

using ::testing::ElementsAre;

class SheetSetListingTest : public ::testing::Test {
 protected:
  boards::Loaded board{
      dbxhost::readDesignFile(std::string(TANDREL_EXAMPLES_DIR) + "/quad-preamp.json"),
      DBX::kToolSch};
  SelectSheetVars vars{board.design};
};

TEST_F(SheetSetListingTest, OneRowPerSetWithItsSheetsInSetOrder) {
  vars.CollectSheetComponents();
  vars.BuildSheetSignatures();
  vars.FindSheetSets();
  const SheetSetListing listing = SheetSetListing::Build(vars);
  EXPECT_EQ(listing.columns, 4u);
  ASSERT_EQ(listing.rows.size(), 1u);
  EXPECT_THAT(listing.rows[0], ElementsAre("Channel1", "Channel2", "Channel3", "Channel4"));
}

TEST_F(SheetSetListingTest, ShorterSetsLeaveTheirLastCellsEmpty) {
  vars.setSheetNames = {"A1", "A2", "A3", "B1", "B2"};
  vars.sheetSets = {{0, 3}, {3, 5}};
  vars.maxSetSize = 3;
  const SheetSetListing listing = SheetSetListing::Build(vars);
  ASSERT_EQ(listing.rows.size(), 2u);
  EXPECT_THAT(listing.rows[0], ElementsAre("A1", "A2", "A3"));
  EXPECT_THAT(listing.rows[1], ElementsAre("B1", "B2", ""));
}

TEST_F(SheetSetListingTest, NoSetsListNothing) {
  const SheetSetListing listing = SheetSetListing::Build(vars);
  EXPECT_EQ(listing.columns, 0u);
  EXPECT_TRUE(listing.rows.empty());
}

TEST_F(SheetSetListingTest, SetBeyondTheSheetNamesIsRefused) {
  vars.setSheetNames = {"A1", "A2"};
  vars.sheetSets = {{0, 3}};
  vars.maxSetSize = 3;
  EXPECT_THROW(SheetSetListing::Build(vars), std::out_of_range);
}

}  // namespace
