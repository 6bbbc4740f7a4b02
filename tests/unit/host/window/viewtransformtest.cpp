#include "window/viewtransform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace dbxhost {
namespace {

void expectNear(ViewPoint actual, ViewPoint expected, double tolerance = 1e-6) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
}

ViewBox box(double left, double bottom, double right, double top) {
  ViewBox b;
  b.add(ViewPoint{left, bottom});
  b.add(ViewPoint{right, top});
  return b;
}

TEST(ViewBoxTest, GrowsAroundWhatIsAddedAndIgnoresEmptyBoxes) {
  ViewBox b;
  EXPECT_TRUE(b.empty);
  EXPECT_EQ(b.width(), 0);
  b.add(ViewPoint{5, -3});
  EXPECT_FALSE(b.empty);
  EXPECT_EQ(b.width(), 0);
  b.add(ViewPoint{-1, 4});
  b.add(ViewBox{});
  EXPECT_EQ(b.left, -1);
  EXPECT_EQ(b.right, 5);
  EXPECT_EQ(b.bottom, -3);
  EXPECT_EQ(b.top, 4);
  ViewBox other = box(10, 10, 20, 20);
  b.add(other);
  EXPECT_EQ(b.width(), 21);
  EXPECT_EQ(b.height(), 23);
}

TEST(ViewTransformTest, DesignYAxisPointsUpOnTheScreen) {
  ViewTransform t;
  t.fit(box(0, 0, 1000, 1000), 200, 200, 0);
  const ViewPoint low = t.toScreen({500, 0});
  const ViewPoint high = t.toScreen({500, 1000});
  EXPECT_GT(low.y, high.y);
  EXPECT_NEAR(high.y, 0, 1e-9);
  EXPECT_NEAR(low.y, 200, 1e-9);
  EXPECT_LT(t.toScreen({0, 500}).x, t.toScreen({1000, 500}).x);
}

TEST(ViewTransformTest, ScreenAndDesignPointsRoundTripAfterPanAndZoom) {
  ViewTransform t;
  t.pan(37, -12);
  t.zoomAt({80, 40}, 3.5);
  t.pan(-5, 9);
  for (const ViewPoint p : {ViewPoint{0, 0}, ViewPoint{-2e9, 2e9}, ViewPoint{12345, -678}}) {
    const ViewPoint back = t.toDesign(t.toScreen(p));
    EXPECT_NEAR(back.x, p.x, std::abs(p.x) * 1e-12 + 1e-6);
    EXPECT_NEAR(back.y, p.y, std::abs(p.y) * 1e-12 + 1e-6);
  }
}

TEST(ViewTransformTest, PanMovesThePictureWithTheMouse) {
  ViewTransform t;
  const ViewPoint before = t.toScreen({1000, 1000});
  t.pan(15, -20);
  expectNear(t.toScreen({1000, 1000}), {before.x + 15, before.y - 20});
}

TEST(ViewTransformTest, ZoomKeepsThePointUnderTheCursor) {
  ViewTransform t;
  t.fit(box(0, 0, 10000000, 7000000), 800, 600, 20);
  const ViewPoint cursor{123, 456};
  const ViewPoint under = t.toDesign(cursor);
  const double scale = t.scale();
  t.zoomAt(cursor, 2);
  EXPECT_DOUBLE_EQ(t.scale(), scale * 2);
  expectNear(t.toScreen(under), cursor);
  t.zoomAt(cursor, 0.25);
  EXPECT_DOUBLE_EQ(t.scale(), scale / 2);
  expectNear(t.toScreen(under), cursor);
}

TEST(ViewTransformTest, ZoomStaysWithinItsLimitsAndIgnoresNonsense) {
  ViewTransform t;
  const ViewPoint cursor{50, 50};
  const ViewPoint under = t.toDesign(cursor);
  t.zoomAt(cursor, 1e30);
  EXPECT_EQ(t.scale(), ViewTransform::kMaxScale);
  expectNear(t.toScreen(under), cursor);
  t.zoomAt(cursor, 1e-30);
  EXPECT_EQ(t.scale(), ViewTransform::kMinScale);
  expectNear(t.toScreen(under), cursor);
  const double scale = t.scale();
  t.zoomAt(cursor, 0);
  t.zoomAt(cursor, -2);
  t.zoomAt(cursor, std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(t.scale(), scale);
  expectNear(t.toScreen(under), cursor);
}

TEST(ViewTransformTest, FitCentresTheBoxWithinTheMargins) {
  ViewTransform t;
  // A wide box in a square view: the width decides the scale.
  t.fit(box(-1000, 500, 3000, 1500), 440, 440, 20);
  EXPECT_DOUBLE_EQ(t.scale(), 400.0 / 4000);
  expectNear(t.toScreen({-1000, 1000}), {20, 220});
  expectNear(t.toScreen({3000, 1000}), {420, 220});
  expectNear(t.toScreen({1000, 1500}), {220, 170});
  // A tall box: the height decides.
  t.fit(box(0, 0, 10, 1000), 300, 120, 10);
  EXPECT_DOUBLE_EQ(t.scale(), 100.0 / 1000);
  expectNear(t.toScreen({5, 500}), {150, 60});
}

TEST(ViewTransformTest, FitHandlesFlatBoxesPointsAndEmptyViews) {
  ViewTransform t;
  t.fit(box(0, 100, 2000, 100), 220, 100, 10);  // a horizontal line
  EXPECT_DOUBLE_EQ(t.scale(), 200.0 / 2000);
  expectNear(t.toScreen({1000, 100}), {110, 50});

  t.fit(box(7, 7, 7, 7), 100, 100, 10);  // one point: closest zoom, centred
  EXPECT_EQ(t.scale(), ViewTransform::kMaxScale);
  expectNear(t.toScreen({7, 7}), {50, 50});

  const double scale = t.scale();
  const ViewPoint at = t.toScreen({0, 0});
  t.fit(ViewBox{}, 100, 100, 10);
  t.fit(box(0, 0, 10, 10), 0, 100, 10);
  t.fit(box(0, 0, 10, 10), 100, -5, 10);
  EXPECT_EQ(t.scale(), scale);
  expectNear(t.toScreen({0, 0}), at);

  // Margins larger than the view still give a usable, finite scale.
  t.fit(box(0, 0, 1e9, 1e9), 10, 10, 50);
  EXPECT_GE(t.scale(), ViewTransform::kMinScale);
  EXPECT_TRUE(std::isfinite(t.toScreen({0, 0}).x));
}

}  // namespace
}  // namespace dbxhost
