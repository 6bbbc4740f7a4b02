#include "dbx/dbxexception.h"

#include <gtest/gtest.h>

#include "dbx/dbx32.h"

namespace {

TEST(DBXExceptionTest, MessageWrapsTheDetailAfterTheText) {
  const DBX::DBXException error = DBX::DBXException::callError(DBX::DBX_COMPONENT_NOT_FOUND);
  EXPECT_EQ(error.detail, "DBX_COMPONENT_NOT_FOUND (32215)");
  EXPECT_STREQ(error.what(), "DBX: DBX call error(DBX_COMPONENT_NOT_FOUND (32215))");
  EXPECT_EQ(error.helpContext(), 0);
}

TEST(DBXExceptionTest, UnknownStatusesGetQuestionMarks) {
  EXPECT_EQ(DBX::DBXException::callError(32179).detail, "??? (32179)");
  EXPECT_EQ(DBX::DBXException::callError(0).detail, "??? (0)");
  EXPECT_EQ(DBX::DBXException::callError(-5).detail, "??? (-5)");
  // The pin-number error sits in the table under 32279, not 32179.
  EXPECT_EQ(DBX::DBXException::callError(32279).detail, "DBX_INVALID_PIN_NUMBER (32279)");
}

TEST(DBXExceptionTest, IsCaughtAsTheProjectBaseException) {
  try {
    throw DBX::DBXException("DBX call error", "X (1)");
  } catch (const TandrelError& error) {
    EXPECT_STREQ(error.what(), "DBX: DBX call error(X (1))");
    return;
  }
  FAIL() << "not caught as TandrelError";
}

}  // namespace
