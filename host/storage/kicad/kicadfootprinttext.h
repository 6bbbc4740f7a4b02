// What the KiCad board reader and writer share about footprints: KiCad's
// turn of footprint-local points and its reference and value texts.
//
// A footprint text's (at X Y ANGLE) holds its offset from the footprint in
// the footprint's unturned frame (for a bottom-side footprint already
// mirrored, like the pads) and its angle on the board, absolute; KiCad 6 to 9
// all write it so. The text stands at footprint position + Rot(orientation) *
// offset. The host keeps a text's angle as KiCad does on a top-side
// footprint and 180° further on a bottom-side one, the angle with which the
// host carries texts when it flips a component (as a component's rotation is
// 180° - orientation there).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "dbx/dbx32.h"
#include "storage/kicad/sexpr.h"

namespace dbxhost::kicad {

// KiCad's turn of a point (nanometres, y down) by an angle in thousandths of
// a degree: counter-clockwise on screen, exact at quarter turns.
struct Turn {
  explicit Turn(int64_t milliDegrees);
  double cos = 1, sin = 0;
};

struct BoardPoint {
  int64_t x = 0, y = 0;  // nanometres, y down
  friend bool operator==(const BoardPoint&, const BoardPoint&) = default;
};

// Where a footprint-local offset lands for a footprint at origin, turned by
// orientation; rounded to whole nanometres as KiCad rounds it.
BoardPoint boardPoint(BoardPoint origin, int64_t orientation, BoardPoint local);

// The offset that boardPoint takes closest to p: of the rounded inverse turn
// and its neighbours, the one that lands nearest, so that a turned text comes
// back to the very nanometre.
BoardPoint localOffset(BoardPoint origin, int64_t orientation, BoardPoint p);

struct ComponentTextKind {
  int32_t attrType;
  std::string_view field;   // KiCad 8 and newer: (property "Reference" ...)
  std::string_view legacy;  // KiCad 6 and 7: (fp_text reference ...)
};
inline constexpr std::array<ComponentTextKind, 2> kComponentTexts{
    {{DBX_18::kAttrRefDes, "Reference", "reference"}, {DBX_18::kAttrValue, "Value", "value"}}};

// The footprint's text item of that kind, or null.
const Sexpr* footprintText(const Sexpr& footprint, const ComponentTextKind& kind);

// The angle of an (at X Y [ANGLE] [unlocked]), thousandths of a degree.
int64_t atAngle(const SexprReader& reader, const Sexpr& at);

// (effects ... (justify ... mirror)).
bool isMirrored(const Sexpr& text);
// A bare hide, (hide), (hide yes), in the text or its (effects).
bool isHidden(const Sexpr& text);

// A text's KiCad angle as the host's rotation (tenths, [0, 3600)) and back
// (thousandths, [0°, 360°)); bottom: the footprint's side.
int32_t hostTextRotation(int64_t angle, bool bottom);
int64_t kicadTextAngle(int32_t rotation, bool bottom);

}  // namespace dbxhost::kicad
