#include "groups/droprefusal.h"

#include <set>
#include <utility>

#include "dbx/design.h"
#include "groups/componentkey.h"
#include "groups/grouptable.h"
#include "groups/netgraph.h"

namespace {

using Linked = std::set<std::pair<int, std::string>>;  // (item, pin designator)

// The pins of the row's components (or the template's) on the net, item by
// item, leaving out the item itself.
template <typename ComponentAt>
Linked linkedPins(int32_t net, int ownItem, int items, const ComponentAt& componentAt) {
  Linked linked;
  if (net == 0) return linked;
  for (int item = 0; item < items; ++item) {
    const DBX::Component* other = componentAt(item);
    if (item == ownItem || other == nullptr) continue;
    for (const auto& [pin, info] : other->pins) {
      if (info.netId == net) linked.emplace(item, pin);
    }
  }
  return linked;
}

int32_t netOf(const DBX::Component& component, const std::string& pin) {
  const auto found = component.pins.find(pin);
  return found != component.pins.end() ? found->second.netId : 0;
}

}  // namespace

std::string DropRefusal(const GroupTable& table, const NetGraph& templateGraph,
                        const DBX::Component& component, int row, int column) {
  if (row < 2 || !table.isDataCell(row, column) || !table.cell(row, column).empty()) return {};
  const int item = column - 1;
  const DBX::Component* own = templateGraph.componentAt(static_cast<uint32_t>(item));
  if (own == nullptr) return {};
  const std::string refDes = ComponentField(component, 0);
  const std::string templateRefDes = ComponentField(*own, 0);
  if (!SameComponentKey(component, *own)) {
    return refDes + " is another kind of part than " + templateRefDes;
  }
  const int items = table.colCount() - 2;
  // Only items both the row and the template hold are compared.
  auto inRow = [&](int other) -> const DBX::Component* {
    if (templateGraph.componentAt(static_cast<uint32_t>(other)) == nullptr) return nullptr;
    return table.cell(row, other + 1).component;
  };
  auto inTemplate = [&](int other) -> const DBX::Component* {
    return inRow(other) != nullptr ? templateGraph.componentAt(static_cast<uint32_t>(other))
                                   : nullptr;
  };
  std::set<std::string> pins;
  for (const auto& [pin, info] : component.pins) pins.insert(pin);
  for (const auto& [pin, info] : own->pins) pins.insert(pin);
  for (const std::string& pin : pins) {
    if (linkedPins(netOf(component, pin), item, items, inRow) !=
        linkedPins(netOf(*own, pin), item, items, inTemplate)) {
      return refDes + " pin " + pin + " is wired differently from " + templateRefDes + " pin " +
             pin + " of the template";
    }
  }
  return {};
}
