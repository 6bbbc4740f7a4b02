#include "groups/variantlist.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <vector>

#include "boards.h"

namespace {

using Components = std::vector<DBX::Component*>;

class VariantListTest : public ::testing::Test {
 protected:
  VariantListTest()
      : board(boards::makeChannelBoard(layout), DBX::kToolPcb),
        parts(board.components(boards::channelRefDes(layout, 1))) {}

  const boards::ChannelBoard layout{1, 6, {}, false};
  boards::Loaded board;
  const Components parts;
};

TEST_F(VariantListTest, GivesBackEveryVariantAsAppended) {
  // Random rows, with repeats, missing components and rows unlike the first.
  std::mt19937 random(7);
  const std::size_t n = parts.size();
  Components appended;
  VariantList list(n);
  for (int k = 0; k < 200; ++k) {
    Components row(n);
    for (auto& entry : row) {
      const auto pick = random() % (n + 1);
      entry = pick == n ? nullptr : parts[pick];
    }
    if (k % 3 == 0 && !appended.empty()) row.assign(appended.begin(), appended.begin() + long(n));
    list.append(row);
    appended.insert(appended.end(), row.begin(), row.end());
  }
  ASSERT_EQ(list.variantCount(), 200u);
  EXPECT_EQ(list.rows(), appended);
  for (std::size_t k = 0; k < list.variantCount(); ++k) {
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(list.at(k, i), appended[k * n + i]) << k << i;
  }
  list.clear();
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(list.rows().empty());
}

TEST_F(VariantListTest, FromRowsDropsAnIncompleteLastVariant) {
  const VariantList list = VariantList::fromRows(2, {parts[0], parts[1], parts[2]});
  ASSERT_EQ(list.variantCount(), 1u);
  EXPECT_EQ(list.row(0), Components({parts[0], parts[1]}));
  EXPECT_TRUE(VariantList::fromRows(0, parts).empty());
}

TEST_F(VariantListTest, RefusesRowsOfAnotherLengthAndReadsOutsideTheList) {
  VariantList list(3);
  EXPECT_THROW(list.append({parts[0], parts[1]}), std::invalid_argument);
  EXPECT_TRUE(list.empty());
  list.append({parts[0], parts[1], parts[2]});
  EXPECT_THROW(list.at(1, 0), std::out_of_range);
  EXPECT_THROW(list.at(0, 3), std::out_of_range);
  EXPECT_THROW(list.row(1), std::out_of_range);
}

}  // namespace
