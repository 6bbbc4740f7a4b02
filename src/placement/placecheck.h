// What Place asks about before it moves anything: the parts of a copy that
// would leave the board and those that would land on a part that stays
// where it is, named group by group in one question.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "dbx/dbx32.h"

namespace placement {

// A part's outline as four corners in order around it: its host rectangle
// (the courtyard's box where the host has one, else the pads') carried by a
// motion, so a turned part is a turned rectangle, not the box around it.
using Outline = std::array<DBX::TPoint, 4>;

// The rectangle's corners, counter-clockwise from the lower left.
Outline OutlineOf(const DBX::TRect& rect);
// The smallest axis-aligned rectangle around the outline.
DBX::TRect BoxAround(const Outline& outline);
// Whether the insides of two outlines meet: outlines that only touch along
// an edge or at a corner, or that enclose no area, do not overlap.
bool Overlaps(const Outline& a, const Outline& b);

// One part named in the question: the group it belongs to (0-based) and,
// for an overlap, the parts it would land on.
struct PartFinding {
  std::size_t group = 0;
  std::string part;
  std::vector<std::string> obstacles;
};

// The question for the parts that would leave the board and those that
// would overlap parts outside the groups, in the order given, or "" when
// both lists are empty. Long lists are cut with "and N more".
std::string PlaceQuestion(const std::vector<PartFinding>& offBoard,
                          const std::vector<PartFinding>& overlapping);

}  // namespace placement
