// The host's highlight colour codes (DBX_COLOR_*) as screen colours.
#pragma once

#include <cstdint>
#include <optional>

namespace dbxhost {

struct Rgb {
  uint8_t red = 0, green = 0, blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The colour of a highlight code 1..20; nothing for 0 (no highlight) and for
// codes the host does not know.
std::optional<Rgb> highlightRgb(int32_t code);

}  // namespace dbxhost
