#include "groups/twinitems.h"

#include <algorithm>

#include "dbx/design.h"
#include "dbx/refdesstring.h"
#include "groups/componentkey.h"

namespace {

bool samePinsOnSameNets(const DBX::Component& a, const DBX::Component& b) {
  return a.pins.size() == b.pins.size() &&
         std::equal(a.pins.begin(), a.pins.end(), b.pins.begin(), [](const auto& x, const auto& y) {
           return x.first == y.first && x.second.netId == y.second.netId;
         });
}

RefDesString designatorOf(const DBX::Component* component) {
  return RefDesString(ComponentField(*component, 0));
}

}  // namespace

std::vector<std::vector<std::size_t>> FindTwinItems(
    const std::vector<DBX::Component*>& templateItems) {
  std::vector<std::vector<std::size_t>> classes;
  std::vector<char> classed(templateItems.size(), 0);
  for (std::size_t e = 0; e < templateItems.size(); ++e) {
    const DBX::Component* own = templateItems[e];
    if (own == nullptr || classed[e]) continue;
    std::vector<std::size_t> members{e};
    for (std::size_t k = e + 1; k < templateItems.size(); ++k) {
      const DBX::Component* other = templateItems[k];
      if (other == nullptr || classed[k]) continue;
      if (SameComponentKey(*own, *other) && samePinsOnSameNets(*own, *other)) {
        members.push_back(k);
        classed[k] = 1;
      }
    }
    if (members.size() >= 2) classes.push_back(std::move(members));
  }
  return classes;
}

void KeepTwinReferenceOrder(const std::vector<DBX::Component*>& templateItems,
                            std::vector<DBX::Component*>& candidates) {
  const std::size_t n = templateItems.size();
  if (n == 0) return;
  std::vector<std::vector<std::size_t>> classes = FindTwinItems(templateItems);
  for (auto& members : classes) {
    std::stable_sort(members.begin(), members.end(), [&](std::size_t a, std::size_t b) {
      return designatorOf(templateItems[a]) < designatorOf(templateItems[b]);
    });
  }
  for (std::size_t first = 0; first + n <= candidates.size(); first += n) {
    for (const auto& members : classes) {
      std::vector<DBX::Component*> taken;
      for (std::size_t item : members) taken.push_back(candidates[first + item]);
      std::stable_sort(taken.begin(), taken.end(), [](const auto* a, const auto* b) {
        return designatorOf(a) < designatorOf(b);
      });
      for (std::size_t k = 0; k < members.size(); ++k) candidates[first + members[k]] = taken[k];
    }
  }
}
