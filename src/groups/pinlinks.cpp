#include "groups/pinlinks.h"

#include <algorithm>

#include "dbx/design.h"

const PinLinks::Pins& PinLinks::pinsOf(const DBX::Component& component) {
  auto [at, inserted] = pins_.try_emplace(&component);
  Pins& pins = at->second;
  if (!inserted) return pins;
  uint32_t index = 0;
  for (const auto& [pinDes, pin] : component.pins) {
    const auto number = designatorNumbers_.try_emplace(pinDes, designatorNumbers_.size()).first;
    pins.designators.push_back(number->second);
    pins.byNet.emplace_back(pin.netId, index++);
  }
  std::sort(pins.byNet.begin(), pins.byNet.end());
  return pins;
}

void PinLinks::collect(const DBX::Component& own, const DBX::Component& other,
                       std::vector<Pair>& out) {
  out.clear();
  const Pins& a = pinsOf(own);
  const Pins& b = pinsOf(other);
  auto i = a.byNet.begin();
  auto k = b.byNet.begin();
  while (i != a.byNet.end() && k != b.byNet.end()) {
    if (i->first < k->first) {
      ++i;
    } else if (k->first < i->first) {
      ++k;
    } else {
      const int32_t net = i->first;
      auto kEnd = k;
      while (kEnd != b.byNet.end() && kEnd->first == net) ++kEnd;
      for (; i != a.byNet.end() && i->first == net; ++i) {
        for (auto at = k; at != kEnd; ++at) out.emplace_back(i->second, at->second);
      }
      k = kEnd;
    }
  }
  // Pin indexes follow designator order, so this is the recorded order.
  std::sort(out.begin(), out.end());
  for (Pair& pair : out) pair = {a.designators[pair.first], b.designators[pair.second]};
}

bool PinLinks::same(const DBX::Component& own, const DBX::Component& other,
                    const DBX::Component& own2, const DBX::Component& other2) {
  collect(own, other, first_);
  collect(own2, other2, second_);
  return first_ == second_;
}

uint32_t PinLinks::id(const DBX::Component& own, const DBX::Component& other) {
  collect(own, other, first_);
  if (first_.empty()) return 0;
  return listIds_.try_emplace(first_, listIds_.size() + 1).first->second;
}
