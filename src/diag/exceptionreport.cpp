#include "diag/exceptionreport.h"

#include "diag/actioncancelled.h"
#include "diag/messages.h"

namespace diag {

std::string exceptionText(std::exception_ptr error) {
  if (!error) return "Unknown error";
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown error";
  }
}

void reportException(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const ActionCancelled&) {
    return;  // the user asked for it
  } catch (...) {
  }
  // The text goes in as an argument: a message may contain '%'.
  ReportMessage(MessageKind::Error, "%s", exceptionText(error).c_str());
}

}  // namespace diag
