#include "dbx/refdesstring.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

TEST(RefDesStringTest, OrdersDesignatorsAscending) {
  const std::vector<RefDesString> ascending = {"",     "C10",  "R",   "R0", "R2", "R2A",
                                               "R10",  "R11",  "RA",  "Ra", "U1", "U1:2",
                                               "U1:A", "U1:B", "U1A", "U2", "c2"};
  for (std::size_t i = 0; i < ascending.size(); ++i) {
    for (std::size_t j = i + 1; j < ascending.size(); ++j) {
      EXPECT_TRUE(ascending[i] < ascending[j]) << ascending[i].str() << " < " << ascending[j].str();
      EXPECT_FALSE(ascending[j] < ascending[i])
          << ascending[j].str() << " < " << ascending[i].str();
    }
  }
  const std::vector<std::pair<RefDesString, RefDesString>> below = {
      {"U1:Z", "U1:AA"}, {"U1:99", "U1:A"}, {"U1:", "U1:1"}, {"R9", "R9:1"}};
  for (const auto& [low, high] : below) {
    EXPECT_TRUE(low < high) << low.str() << " < " << high.str();
    EXPECT_FALSE(high < low) << high.str() << " < " << low.str();
  }
}

TEST(RefDesStringTest, TreatsEquivalentSpellingsAsEqual) {
  const std::vector<std::pair<RefDesString, RefDesString>> equal = {
      {"R10", "R010"},   {"U1", "U1:"},     {"U1", "U1:0"},    {"U1:A", "U1:a"}, {"U1:A", "U1:-"},
      {"U1:A", "U1:A5"}, {"U1:2", "U1:02"}, {"U1:2x", "U1:2"}, {"", ""},         {"R0", "R000"}};
  for (const auto& [a, b] : equal) {
    EXPECT_TRUE(a == b) << a.str() << " == " << b.str();
    EXPECT_FALSE(a < b) << a.str() << " < " << b.str();
    EXPECT_FALSE(b < a) << b.str() << " < " << a.str();
  }
  EXPECT_FALSE(RefDesString("R10") == RefDesString("R100"));
  EXPECT_FALSE(RefDesString("U1:A") == RefDesString("U1:B"));
}

TEST(RefDesStringTest, MapKeepsOneOfEqualKeysInValueOrder) {
  std::map<RefDesString, int> map;
  map["R10"] = 1;
  map["R010"] = 2;  // same key as R10
  map["R2"] = 3;
  map["C1"] = 4;
  ASSERT_EQ(map.size(), 3u);
  EXPECT_EQ(map.at("R10"), 2);
  std::vector<std::string> order;
  for (const auto& [key, value] : map) order.push_back(key.str());
  EXPECT_EQ(order, (std::vector<std::string>{"C1", "R2", "R10"}));
}

TEST(RefDesStringTest, HugeDigitRunsCompareWithoutOverflowing) {
  // Unsigned wrap-around keeps the comparison defined; both stay below a
  // letter, which every digit token is.
  const RefDesString huge("R99999999999999999999");
  EXPECT_TRUE(huge < RefDesString("RA"));
  EXPECT_FALSE(RefDesString("U1:ZZZZZZZZZZZZZZ") < RefDesString("U1:2"));
}

TEST(RefDesStringTest, PartNumberRule) {
  EXPECT_EQ(RefDesString::partNumber(false, "", false), 1u);
  EXPECT_EQ(RefDesString::partNumber(false, "", true), 0u);
  EXPECT_EQ(RefDesString::partNumber(true, "", false), 1u);
  EXPECT_EQ(RefDesString::partNumber(true, "", true), 0u);
  EXPECT_EQ(RefDesString::partNumber(true, "A", false), 1u);
  EXPECT_EQ(RefDesString::partNumber(true, "B", false), 2u);
  EXPECT_EQ(RefDesString::partNumber(true, "Z", false), 26u);
  EXPECT_EQ(RefDesString::partNumber(true, "AA", false), 27u);
  EXPECT_EQ(RefDesString::partNumber(true, "A", true), 0x20000001u);
  EXPECT_EQ(RefDesString::partNumber(true, "B", true), 0x20000002u);
  EXPECT_EQ(RefDesString::partNumber(true, "12", false), 12u);
  EXPECT_EQ(RefDesString::partNumber(true, "12", true), 12u);  // no flag bits for digits
  EXPECT_EQ(RefDesString::partNumber(true, "3B", false), 3u);
  EXPECT_EQ(RefDesString::partNumber(true, "a", false), 1u);
  EXPECT_EQ(RefDesString::partNumber(true, "-", false), 1u);
  EXPECT_EQ(RefDesString::partNumber(true, "Bx", false), 2u);
}

TEST(RefDesStringTest, PartsSplitAtFirstColon) {
  struct Case {
    const char* text;
    const char* designator;
    int32_t part;
  };
  const Case cases[] = {{"U1:B", "U1", 2},   {"U1:", "U1", 1},  {"R5", "R5", -1}, {"U1:2", "U1", 2},
                        {"U1:AA", "U1", 27}, {"U1:b", "U1", 1}, {"", "", -1},     {":C", "", 3},
                        {"U1:A:B", "U1", 1}, {"U7:0", "U7", 0}};
  for (const Case& c : cases) {
    const RefDesString::Parts parts(c.text);
    EXPECT_EQ(parts.designator, c.designator) << c.text;
    EXPECT_EQ(parts.part, c.part) << c.text;
  }
}

TEST(RefDesStringTest, NullTextIsEmpty) {
  const RefDesString fromNull(static_cast<const char*>(nullptr));
  EXPECT_EQ(fromNull.str(), "");
  EXPECT_TRUE(fromNull == RefDesString(""));
}

}  // namespace
