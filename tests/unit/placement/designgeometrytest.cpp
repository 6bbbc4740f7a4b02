#include "placement/designgeometry.h"

#include <gtest/gtest.h>

#include <limits>

#include "diag/tandrelerror.h"

namespace {

using placement::DesignPoint;
using placement::DesignRect;
using placement::RectCorner;

const DesignRect kRect{100, 200, 400, 600};  // 300 wide, 400 high

TEST(DesignGeometryTest, CornerPointsOfARectangle) {
  EXPECT_EQ(kRect.Corner(RectCorner::LeftBottom), (DesignPoint{100, 200}));
  EXPECT_EQ(kRect.Corner(RectCorner::LeftTop), (DesignPoint{100, 600}));
  EXPECT_EQ(kRect.Corner(RectCorner::RightBottom), (DesignPoint{400, 200}));
  EXPECT_EQ(kRect.Corner(RectCorner::RightTop), (DesignPoint{400, 600}));
  EXPECT_EQ(kRect.Corner(RectCorner::Unrelated), (DesignPoint{-1, -1}));
  EXPECT_EQ(DesignRect::Empty().Corner(RectCorner::RightTop), (DesignPoint{0, 0}));
  EXPECT_EQ(DesignRect::Empty().Corner(RectCorner::Unrelated), (DesignPoint{-1, -1}));
}

TEST(DesignGeometryTest, EmptinessLooksAtTheTopOnly) {
  EXPECT_TRUE(DesignRect::Empty().IsEmpty());
  EXPECT_TRUE((DesignRect{5, 5, 9, -1}).IsEmpty());
  EXPECT_FALSE((DesignRect{-1, -1, -1, 0}).IsEmpty());
  EXPECT_EQ(DesignRect::Empty().Width(), 0);
  EXPECT_EQ(DesignRect::Empty().Height(), 0);
  EXPECT_EQ(kRect.Width(), 300);
  EXPECT_EQ(kRect.Height(), 400);
}

TEST(DesignGeometryTest, MovingPutsTheCornerOnThePointAndKeepsTheSize) {
  const DesignPoint p{1000, -2000};
  struct Case {
    RectCorner corner;
    DesignRect expected;
  };
  const Case cases[] = {
      {RectCorner::LeftBottom, {1000, -2000, 1300, -1600}},
      {RectCorner::LeftTop, {1000, -2400, 1300, -2000}},
      {RectCorner::RightBottom, {700, -2000, 1000, -1600}},
      {RectCorner::RightTop, {700, -2400, 1000, -2000}},
  };
  for (const Case& c : cases) {
    DesignRect moved = kRect;
    moved.MoveCornerTo(c.corner, p);
    EXPECT_EQ(moved, c.expected) << static_cast<int>(c.corner);
    EXPECT_EQ(moved.Corner(c.corner), p);
  }
}

TEST(DesignGeometryTest, EmptyRectangleAndUnrelatedDoNotMove) {
  DesignRect empty = DesignRect::Empty();
  empty.MoveCornerTo(RectCorner::LeftBottom, {5, 5});
  EXPECT_EQ(empty, DesignRect::Empty());
  DesignRect rect = kRect;
  rect.MoveCornerTo(RectCorner::Unrelated, {5, 5});
  EXPECT_EQ(rect, kRect);
}

TEST(DesignGeometryTest, AMoveBeyondTheCoordinateRangeFailsAndKeepsTheRectangle) {
  DesignRect rect = kRect;
  EXPECT_THROW(rect.MoveCornerTo(RectCorner::LeftBottom, {std::numeric_limits<int32_t>::max(), 0}),
               TandrelError);
  EXPECT_THROW(rect.MoveCornerTo(RectCorner::RightTop, {0, std::numeric_limits<int32_t>::min()}),
               TandrelError);
  EXPECT_EQ(rect, kRect);
}

TEST(DesignGeometryTest, UnionTakesTheOuterEdgesAndIgnoresEmptyRectangles) {
  DesignRect united = DesignRect::Empty();
  united.Unite(DesignRect::Empty());
  EXPECT_TRUE(united.IsEmpty());
  united.Unite(kRect);
  EXPECT_EQ(united, kRect);
  united.Unite({-50, 300, 200, 900});
  EXPECT_EQ(united, (DesignRect{-50, 200, 400, 900}));
  united.Unite(DesignRect::Empty());
  EXPECT_EQ(united, (DesignRect{-50, 200, 400, 900}));
}

}  // namespace
