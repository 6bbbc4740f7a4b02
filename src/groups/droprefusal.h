// Why a dragged component may not be dropped on a cell of a group row: the
// first of its pins that is wired otherwise than the template's component
// at that item, towards the components the row already holds.
#pragma once

#include <string>

namespace DBX {
class Component;
}
class GroupTable;
class NetGraph;

// "R7 pin 2 is wired differently from R2 pin 2 of the template", or, for a
// component of another kind, "R7 is another kind of part than C1". Empty
// where there is nothing to explain: not an empty cell of a group row, or
// an item the template leaves empty.
std::string DropRefusal(const GroupTable& table, const NetGraph& templateGraph,
                        const DBX::Component& component, int row, int column);
