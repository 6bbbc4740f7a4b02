#include "diag/textformat.h"

#include <cstdio>

namespace diag {

std::string formatTextV(const char* format, std::va_list args) {
  if (format == nullptr) return {};
  std::va_list measureArgs;
  va_copy(measureArgs, args);
  const int length = std::vsnprintf(nullptr, 0, format, measureArgs);
  va_end(measureArgs);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length), '\0');
  // The buffer of a std::string has room for the terminator vsnprintf writes.
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}

std::string formatText(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = formatTextV(format, args);
  va_end(args);
  return text;
}

}  // namespace diag
