#include "diag/messages.h"

#include <gtest/gtest.h>

#include <memory>

#include "diag/waitcurs.h"
#include "scriptedui.h"

namespace {

using diag::MessageKind;
using testing_diag::ScriptedUi;

TEST(MessagesTest, ReportMessageFormatsAndShowsOneBoxOfTheKind) {
  ScriptedUi ui;
  diag::ReportMessage(MessageKind::Error, "Can't add items - expected %d items, but found %d", 3,
                      5);
  diag::ReportMessage(MessageKind::Warning, "%s", "");
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].kind, MessageKind::Error);
  EXPECT_EQ(ui.boxes[0].text, "Can't add items - expected 3 items, but found 5");
  EXPECT_EQ(ui.boxes[1].kind, MessageKind::Warning);
  EXPECT_EQ(ui.boxes[1].text, "");
}

TEST(MessagesTest, LongMessagesAreNotCut) {
  ScriptedUi ui;
  const std::string line(10000, 'x');
  diag::ReportMessage(MessageKind::Error, "Design was modified:\n%s", line.c_str());
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Design was modified:\n" + line);
}

TEST(MessagesTest, KindsHaveTheirCaptionsAndIcons) {
  EXPECT_EQ(diag::messageCaption(MessageKind::Warning), "Warning");
  EXPECT_EQ(diag::messageCaption(MessageKind::Error), "Error");
  EXPECT_EQ(diag::messageCaption(MessageKind::Fatal), "Fatal");
  EXPECT_EQ(diag::messageIcon(MessageKind::Warning), diag::MessageIcon::Information);
  EXPECT_EQ(diag::messageIcon(MessageKind::Error), diag::MessageIcon::Warning);
  EXPECT_EQ(diag::messageIcon(MessageKind::Fatal), diag::MessageIcon::Error);
  EXPECT_EQ(diag::messageCaption(static_cast<MessageKind>(9)), "Error");
}

TEST(MessagesDeathTest, FatalEndsTheProcessAfterTheBox) {
  // Without an installed interface the box goes to standard error.
  EXPECT_EXIT(diag::ReportMessage(MessageKind::Fatal, "disk %s", "gone"),
              ::testing::ExitedWithCode(1), "Fatal: disk gone");
}

TEST(MessagesTest, AskConfirmIsTrueOnlyForOk) {
  ScriptedUi ui;
  ui.answers = {true, false};
  EXPECT_TRUE(diag::AskConfirm("Remove design info?\nAre you shure?"));
  EXPECT_FALSE(diag::AskConfirm("All Components Groups will be removed! Continue?"));
  EXPECT_FALSE(diag::AskConfirm("closed %d", 1));  // no prepared answer: closed
  EXPECT_EQ(ui.questions, (std::vector<std::string>{
                              "Remove design info?\nAre you shure?",
                              "All Components Groups will be removed! Continue?", "closed 1"}));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST(MessagesTest, WithoutInterfaceQuestionsAreDeclined) {
  ASSERT_EQ(diag::installUi(nullptr), nullptr);
  EXPECT_FALSE(diag::AskConfirm("Remove design info?\nAre you shure?"));
}

TEST(MessagesTest, InstallingReturnsThePreviousInterface) {
  ScriptedUi outer;
  {
    ScriptedUi inner;
    diag::ReportMessage(MessageKind::Error, "inner");
  }
  diag::ReportMessage(MessageKind::Error, "outer");
  ASSERT_EQ(outer.boxes.size(), 1u);
  EXPECT_EQ(outer.boxes[0].text, "outer");
}

TEST(WaitCursTest, NestedGuardsRestoreInReverse) {
  ScriptedUi ui;
  {
    diag::WaitCurs outer;
    EXPECT_EQ(ui.waitDepth, 1);
    {
      diag::WaitCurs inner;
      EXPECT_EQ(ui.waitDepth, 2);
    }
    EXPECT_EQ(ui.waitDepth, 1);
  }
  EXPECT_EQ(ui.waitDepth, 0);
  EXPECT_EQ(ui.waitShown, 2);
}

TEST(WaitCursTest, RestoresThroughTheInterfaceThatShowedIt) {
  ScriptedUi first;
  auto wait = std::make_unique<diag::WaitCurs>();
  ScriptedUi second;  // installed while the cursor is shown
  wait.reset();
  EXPECT_EQ(first.waitDepth, 0);
  EXPECT_EQ(second.waitDepth, 0);
}

}  // namespace
