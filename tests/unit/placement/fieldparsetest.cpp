#include "placement/fieldparse.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using placement::CountFieldText;
using placement::LengthFieldText;
using placement::ParseCount;
using placement::ParseLength;

TEST(FieldParseTest, LengthsInDisplayUnits) {
  struct Case {
    const char* text;
    int32_t units;
  };
  const Case cases[] = {
      {"1", 100000},
      {" 2.54 ", 254000},
      {"\t3\n", 300000},
      {"0.000004", 0},
      {"0.000005", 1},
      {"1e-2", 1000},
      {".5", 50000},
      {"5.", 500000},
      {"+3", 300000},
      {"-0", 0},
      {"2.54E1", 2540000},
      {"0.46", 46000},
      {"21474.83647", std::numeric_limits<int32_t>::max()},
  };
  for (const Case& c : cases) {
    const auto units = ParseLength(c.text);
    ASSERT_TRUE(units.has_value()) << c.text;
    EXPECT_EQ(*units, c.units) << c.text;
  }
}

TEST(FieldParseTest, LengthsThatAreNotOneNonNegativeNumberAreRejected) {
  for (const char* text : {"",    "   ",  "-1",  "-0.5",        "1.5mm", "1,5",        "abc",
                           ".",   "e5",   "1e",  "1e+",         "--1",   "+-1",        "inf",
                           "nan", "0x10", "1 2", "21474.83648", "1e400", "99999999999"}) {
    EXPECT_FALSE(ParseLength(text).has_value()) << '"' << text << '"';
  }
}

TEST(FieldParseTest, CountsWithTheirBaseTakenFromTheText) {
  struct Case {
    const char* text;
    uint32_t count;
  };
  const Case cases[] = {{"4", 4}, {" 9 ", 9}, {"0x9", 9}, {"0X9", 9}, {"011", 9},
                        {"0", 0}, {"-0", 0},  {"+3", 3},  {"00", 0},  {"0x0", 0}};
  for (const Case& c : cases) {
    const auto count = ParseCount(c.text, 9);
    ASSERT_TRUE(count.has_value()) << c.text;
    EXPECT_EQ(*count, c.count) << c.text;
  }
}

TEST(FieldParseTest, CountsOutsideTheRangeOrMalformedAreRejected) {
  for (const char* text : {"10", "-1", "a", "3.0", "", "0x", "08", "+-1", "-+1", "0x-1", "1e1",
                           "99999999999999999999", "4 4", "0xA"}) {
    EXPECT_FALSE(ParseCount(text, 9).has_value()) << '"' << text << '"';
  }
  EXPECT_FALSE(ParseCount("1", 0).has_value());
  EXPECT_EQ(ParseCount("0", 0), 0u);
}

TEST(FieldParseTest, WrittenTextsLeaveNegativeLengthsAndEmptyCountsBlank) {
  EXPECT_EQ(LengthFieldText(354000), "3.54");
  EXPECT_EQ(LengthFieldText(46000), "0.46");
  EXPECT_EQ(LengthFieldText(0), "0.00");
  EXPECT_EQ(LengthFieldText(-1), "");
  EXPECT_EQ(LengthFieldText(int64_t{std::numeric_limits<int32_t>::max()} + 1), "");
  EXPECT_EQ(CountFieldText(9), "9");
  EXPECT_EQ(CountFieldText(0), "");
  EXPECT_EQ(CountFieldText(-3), "");
}

}  // namespace
