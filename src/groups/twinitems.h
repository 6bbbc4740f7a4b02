// Template items that can be exchanged without changing anything the row
// check or the differences see: components of the same kind with every pin
// on the same net, such as parallel capacitors. Whatever goes into twins
// may go in any order, so the order is chosen to follow the template's
// reference designators (C1 -> C101, C2 -> C102), as the user expects.
#pragma once

#include <cstddef>
#include <vector>

namespace DBX {
class Component;
}

// Classes of two or more twins among the template's items (null where the
// template has no item, never a twin), each in ascending item order.
std::vector<std::vector<std::size_t>> FindTwinItems(
    const std::vector<DBX::Component*>& templateItems);

// Rewrites each variant of candidates (one entry per template item, end to
// end) so that within every class of twins the lower template designator
// gets the lower designator of the components the variant puts there.
void KeepTwinReferenceOrder(const std::vector<DBX::Component*>& templateItems,
                            std::vector<DBX::Component*>& candidates);
