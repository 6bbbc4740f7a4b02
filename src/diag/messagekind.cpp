#include "diag/messagekind.h"

#include <iterator>

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

}  // namespace diag
