#include "window/highlightcolors.h"

#include <array>

#include "dbx/dbx32.h"

namespace dbxhost {

std::optional<Rgb> highlightRgb(int32_t code) {
  // The editors' palette: the sixteen standard colours, then the four extra
  // system colours (money green, sky blue, cream, medium gray), in code order.
  static constexpr std::array<Rgb, DBX::kLastColor> kPalette{{
      {0, 0, 0},        // black
      {128, 0, 0},      // dark red
      {0, 128, 0},      // dark green
      {128, 128, 0},    // dark yellow
      {0, 0, 128},      // dark blue
      {128, 0, 128},    // dark magenta
      {0, 128, 128},    // dark cyan
      {192, 192, 192},  // light gray
      {128, 128, 128},  // dark gray
      {255, 0, 0},      // red
      {0, 255, 0},      // green
      {255, 255, 0},    // yellow
      {0, 0, 255},      // blue
      {255, 0, 255},    // magenta
      {0, 255, 255},    // cyan
      {255, 255, 255},  // white
      {192, 220, 192},  // powder green
      {166, 202, 240},  // powder blue
      {255, 251, 240},  // powder
      {160, 160, 164},  // gray
  }};
  if (code < DBX::DBX_COLOR_BLACK || code > DBX::kLastColor) return std::nullopt;
  return kPalette[static_cast<std::size_t>(code - DBX::DBX_COLOR_BLACK)];
}

}  // namespace dbxhost
