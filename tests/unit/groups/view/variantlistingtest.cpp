#include "groups/view/variantlisting.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "boards.h"
#include "groups/groupselector.h"
#include "scriptedui.h"
#include "storage/designfile.h"

namespace {

using ::testing::ElementsAre;

class VariantListingTest : public ::testing::Test {
 protected:
  VariantListingTest() { page.LoadDesign(board.design); }

  testing_diag::ScriptedUi ui;
  boards::Loaded board{
      dbxhost::readDesignFile(std::string(TANDREL_EXAMPLES_DIR) + "/quad-preamp.json"),
      DBX::kToolPcb};
  TGroupSelector page;
};

TEST_F(VariantListingTest, HeadingsAreTheTemplateAndRowsTheVariants) {
  page.SetTemplateRow(board.components({"C1", "R1"}), -1, false);
  const VariantListing listing(
      page.GrItems(), VariantList::fromRows(2, board.components({"C3", "R4", "C5", "R7"})));
  EXPECT_THAT(listing.headings(), ElementsAre("C1", "R1"));
  ASSERT_EQ(listing.columnCount(), 2u);
  ASSERT_EQ(listing.rowCount(), 2u);
  EXPECT_EQ(listing.text(0, 0), "C3");
  EXPECT_EQ(listing.text(0, 1), "R4");
  EXPECT_EQ(listing.text(1, 0), "C5");
  EXPECT_EQ(listing.text(1, 1), "R7");
  EXPECT_THROW(listing.text(2, 0), std::out_of_range);
}

TEST_F(VariantListingTest, MissingComponentsShowEmptyAndATableWithoutItemsListsNothing) {
  page.SetTemplateRow(board.components({"C1"}), -1, false);
  const VariantListing one(page.GrItems(), VariantList::fromRows(1, {nullptr}));
  ASSERT_EQ(one.rowCount(), 1u);
  EXPECT_EQ(one.text(0, 0), "");

  TGroupSelector empty;
  const VariantListing none(empty.GrItems(), VariantList());
  EXPECT_TRUE(none.headings().empty());
  EXPECT_EQ(none.rowCount(), 0u);
}

TEST_F(VariantListingTest, VariantsOfAnotherSizeThanTheTemplateAreRefused) {
  page.SetTemplateRow(board.components({"C1", "R1"}), -1, false);
  EXPECT_THROW(VariantListing(page.GrItems(), VariantList::fromRows(1, board.components({"C3"}))),
               std::invalid_argument);
}

}  // namespace
