// The detail of the DBXException an action raises, for the tests.
#pragma once

#include <functional>
#include <string>

#include "dbx/dbxexception.h"

namespace testing_dbx {

inline std::string detailOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const DBX::DBXException& error) {
    return error.detail;
  }
  return "no DBXException";
}

}  // namespace testing_dbx
