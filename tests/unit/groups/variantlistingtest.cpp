#include "groups/variantlisting.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
  const VariantListing listing =
      VariantListing::Build(page.GrItems(), board.components({"C3", "R4", "C5", "R7"}));
  EXPECT_THAT(listing.headings, ElementsAre("C1", "R1"));
  ASSERT_EQ(listing.rows.size(), 2u);
  EXPECT_THAT(listing.rows[0], ElementsAre("C3", "R4"));
  EXPECT_THAT(listing.rows[1], ElementsAre("C5", "R7"));
}

TEST_F(VariantListingTest, AnIncompleteLastVariantIsNotListed) {
  page.SetTemplateRow(board.components({"C1", "R1"}), -1, false);
  const VariantListing listing =
      VariantListing::Build(page.GrItems(), board.components({"C3", "R4", "C5"}));
  ASSERT_EQ(listing.rows.size(), 1u);
  EXPECT_THAT(listing.rows[0], ElementsAre("C3", "R4"));
}

TEST_F(VariantListingTest, MissingComponentsShowEmptyAndATableWithoutItemsListsNothing) {
  page.SetTemplateRow(board.components({"C1"}), -1, false);
  const VariantListing one = VariantListing::Build(page.GrItems(), {nullptr});
  ASSERT_EQ(one.rows.size(), 1u);
  EXPECT_THAT(one.rows[0], ElementsAre(""));

  TGroupSelector empty;
  const VariantListing none = VariantListing::Build(empty.GrItems(), board.components({"C3"}));
  EXPECT_TRUE(none.headings.empty());
  EXPECT_TRUE(none.rows.empty());
}

}  // namespace
