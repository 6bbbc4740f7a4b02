#include "placement/designgrid.h"

#include <gtest/gtest.h>

#include <limits>

#include "diag/tandrelerror.h"

namespace {

using placement::DesignPoint;
using placement::GridDirection;
using placement::SnapToStep;
using placement::ToDesignGrid;

DBX::TDesign relativeHeader(int32_t x, int32_t y) {
  DBX::TDesign header;
  header.isGridAbsolute = 0;
  header.relGridOrigin = {x, y};
  return header;
}

DBX::TDesign absoluteHeader() {
  DBX::TDesign header = relativeHeader(500000, 500000);
  header.isGridAbsolute = 1;
  return header;
}

TEST(DesignGridTest, SnapsToTheNearestMultipleWithHalvesRoundingUp) {
  struct Case {
    int64_t value;
    int64_t snapped;
  };
  const Case cases[] = {
      {0, 0},       {49, 0},        {50, 100},    {149, 100},    {150, 200},
      {-49, 0},     {-50, 0},       {-51, -100},  {-130, -100},  {-150, -100},
      {-151, -200}, {-1000, -1000}, {1000, 1000}, {-999, -1000}, {251, 300},
  };
  for (const Case& c : cases) EXPECT_EQ(SnapToStep(c.value, 100), c.snapped) << c.value;
}

TEST(DesignGridTest, OddStepsAndStepsBelowOne) {
  EXPECT_EQ(SnapToStep(1, 3), 0);
  EXPECT_EQ(SnapToStep(2, 3), 3);
  EXPECT_EQ(SnapToStep(-2, 3), -3);
  EXPECT_EQ(SnapToStep(-1, 3), 0);
  EXPECT_EQ(SnapToStep(12345, 1), 12345);
  EXPECT_EQ(SnapToStep(-12345, 0), -12345);
  EXPECT_EQ(SnapToStep(7, -5), 7);
}

TEST(DesignGridTest, RelativeGridShiftsByItsOriginInBothDirections) {
  const DBX::TDesign header = relativeHeader(500000, 500000);
  EXPECT_EQ(ToDesignGrid(header, 1, {1000000, 5500000}, GridDirection::ToRelative),
            (DesignPoint{500000, 5000000}));
  EXPECT_EQ(ToDesignGrid(header, 1, {500000, 5000000}, GridDirection::ToAbsolute),
            (DesignPoint{1000000, 5500000}));
  EXPECT_EQ(ToDesignGrid(header, 1, {1000000, 5500000}, GridDirection::None),
            (DesignPoint{1000000, 5500000}));
}

TEST(DesignGridTest, ShiftedPointsAreSnappedToTheStep) {
  const DBX::TDesign header = relativeHeader(500000, 500000);
  EXPECT_EQ(ToDesignGrid(header, 127000, {1000000, 5500000}, GridDirection::ToRelative),
            (DesignPoint{508000, 4953000}));
  EXPECT_EQ(ToDesignGrid(header, 127000, {508000, 4953000}, GridDirection::ToAbsolute),
            (DesignPoint{1016000, 5461000}));
  // Left of and below the origin the relative coordinates are negative and
  // still snap to the nearest step.
  EXPECT_EQ(ToDesignGrid(header, 127000, {400000, 300000}, GridDirection::ToRelative),
            (DesignPoint{-127000, -254000}));
  EXPECT_EQ(ToDesignGrid(header, 127000, {400000, 300000}, GridDirection::None),
            (DesignPoint{381000, 254000}));
}

TEST(DesignGridTest, AbsoluteGridOnlySnaps) {
  const DBX::TDesign header = absoluteHeader();
  for (GridDirection direction :
       {GridDirection::None, GridDirection::ToRelative, GridDirection::ToAbsolute}) {
    EXPECT_EQ(ToDesignGrid(header, 10000, {123456, -123456}, direction),
              (DesignPoint{120000, -120000}));
  }
}

TEST(DesignGridTest, ResultsBeyondTheCoordinateRangeFail) {
  const DBX::TDesign header = relativeHeader(-1000, 0);
  EXPECT_THROW(
      ToDesignGrid(header, 1, {std::numeric_limits<int32_t>::max(), 0}, GridDirection::ToRelative),
      TandrelError);
  EXPECT_THROW(ToDesignGrid(absoluteHeader(), 1000, {std::numeric_limits<int32_t>::max(), 0},
                            GridDirection::None),
               TandrelError);
  EXPECT_EQ(
      ToDesignGrid(header, 1, {std::numeric_limits<int32_t>::max(), 0}, GridDirection::ToAbsolute),
      (DesignPoint{std::numeric_limits<int32_t>::max() - 1000, 0}));
}

}  // namespace
