#include "placement/units.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using placement::FormatLength;
using placement::FormatPoint;

TEST(UnitsTest, FormatLengthShowsTheFewestExactDecimalsButAtLeastTwo) {
  struct Case {
    int32_t units;
    const char* text;
  };
  const Case cases[] = {
      {254000, "2.54"},
      {100, "0.001"},
      {0, "0.00"},
      {-150000, "-1.50"},
      {127000, "1.27"},
      {1000, "0.01"},
      {1500, "0.015"},
      {10, "0.0001"},
      {12340, "0.1234"},
      {1, "0.00001"},
      {12345, "0.12345"},
      {-5, "-0.00005"},
      {-1000, "-0.01"},
      {100000, "1.00"},
      {99999, "0.99999"},
      {7, "0.00007"},
      {std::numeric_limits<int32_t>::max(), "21474.83647"},
      {std::numeric_limits<int32_t>::min(), "-21474.83648"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatLength(c.units), c.text) << c.units;
}

TEST(UnitsTest, FormatPointJoinsBothCoordinates) {
  EXPECT_EQ(FormatPoint(127000, 508000), "(1.27,5.08)");
  EXPECT_EQ(FormatPoint(-100, 0), "(-0.001,0.00)");
}

}  // namespace
