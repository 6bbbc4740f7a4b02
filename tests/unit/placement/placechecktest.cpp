// The question Place asks before it moves anything: which outlines count as
// overlapping, and how the parts are named.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "placement/motion.h"
#include "placement/placecheck.h"

namespace {

using placement::Outline;
using placement::OutlineOf;
using placement::Overlaps;
using placement::PartFinding;
using placement::PlaceQuestion;

Outline box(int32_t left, int32_t bottom, int32_t right, int32_t top) {
  return OutlineOf({{left, bottom}, {right, top}});
}

// The box turned about its centre by tenths of a degree.
Outline turned(const Outline& outline, int32_t tenths) {
  const DBX::TPoint centre{(outline[0].x + outline[2].x) / 2, (outline[0].y + outline[2].y) / 2};
  const placement::Motion motion =
      placement::Motion::Between({centre, false, 0}, {centre, false, tenths});
  Outline out = outline;
  for (DBX::TPoint& p : out) p = motion.Apply(p, "corner");
  return out;
}

TEST(PlaceCheckOverlapTest, BoxesOverlapOnlyWhereTheirInsidesMeet) {
  const Outline part = box(0, 0, 100, 100);
  EXPECT_TRUE(Overlaps(part, part));
  EXPECT_TRUE(Overlaps(part, box(99, 99, 200, 200)));
  EXPECT_TRUE(Overlaps(part, box(20, 20, 30, 30)));       // inside
  EXPECT_TRUE(Overlaps(box(20, 20, 30, 30), part));       // either way round
  EXPECT_TRUE(Overlaps(part, box(-50, 40, 150, 60)));     // a bar across, no corner inside
  EXPECT_FALSE(Overlaps(part, box(100, 0, 200, 100)));    // side by side
  EXPECT_FALSE(Overlaps(part, box(100, 100, 200, 200)));  // corner to corner
  EXPECT_FALSE(Overlaps(part, box(0, 101, 100, 200)));
  EXPECT_FALSE(Overlaps(part, box(-300, -300, -200, -200)));
}

TEST(PlaceCheckOverlapTest, OutlinesWithoutAreaOverlapNothing) {
  const Outline part = box(0, 0, 100, 100);
  EXPECT_FALSE(Overlaps(part, box(50, 0, 50, 100)));  // a line through it
  const Outline point{DBX::TPoint{50, 50}, {50, 50}, {50, 50}, {50, 50}};
  EXPECT_FALSE(Overlaps(part, point));
  EXPECT_FALSE(Overlaps(point, part));
}

TEST(PlaceCheckOverlapTest, ATurnedPartIsATurnedRectangleNotTheBoxAroundIt) {
  // A square turned by 45 degrees: its box reaches into the corner of the
  // other part, the square itself does not.
  const Outline diamond = turned(box(0, 0, 1000, 1000), 450);
  const Outline corner = box(1000, 1000, 2000, 2000);
  EXPECT_FALSE(Overlaps(diamond, corner));
  EXPECT_FALSE(Overlaps(corner, diamond));
  const DBX::TRect around = placement::BoxAround(diamond);
  EXPECT_EQ(around.lowerLeft, (DBX::TPoint{-207, -207}));
  EXPECT_EQ(around.upperRight, (DBX::TPoint{1207, 1207}));
  EXPECT_TRUE(Overlaps(diamond, box(900, 400, 2000, 600)));  // its right tip
  // Mirrored, the corners run the other way round; that is the same shape.
  const Outline clockwise{diamond[3], diamond[2], diamond[1], diamond[0]};
  EXPECT_FALSE(Overlaps(clockwise, corner));
  EXPECT_TRUE(Overlaps(clockwise, box(900, 400, 2000, 600)));
}

TEST(PlaceCheckOverlapTest, FarApartCoordinatesDoNotOverflow) {
  const int32_t far = INT32_MAX - 10;
  EXPECT_TRUE(Overlaps(box(-far, -far, far, far), box(far - 5, far - 5, far, far)));
  EXPECT_FALSE(Overlaps(box(-far, -far, -far + 5, -far + 5), box(far - 5, far - 5, far, far)));
  EXPECT_FALSE(
      Overlaps(turned(box(-far / 2, -far / 2, 0, 0), 450), box(far - 5, far - 5, far, far)));
}

std::vector<PartFinding> parts(std::size_t group, const std::string& prefix, int count) {
  std::vector<PartFinding> found;
  for (int k = 1; k <= count; ++k) found.push_back({group, prefix + std::to_string(k), {}});
  return found;
}

TEST(PlaceCheckQuestionTest, NamesTheParts) {
  EXPECT_EQ(PlaceQuestion({}, {}), "");
  EXPECT_EQ(PlaceQuestion({{1, "R6", {}}}, {}),
            "Parts that would lie outside the board: 1\nG2: R6\nMove them anyway?");
  EXPECT_EQ(PlaceQuestion({}, {{2, "C5", {"J1"}}, {1, "R4", {"H1", "U1"}}}),
            "Parts that would overlap parts outside the groups: 2\n"
            "G2: R4 (on H1, U1)\nG3: C5 (on J1)\nMove them anyway?");
  EXPECT_EQ(PlaceQuestion({{1, "R6", {}}, {3, "R9", {}}, {1, "R5", {}}}, {{1, "C5", {"J1"}}}),
            "Parts that would lie outside the board: 3\nG2: R6, R5\nG4: R9\n"
            "Parts that would overlap parts outside the groups: 1\nG2: C5 (on J1)\n"
            "Move them anyway?");
}

TEST(PlaceCheckQuestionTest, LongListsAreCutWithTheCountLeftOut) {
  // Seven names show in full rather than six and "and 1 more".
  EXPECT_EQ(PlaceQuestion(parts(1, "R", 7), {}),
            "Parts that would lie outside the board: 7\nG2: R1, R2, R3, R4, R5, R6, R7\n"
            "Move them anyway?");
  EXPECT_EQ(PlaceQuestion(parts(1, "R", 67), {}),
            "Parts that would lie outside the board: 67\nG2: R1, R2, R3, R4, R5, R6 and 61 more\n"
            "Move them anyway?");
  EXPECT_EQ(PlaceQuestion({}, {{1, "C5", {"J1", "J2", "J3"}}, {1, "C6", {"J1", "J2", "J3", "J4"}}}),
            "Parts that would overlap parts outside the groups: 2\n"
            "G2: C5 (on J1, J2, J3), C6 (on J1, J2 and 2 more)\nMove them anyway?");
  std::vector<PartFinding> many;
  for (std::size_t g = 1; g <= 12; ++g) many.push_back({g, "R" + std::to_string(g), {}});
  const std::string question = PlaceQuestion(many, {});
  EXPECT_EQ(question,
            "Parts that would lie outside the board: 12\nG2: R1\nG3: R2\nG4: R3\nG5: R4\nG6: R5\n"
            "G7: R6\nG8: R7\nG9: R8\nand 4 more groups\nMove them anyway?");
  many.resize(9);
  EXPECT_NE(PlaceQuestion(many, {}).find("G10: R9\nMove"), std::string::npos);
}

}  // namespace
