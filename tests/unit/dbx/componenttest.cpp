#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dbx/design.h"
#include "scripteddbx.h"
#include "scriptedui.h"

namespace {

using namespace testing_dbx;
using ::testing::ElementsAre;
using testing_diag::ScriptedUi;

// Edits of loaded PCB components; U1 is the template part of U2.
class ComponentTest : public ::testing::Test {
 protected:
  ComponentTest() {
    dbx.components = {component("U1"), component("U2")};
    dbx.components[0].refPoint = {1000, 2000};
    dbx.components[1].refPoint = {5000, 6000};
    design.selectTool(kToolPcb);
    u1 = design.pack().components().left.at("U1");
    u2 = design.pack().components().left.at("U2");
  }

  // Holds an outer lock so that only the edit's own calls are recorded.
  std::vector<Call> editCalls(const std::function<void()>& edit) {
    Lock outer(design, false);
    dbx.calls.clear();
    edit();
    return dbx.calls;
  }

  ScriptedUi ui;
  ScriptedDbx dbx;
  Design design{dbx};
  Component* u1 = nullptr;
  Component* u2 = nullptr;
};

// How a component stands in the host; the verification of the next action
// brings it into the snapshot.
void stand(TComponent& host, bool flipped, int32_t angle) {
  host.isFlipped = flipped ? 1 : 0;
  host.rotationAng = angle;
}

std::vector<int> ordinalsOf(const std::vector<Call>& calls) {
  std::vector<int> result;
  for (const Call& call : calls) result.push_back(call.ordinal);
  return result;
}

TEST_F(ComponentTest, HighlightAndUnhighlight) {
  auto calls = editCalls([&] { u2->setHighlight(DBX_COLOR_RED); });
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].ordinal, kHighlight);
  EXPECT_EQ(calls[0].a, DBX_COLOR_RED);
  EXPECT_EQ(calls[0].text, "U2");
  EXPECT_EQ(u2->record.isHighlighted, DBX_COLOR_RED);  // the host's answer is kept

  calls = editCalls([&] { u2->setHighlight(0); });
  EXPECT_THAT(ordinalsOf(calls), ElementsAre(kUnHighlight));
  EXPECT_EQ(u2->record.isHighlighted, 0);
}

TEST_F(ComponentTest, HighlightOnClosedConversationReopensAndCloses) {
  dbx.calls.clear();
  u1->setHighlight(DBX_COLOR_GREEN);
  EXPECT_THAT(dbx.ordinals(), ElementsAre(kDesignInfo, kClose, kOpen, kCompByRefDes, kCompByRefDes,
                                          kDesignInfo, kFirstGrid, kHighlight, kClose));
  EXPECT_EQ(design.lockCount(), 0);
}

TEST_F(ComponentTest, HighlightIsRepeatedAfterAReconnection) {
  const auto calls = editCalls([&] {
    dbx.prepare(kHighlight, {DBX_SERVER_TERMINATED});
    u1->setHighlight(DBX_COLOR_GREEN);
  });
  EXPECT_THAT(ordinalsOf(calls),
              ElementsAre(kHighlight, kClose, kOpen, kCompByRefDes, kCompByRefDes, kHighlight));
  EXPECT_EQ(u1->record.isHighlighted, DBX_COLOR_GREEN);
}

TEST_F(ComponentTest, HighlightGivesUpWhenTheHostKeepsDropping) {
  dbx.prepare(kHighlight, std::vector<int32_t>(20, DBX_NO_CONNECTION));
  try {
    u1->setHighlight(DBX_COLOR_GREEN);
    FAIL() << "no exception";
  } catch (const DBXException& error) {
    EXPECT_THAT(error.detail, ::testing::StartsWith("DBX_NO_CONNECTION (32105)"));
    EXPECT_THAT(error.detail, ::testing::HasSubstr("3 times"));
  }
  EXPECT_EQ(dbx.count(kHighlight), 4);  // the call and three repetitions
  EXPECT_EQ(design.lockCount(), 0);
  EXPECT_FALSE(dbx.open);
}

TEST_F(ComponentTest, HighlightFailureRaisesAndReleasesTheLock) {
  dbx.prepare(kHighlight, {DBX_INVALID_HIGHLIGHT_COLOR});
  EXPECT_THROW(u1->setHighlight(99), DBXException);
  EXPECT_EQ(design.lockCount(), 0);
  EXPECT_FALSE(dbx.open);
}

TEST_F(ComponentTest, PlaceWithoutLikeOnlyMoves) {
  const auto calls = editCalls([&] { u2->placeAt(7000, 5000, nullptr); });
  ASSERT_THAT(ordinalsOf(calls), ElementsAre(kMove));
  EXPECT_EQ(calls[0].a, 2000);
  EXPECT_EQ(calls[0].b, -1000);
  EXPECT_EQ(u2->record.refPoint, (TPoint{7000, 5000}));
}

TEST_F(ComponentTest, PlaceLikeMatchingComponentMakesOneCall) {
  stand(dbx.components[0], false, 900);
  stand(dbx.components[1], false, 900);
  const auto calls = editCalls([&] { u2->placeAt(5000, 6000, u1); });
  ASSERT_THAT(ordinalsOf(calls), ElementsAre(kMove));  // a zero move is still made
  EXPECT_EQ(calls[0].a, 0);
  EXPECT_EQ(calls[0].b, 0);
}

TEST_F(ComponentTest, FlippedComponentTurnsTheOtherWay) {
  stand(dbx.components[0], true, 900);
  stand(dbx.components[1], true, 0);
  const auto calls = editCalls([&] { u2->placeAt(0, 0, u1); });
  ASSERT_THAT(ordinalsOf(calls), ElementsAre(kMove, kRotate));
  EXPECT_EQ(calls[1].a, -900);
}

TEST_F(ComponentTest, FlipComesBeforeTheRotation) {
  stand(dbx.components[0], true, 900);
  const auto calls = editCalls([&] { u2->placeAt(0, 0, u1); });
  ASSERT_THAT(ordinalsOf(calls), ElementsAre(kMove, kFlip, kRotate));
  EXPECT_EQ(calls[1].a, 0);  // flipped about the new refPoint
  EXPECT_EQ(calls[2].a, -900);
  EXPECT_EQ(u2->record.isFlipped, 1);
}

TEST_F(ComponentTest, AnyNonZeroFlipValueCountsAsFlipped) {
  dbx.components[0].isFlipped = 2;
  dbx.components[1].isFlipped = 1;
  const auto calls = editCalls([&] { u2->placeAt(0, 0, u1); });
  EXPECT_THAT(ordinalsOf(calls), ElementsAre(kMove));
}

TEST_F(ComponentTest, FailingMoveIsStrictAndReleasesTheLock) {
  dbx.prepare(kMove, {DBX_NO_MORE_ITEMS});
  try {
    u2->placeAt(0, 0, u1);
    FAIL() << "no exception";
  } catch (const DBXException& error) {
    EXPECT_EQ(error.detail, "DBX_NO_MORE_ITEMS (32163)");
  }
  EXPECT_EQ(dbx.count(kFlip) + dbx.count(kRotate), 0);
  EXPECT_EQ(design.lockCount(), 0);
  EXPECT_FALSE(dbx.open);
}

TEST_F(ComponentTest, FailingRotationKeepsTheDoneSteps) {
  stand(dbx.components[0], false, 1800);
  dbx.prepare(kRotate, {DBX_INVALID_ROTATION_ANGLE});
  EXPECT_THROW(u2->placeAt(0, 0, u1), DBXException);
  EXPECT_EQ(u2->record.refPoint, (TPoint{0, 0}));
  EXPECT_EQ(u2->record.rotationAng, 0);
}

TEST_F(ComponentTest, OffsetOutOfRangeIsRejectedBeforeAnyCall) {
  dbx.components[1].refPoint = {-2000000000, 0};
  const auto calls =
      editCalls([&] { EXPECT_THROW(u2->placeAt(2000000000, 0, nullptr), TandrelError); });
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(design.lockCount(), 0);
}

}  // namespace
