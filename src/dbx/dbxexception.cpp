#include "dbx/dbxexception.h"

#include "dbx/dbx32.h"

namespace DBX {

DBXException::DBXException(const std::string& text, std::string detail, const std::string& help)
    : TandrelError("DBX: " + text + "(" + detail + ")" + (help.empty() ? "" : "\n" + help)),
      detail(std::move(detail)) {}

DBXException DBXException::callError(int32_t status, const std::string& help) {
  return DBXException("DBX call error", statusText(status), help);
}

}  // namespace DBX
