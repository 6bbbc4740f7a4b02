#include "diag/messages.h"

#include <cstdarg>
#include <cstdlib>
#include <string>

#include "diag/textformat.h"
#include "diag/ui.h"

namespace diag {

void ReportMessage(MessageKind kind, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const std::string text = formatTextV(format, args);
  va_end(args);
  ui().showMessage(kind, text);
  if (kind == MessageKind::Fatal) std::exit(1);
}

bool AskConfirm(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const std::string question = formatTextV(format, args);
  va_end(args);
  return ui().confirm(question);
}

}  // namespace diag
