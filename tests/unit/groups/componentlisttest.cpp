#include "groups/componentlist.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

DBX::Component* fake(int n) {
  return reinterpret_cast<DBX::Component*>(static_cast<intptr_t>(n) * 16);
}

class ComponentListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 1; i <= 4; ++i) list.append("R" + std::to_string(i), fake(i));
  }
  ComponentList list;
};

TEST_F(ComponentListTest, FindsByTextAndComponent) {
  EXPECT_EQ(list.find("R3"), 2);
  EXPECT_EQ(list.find("R03"), -1);  // texts compare byte for byte here
  EXPECT_TRUE(list.contains(fake(4)));
  list.erase(3);
  EXPECT_FALSE(list.contains(fake(4)));
  EXPECT_EQ(list.size(), 3u);
}

TEST_F(ComponentListTest, ErasingKeepsTheSelectionOnItsLine) {
  list.setSelected(2);
  list.erase(0);
  EXPECT_EQ(list.selected(), 1);
  EXPECT_EQ(list.selectedComponent(), fake(3));
  list.erase(1);
  EXPECT_EQ(list.selected(), -1);
  EXPECT_EQ(list.selectedComponent(), nullptr);
}

TEST_F(ComponentListTest, TickedComponentsTopToBottom) {
  list.setTicked(3, true);
  list.setTicked(1, true);
  EXPECT_EQ(list.tickedCount(), 2);
  EXPECT_EQ(list.tickedComponents(), (std::vector<DBX::Component*>{fake(2), fake(4)}));
  list.append("C1", fake(9));
  EXPECT_FALSE(list.entries().back().ticked);
}

TEST_F(ComponentListTest, RefusesLinesThatDoNotExist) {
  EXPECT_THROW(list.setTicked(4, true), std::out_of_range);
  EXPECT_THROW(list.setSelected(-2), std::out_of_range);
  EXPECT_THROW(list.erase(7), std::out_of_range);
  EXPECT_EQ(list.size(), 4u);
  list.clear();
  EXPECT_EQ(list.selected(), -1);
  EXPECT_FALSE(list.contains(fake(1)));
}

}  // namespace
