// How a data cell of the group table is drawn: the dragged cell stands out in
// blue with yellow text, drop targets are hatched (backward diagonal when a
// drop there clears nothing, crossed when it clears the red cells), and the
// cells that the target under the pointer would clear are red. Outside a
// drag, components wired differently from the template are orange.
#pragma once

#include <cstdint>

class TGroupSelector;

struct Rgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  Rgb inverse() const {
    return {static_cast<uint8_t>(255 - red), static_cast<uint8_t>(255 - green),
            static_cast<uint8_t>(255 - blue)};
  }
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

enum class CellHatch { None, BackwardDiagonal, Cross };

struct CellLook {
  static constexpr Rgb kDraggedBackground{0, 0, 255};
  static constexpr Rgb kDraggedText{255, 255, 0};
  static constexpr Rgb kConflictFill{255, 0, 0};
  static constexpr Rgb kText{0, 0, 0};
  // A component wired differently from the template in some pins.
  static constexpr Rgb kDifferingFill{255, 200, 120};

  Rgb fill;                           // solid ground of the cell
  CellHatch hatch = CellHatch::None;  // lines drawn over the ground
  Rgb hatchLines;
  bool showText = true;
  Rgb text;
};

// The look of data cell (row, column) of the page's table; background is the
// grid's own background colour.
CellLook GroupCellLook(const TGroupSelector& page, int row, int column, Rgb background);
