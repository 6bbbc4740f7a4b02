#include "model/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace dbxhost {
namespace {

Pattern asymmetricPattern() {
  Pattern p;
  p.name = "ASYM";
  p.pads = {{"1", {-150000, 0}}, {"2", {150000, 0}}, {"3", {0, 270000}}, {"4", {40000, -90000}}};
  return p;
}

double distance(TPoint a, TPoint b) { return std::hypot(double(a.x) - b.x, double(a.y) - b.y); }

TEST(GeometryTest, QuarterTurnsAreExact) {
  EXPECT_EQ(rotateAbout({10, 0}, {0, 0}, 900), (TPoint{0, 10}));
  EXPECT_EQ(rotateAbout({10, 0}, {0, 0}, 1800), (TPoint{-10, 0}));
  EXPECT_EQ(rotateAbout({10, 0}, {0, 0}, 2700), (TPoint{0, -10}));
  EXPECT_EQ(rotateAbout({10, 0}, {0, 0}, -900), (TPoint{0, -10}));
  EXPECT_EQ(rotateAbout({7, 3}, {5, 5}, 3600), (TPoint{7, 3}));
  EXPECT_EQ(rotateAbout({123457, -98765}, {1000, 2000}, 900),
            (TPoint{1000 + 98765 + 2000, 2000 + 122457}));
}

TEST(GeometryTest, ArbitraryAnglesRoundToWholeUnits) {
  // 45 degrees of (100000, 0): 70710.678... rounds to 70711.
  EXPECT_EQ(rotateAbout({100000, 0}, {0, 0}, 450), (TPoint{70711, 70711}));
  EXPECT_EQ(normalizeAngle(-1), 3599);
  EXPECT_EQ(normalizeAngle(7200), 0);
  EXPECT_EQ(normalizeAngle(-3600), 0);
}

TEST(GeometryTest, FlippedPatternIsMirroredAfterItsRotation) {
  const Placement placement{{1000, 2000}, 900, true};
  // Rot(90) turns (10, 0) into (0, 10); the mirror keeps x = 0.
  EXPECT_EQ(placePoint(placement, {10, 0}), (TPoint{1000, 2010}));
  // Rot(90) turns (0, 10) into (-10, 0); the mirror makes it (10, 0).
  EXPECT_EQ(placePoint(placement, {0, 10}), (TPoint{1010, 2000}));
}

TEST(GeometryTest, FlippingTwiceAboutOnePointRestoresThePlacement) {
  const Placement start{{-35000, 81000}, 1234, false};
  const TPoint about{5000, -7000};
  const Placement once = flipped(start, about);
  EXPECT_TRUE(once.flipped);
  EXPECT_EQ(once.rotation, start.rotation);
  EXPECT_EQ(once.refPoint, (TPoint{45000, 81000}));
  EXPECT_EQ(flipped(once, about), start);
}

TEST(GeometryTest, FlipMirrorsEveryPadAboutThePointsX) {
  const Pattern pattern = asymmetricPattern();
  const Placement start{{300000, 100000}, 2700, false};
  const TPoint about{120000, -5};
  const auto before = padPositions(pattern, start);
  const auto after = padPositions(pattern, flipped(start, about));
  ASSERT_EQ(before.size(), after.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(after[i].x, 2 * about.x - before[i].x) << i;
    EXPECT_EQ(after[i].y, before[i].y) << i;
  }
}

TEST(GeometryTest, RotationTurnsEveryPadAboutThePoint) {
  const Pattern pattern = asymmetricPattern();
  for (bool flip : {false, true}) {
    const Placement start{{300000, 100000}, 450, flip};
    const TPoint about{-20000, 40000};
    const auto before = padPositions(pattern, start);
    const auto after = padPositions(pattern, rotated(start, 900, about));
    for (std::size_t i = 0; i < before.size(); ++i) {
      const TPoint expected = rotateAbout(before[i], about, 900);
      EXPECT_NEAR(after[i].x, expected.x, 1) << i;
      EXPECT_NEAR(after[i].y, expected.y, 1) << i;
    }
  }
}

TEST(GeometryTest, PadsKeepTheirLayoutThroughAnySequenceOfEdits) {
  const Pattern pattern = asymmetricPattern();
  const Placement start{{0, 0}, 0, false};
  const auto reference = padPositions(pattern, start);
  std::mt19937 random(12345);
  std::uniform_int_distribution<int32_t> coordinate(-5000000, 5000000);
  std::uniform_int_distribution<int> quarter(-4, 4);
  std::uniform_int_distribution<int> action(0, 2);
  Placement placement = start;
  for (int step = 0; step < 2000; ++step) {
    const TPoint point{coordinate(random), coordinate(random)};
    switch (action(random)) {
      case 0:
        placement = moved(placement, point.x / 10, point.y / 10);
        break;
      case 1:
        placement = flipped(placement, point);
        break;
      default:
        placement = rotated(placement, quarter(random) * 900, point);
        break;
    }
    const auto pads = padPositions(pattern, placement);
    for (std::size_t i = 0; i < pads.size(); ++i) {
      for (std::size_t j = i + 1; j < pads.size(); ++j) {
        // Quarter turns and mirrors are exact: distances never drift.
        ASSERT_EQ(distance(pads[i], pads[j]), distance(reference[i], reference[j])) << step;
      }
    }
  }
}

// Moves a component onto a target point and gives it a template's flip state
// and angle with the host's move, flip and rotate steps, in that order.
Placement placeLike(Placement target, TPoint at, const Placement& like) {
  target = moved(target, at.x - target.refPoint.x, at.y - target.refPoint.y);
  if (target.flipped != like.flipped) target = flipped(target, target.refPoint);
  int32_t d = like.rotation - target.rotation;
  if (d != 0) {
    if (target.flipped) d = -d;
    target = rotated(target, d, target.refPoint);
  }
  return target;
}

TEST(GeometryTest, PlacingLikeATemplateReproducesItsPadLayout) {
  const Pattern pattern = asymmetricPattern();
  std::mt19937 random(777);
  std::uniform_int_distribution<int32_t> coordinate(-3000000, 3000000);
  std::uniform_int_distribution<int32_t> angle(0, 3599);
  std::bernoulli_distribution flip(0.5);
  for (int trial = 0; trial < 500; ++trial) {
    const Placement templ{{coordinate(random), coordinate(random)}, angle(random), flip(random)};
    const Placement target{{coordinate(random), coordinate(random)}, angle(random), flip(random)};
    const TPoint at{coordinate(random), coordinate(random)};
    const Placement placed = placeLike(target, at, templ);
    EXPECT_EQ(placed.refPoint, at);
    EXPECT_EQ(placed.flipped, templ.flipped);
    EXPECT_EQ(placed.rotation, templ.rotation);
    const auto templPads = padPositions(pattern, templ);
    const auto placedPads = padPositions(pattern, placed);
    for (std::size_t i = 0; i < templPads.size(); ++i) {
      EXPECT_EQ(placedPads[i].x - at.x, templPads[i].x - templ.refPoint.x);
      EXPECT_EQ(placedPads[i].y - at.y, templPads[i].y - templ.refPoint.y);
    }
  }
}

TEST(GeometryTest, PadExtentAtTheEdgeOfTheRangeIsClamped) {
  Pattern pattern;
  pattern.pads = {{"1", {INT32_MAX - 10, INT32_MIN + 10}, {1000, 1000}}};
  EXPECT_EQ(localExtent(pattern),
            (TRect{{INT32_MAX - 510, INT32_MIN}, {INT32_MAX, INT32_MIN + 510}}));
}

TEST(GeometryTest, BoundRectFollowsThePlacement) {
  Pattern pattern;
  pattern.pads = {{"1", {-100, 0}, {20, 40}}, {"2", {100, 0}, {20, 40}}};
  EXPECT_EQ(localExtent(pattern), (TRect{{-110, -20}, {110, 20}}));
  pattern.outline = TRect{{-200, -50}, {300, 60}};
  EXPECT_EQ(localExtent(pattern), *pattern.outline);
  const Placement turned{{1000, 1000}, 900, false};
  EXPECT_EQ(placeRect(turned, *pattern.outline), (TRect{{940, 800}, {1050, 1300}}));
  const Placement mirrored{{1000, 1000}, 0, true};
  EXPECT_EQ(placeRect(mirrored, *pattern.outline), (TRect{{700, 950}, {1200, 1060}}));
}

}  // namespace
}  // namespace dbxhost
