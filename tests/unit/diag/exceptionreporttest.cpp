#include "diag/exceptionreport.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "dbx/dbx32.h"
#include "dbx/dbxexception.h"
#include "diag/actioncancelled.h"
#include "scriptedui.h"

namespace {

using diag::MessageKind;
using testing_diag::ScriptedUi;

TEST(ExceptionReportTest, DbxFailureShowsItsMessageInOneErrorBox) {
  ScriptedUi ui;
  const bool finished =
      diag::runReported([] { throw DBX::DBXException::callError(DBX::DBX_SERVER_BUSY); });
  EXPECT_FALSE(finished);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, MessageKind::Error);
  EXPECT_EQ(ui.boxes[0].text, "DBX: DBX call error(DBX_SERVER_BUSY (32106))");
}

TEST(ExceptionReportTest, PercentSignsInTheMessageAreShownAsTheyAre) {
  ScriptedUi ui;
  diag::runReported([] { throw std::runtime_error("100% %s %d done"); });
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "100% %s %d done");
}

TEST(ExceptionReportTest, ExceptionsWithoutMessageGetAFixedText) {
  ScriptedUi ui;
  diag::runReported([] { throw 42; });
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Unknown error");
  EXPECT_EQ(diag::exceptionText(nullptr), "Unknown error");
}

TEST(ExceptionReportTest, CancelledActionShowsNothing) {
  ScriptedUi ui;
  EXPECT_FALSE(diag::runReported([] { throw diag::ActionCancelled(); }));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST(ExceptionReportTest, ActionThatFinishesShowsNothing) {
  ScriptedUi ui;
  int runs = 0;
  EXPECT_TRUE(diag::runReported([&] { ++runs; }));
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace
