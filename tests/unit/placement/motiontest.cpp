// The rigid motion that carries a template onto its copies, checked against
// the host's own arithmetic of moves, flips and turns.
#include "placement/motion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <tuple>

#include "diag/tandrelerror.h"
#include "model/geometry.h"

namespace {

using placement::Motion;
using placement::Pose;

dbxhost::Placement hostPlacement(const Pose& pose) {
  return {pose.refPoint, placement::NormalizedAngle(pose.rotationAng), pose.flipped};
}

void expectNear(DBX::TPoint actual, DBX::TPoint expected, int32_t tolerance, const char* what) {
  EXPECT_LE(std::abs(int64_t{actual.x} - expected.x), tolerance) << what;
  EXPECT_LE(std::abs(int64_t{actual.y} - expected.y), tolerance) << what;
}

TEST(MotionTest, AShiftMovesEveryPointAndTurnsNothing) {
  const Motion shift(1000, -250);
  EXPECT_TRUE(shift.IsShift());
  EXPECT_EQ(shift.Apply(DBX::TPoint{5, 7}, "p"), (DBX::TPoint{1005, -243}));
  const Pose pose{{10, 20}, true, 450};
  EXPECT_EQ(shift.Apply(pose), (Pose{{1010, -230}, true, 450}));
  EXPECT_EQ(Motion().Apply(DBX::TPoint{-3, 4}, "p"), (DBX::TPoint{-3, 4}));
}

TEST(MotionTest, TheMotionBetweenTwoPosesTakesTheFirstOntoTheSecond) {
  const Pose poses[] = {{{0, 0}, false, 0},
                        {{100000, 50000}, false, 900},
                        {{-70000, 20000}, true, 0},
                        {{300000, -40000}, true, 2700},
                        {{123457, 98765}, false, 450},
                        {{-5000, 7000}, true, 300}};
  for (const Pose& from : poses) {
    for (const Pose& to : poses) {
      const Motion motion = Motion::Between(from, to);
      EXPECT_EQ(motion.Apply(from), to) << from.rotationAng << " -> " << to.rotationAng;
      EXPECT_EQ(motion.Mirrors(), from.flipped != to.flipped);
    }
  }
}

// A part carried by the motion must have its pads where the motion carries
// the template part's pads, as the host places pads for a flipped and
// turned part.
TEST(MotionTest, CarriedPartsPutTheirPadsWhereTheMotionCarriesThePads) {
  const DBX::TPoint pads[] = {{-80000, 0}, {80000, 0}, {0, 130000}, {-25000, -61000}};
  const Pose anchors[] = {{{1000000, 1000000}, false, 0}, {{2000000, 500000}, false, 900},
                          {{-300000, 800000}, true, 0},   {{400000, -900000}, true, 1800},
                          {{700000, 700000}, false, 450}, {{-600000, 100000}, true, 300},
                          {{250000, 250000}, true, 3150}};
  const Pose parts[] = {{{1300000, 1100000}, false, 0},
                        {{900000, 700000}, true, 900},
                        {{1250000, 1400000}, false, 2250}};
  for (const Pose& templateAnchor : anchors) {
    for (const Pose& copyAnchor : anchors) {
      const Motion motion = Motion::Between(templateAnchor, copyAnchor);
      for (const Pose& part : parts) {
        const Pose carried = motion.Apply(part);
        for (const DBX::TPoint& pad : pads) {
          const DBX::TPoint model = dbxhost::placePoint(hostPlacement(part), pad);
          const DBX::TPoint copy = dbxhost::placePoint(hostPlacement(carried), pad);
          // Each side rounds once at an angle off the quarter turns.
          expectNear(copy, motion.Apply(model, "pad"), 2, "pad");
        }
      }
    }
  }
}

TEST(MotionTest, TextsTurnAndMirrorLikeTheHostCarriesThemWithTheirPart) {
  dbxhost::CompText text;
  text.at = {1100000, 900000};
  text.rotation = 900;
  const Pose part{{1000000, 1000000}, false, 0};
  for (const Pose& copyAnchor :
       {Pose{{0, 0}, false, 900}, Pose{{0, 0}, true, 0}, Pose{{5, 5}, true, 450}}) {
    const Motion motion = Motion::Between({{900000, 900000}, false, 0}, copyAnchor);
    const dbxhost::CompText expected =
        dbxhost::carriedText(text, hostPlacement(part), hostPlacement(motion.Apply(part)));
    DBX::TAttribute attribute;
    attribute.refPoint = text.at;
    attribute.rotationAng = text.rotation;
    const DBX::TAttribute carried = motion.Apply(attribute);
    expectNear(carried.refPoint, expected.at, 2, "text");
    EXPECT_EQ(carried.rotationAng, expected.rotation);
    EXPECT_EQ(carried.isFlipped != 0, expected.flipped);
  }
}

TEST(MotionTest, QuarterTurnsAreExactAndOtherAnglesRound) {
  const Motion quarter = Motion::Between({{0, 0}, false, 0}, {{1000, 0}, false, 900});
  EXPECT_EQ(quarter.Apply(DBX::TPoint{3, 1}, "p"), (DBX::TPoint{999, 3}));
  const Motion eighth = Motion::Between({{0, 0}, false, 0}, {{0, 0}, false, 450});
  EXPECT_EQ(eighth.Apply(DBX::TPoint{1000000, 0}, "p"), (DBX::TPoint{707107, 707107}));
  // Mirrored about the pivot's vertical, as the host flips.
  const Motion mirror = Motion::Between({{100, 0}, false, 0}, {{100, 0}, true, 0});
  EXPECT_EQ(mirror.Apply(DBX::TPoint{130, 40}, "p"), (DBX::TPoint{70, 40}));
}

TEST(MotionTest, BoundsHoldTheTurnedRectangle) {
  const Motion quarter = Motion::Between({{0, 0}, false, 0}, {{0, 0}, false, 900});
  EXPECT_EQ(quarter.Bounds({{-10, -2}, {30, 4}}), (DBX::TRect{{-4, -10}, {2, 30}}));
}

TEST(MotionTest, PointsBeyondTheHostsRangeAreRefused) {
  const Motion far(std::numeric_limits<int32_t>::max() - 10, 0);
  EXPECT_THROW(std::ignore = far.Apply(DBX::TPoint{11, 0}, "p"), TandrelError);
  const Motion turn = Motion::Between({{0, 0}, false, 0}, {{0, 0}, false, 1800});
  EXPECT_THROW(std::ignore = turn.Apply(DBX::TPoint{std::numeric_limits<int32_t>::min(), 0}, "p"),
               TandrelError);
}

}  // namespace
