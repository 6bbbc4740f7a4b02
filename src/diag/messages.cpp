#include "diag/messages.h"

#include <cstdarg>
#include <cstdlib>
#include <string>

#include "diag/textformat.h"
#include "diag/ui.h"

namespace diag {

namespace {

struct KindStyle {
  std::string_view caption;
  MessageIcon icon;
};

constexpr KindStyle kKindStyles[] = {
    {"Warning", MessageIcon::Information},
    {"Error", MessageIcon::Warning},
    {"Fatal", MessageIcon::Error},
};

const KindStyle& styleOf(MessageKind kind) {
  const auto index = static_cast<std::size_t>(kind);
  // A value outside the enumeration is shown as an error rather than read
  // past the table.
  return index < std::size(kKindStyles) ? kKindStyles[index] : kKindStyles[1];
}

}  // namespace

std::string_view messageCaption(MessageKind kind) { return styleOf(kind).caption; }

MessageIcon messageIcon(MessageKind kind) { return styleOf(kind).icon; }

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
