#include "groups/pinlinks.h"

#include "dbx/design.h"

namespace {

// Walks the pin pairs of two components on common nets in recorded order:
// by own pin, then by other pin, both in designator order.
class PairCursor {
 public:
  PairCursor(const PinLinks::Pins& own, const PinLinks::Pins& other) : own_(own), other_(other) {}

  bool next(std::pair<uint32_t, uint32_t>& pair) {
    for (; ownIndex_ < own_.nets.size(); ++ownIndex_, otherIndex_ = 0) {
      const int32_t net = own_.nets[ownIndex_];
      for (; otherIndex_ < other_.nets.size(); ++otherIndex_) {
        if (other_.nets[otherIndex_] != net) continue;
        pair = {own_.designators[ownIndex_], other_.designators[otherIndex_]};
        ++otherIndex_;
        return true;
      }
    }
    return false;
  }

 private:
  const PinLinks::Pins& own_;
  const PinLinks::Pins& other_;
  std::size_t ownIndex_ = 0;
  std::size_t otherIndex_ = 0;
};

}  // namespace

const PinLinks::Pins& PinLinks::pinsOf(const DBX::Component& component) {
  auto [at, inserted] = pins_.try_emplace(&component);
  Pins& pins = at->second;
  if (!inserted) return pins;
  for (const auto& [pinDes, pin] : component.pins) {
    const auto number = designatorNumbers_.try_emplace(pinDes, designatorNumbers_.size()).first;
    pins.nets.push_back(pin.netId);
    pins.netNumbers.push_back(
        netNumbers_.try_emplace(pin.netId, static_cast<uint32_t>(netNumbers_.size()))
            .first->second);
    pins.designators.push_back(number->second);
  }
  return pins;
}

bool PinLinks::same(const Pins& own, const Pins& other, const Pins& own2, const Pins& other2) {
  PairCursor first(own, other);
  PairCursor second(own2, other2);
  std::pair<uint32_t, uint32_t> a;
  std::pair<uint32_t, uint32_t> b;
  while (true) {
    const bool more = first.next(a);
    if (more != second.next(b)) return false;
    if (!more) return true;
    if (a != b) return false;
  }
}

void PinLinks::collect(const Pins& own, const Pins& other, std::vector<Pair>& out) {
  PairCursor cursor(own, other);
  Pair pair;
  while (cursor.next(pair)) out.push_back(pair);
}

bool PinLinks::matches(std::span<const Pair> pairs, const Pins& own, const Pins& other) {
  PairCursor cursor(own, other);
  Pair pair;
  for (const Pair& expected : pairs) {
    if (!cursor.next(pair) || pair != expected) return false;
  }
  return !cursor.next(pair);
}

uint32_t PinLinks::id(const Pins& own, const Pins& other) {
  scratch_.clear();
  collect(own, other, scratch_);
  if (scratch_.empty()) return 0;
  return listIds_.try_emplace(scratch_, static_cast<uint32_t>(listIds_.size()) + 1).first->second;
}
