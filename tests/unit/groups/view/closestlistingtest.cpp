#include "groups/view/closestlisting.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "boards.h"
#include "groups/groupselector.h"
#include "scriptedui.h"
#include "storage/designfile.h"

namespace {

using ::testing::ElementsAre;

// flat-3ch's J2 and R4 fit channel 1's J1 and R1; C3 of channel 3 does not
// fit C1.
class ClosestListingTest : public ::testing::Test {
 protected:
  ClosestListingTest() {
    page.LoadDesign(board.design);
    page.SetTemplateRow(board.components({"J1", "R1", "C1"}), -1, false);
    page.chooseClosest = [this](const TGroupSelector&, const ClosestMatch::Result& offered) {
      closest = offered;
      return answer;
    };
  }

  testing_diag::ScriptedUi ui;
  boards::Loaded board{
      dbxhost::readDesignFile(std::string(TANDREL_EXAMPLES_DIR) + "/flat-3ch.json"), DBX::kToolPcb};
  TGroupSelector page;
  ClosestMatch::Result closest;
  int answer = -1;
};

TEST_F(ClosestListingTest, ListsEachCandidateWithOneLinePerDifferingPin) {
  page.AddGroup(board.components({"C3", "R4", "J2"}));
  ASSERT_FALSE(closest.candidates.empty());
  const ClosestListing listing = ClosestListing::Build(page.GrItems(), closest);
  EXPECT_THAT(listing.headings, ElementsAre("J1", "R1", "C1"));
  ASSERT_EQ(listing.rows.size(), closest.candidates.size());
  ASSERT_EQ(listing.differences.size(), closest.candidates.size());
  EXPECT_THAT(listing.rows[0], ElementsAre("J2", "R4", "C3"));
  ASSERT_EQ(listing.differences[0].size(), closest.candidates[0].differences.size());
  for (std::size_t k = 0; k < listing.differences[0].size(); ++k) {
    EXPECT_EQ(listing.differences[0][k], closest.candidates[0].differences[k].text());
    EXPECT_THAT(listing.differences[0][k], ::testing::StartsWith("C1 pin "));
    EXPECT_THAT(listing.differences[0][k], ::testing::HasSubstr(" in the template, "));
  }
}

TEST_F(ClosestListingTest, NoCandidatesListNoRows) {
  const ClosestListing listing = ClosestListing::Build(page.GrItems(), ClosestMatch::Result{});
  EXPECT_THAT(listing.headings, ElementsAre("J1", "R1", "C1"));
  EXPECT_TRUE(listing.rows.empty());
  EXPECT_TRUE(listing.differences.empty());
}

}  // namespace
