#include "dbx/dbxexception.h"

#include "dbx/dbx32.h"

namespace DBX {

DBXException::DBXException(const std::string& text, std::string detail)
    : TandrelError("DBX: " + text + "(" + detail + ")"), detail(std::move(detail)) {}

DBXException DBXException::callError(int32_t status) {
  return DBXException("DBX call error", statusText(status));
}

}  // namespace DBX
