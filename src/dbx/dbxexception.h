// The exception raised by every failed DBX call.
#pragma once

#include <cstdint>
#include <string>

#include "diag/tandrelerror.h"

namespace DBX {

class DBXException : public TandrelError {
 public:
  // Message: "DBX: " + text + "(" + detail + ")", followed by help on lines of
  // its own when there is any.
  DBXException(const std::string& text, std::string detail, const std::string& help = {});

  // "DBX call error" with the status's error-name text as the detail.
  static DBXException callError(int32_t status, const std::string& help = {});

  // The error-name text of the failing status, e.g. "DBX_SERVER_BUSY (32106)".
  std::string detail;
};

}  // namespace DBX
