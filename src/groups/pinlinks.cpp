#include "groups/pinlinks.h"

#include "dbx/design.h"

namespace {

// Walks the pin pairs of two components on common nets in recorded order:
// by own pin, then by other pin, both in designator order.
class PairCursor {
 public:
  PairCursor(const PinLinks::Pins& own, const PinLinks::Pins& other) : own_(own), other_(other) {}

  bool next(std::pair<uint32_t, uint32_t>& pair) {
    for (; ownIndex_ < own_.size(); ++ownIndex_, otherIndex_ = 0) {
      const int32_t net = own_[ownIndex_].net;
      for (; otherIndex_ < other_.size(); ++otherIndex_) {
        if (other_[otherIndex_].net != net) continue;
        pair = {own_[ownIndex_].designator, other_[otherIndex_].designator};
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

uint32_t PinLinks::designatorNumber(const std::string& designator) {
  constexpr std::size_t kCommonDesignators = 16;
  for (const auto& [text, number] : commonDesignators_) {
    if (text == designator) return number;
  }
  const auto number =
      designatorNumbers_.try_emplace(designator, static_cast<uint32_t>(designatorNumbers_.size()))
          .first->second;
  if (commonDesignators_.size() < kCommonDesignators) {
    commonDesignators_.emplace_back(designator, number);
  }
  return number;
}

PinLinks::Pin* PinLinks::tableFor(std::size_t count) {
  constexpr std::size_t kBlockPins = 16384;
  if (count > kBlockPins) return largeTables_.emplace_back(std::make_unique<Pin[]>(count)).get();
  if (blocks_.empty() || blockUsed_ + count > kBlockPins) {
    blocks_.push_back(std::make_unique<Pin[]>(kBlockPins));
    blockUsed_ = 0;
  }
  Pin* table = blocks_.back().get() + blockUsed_;
  blockUsed_ += count;
  return table;
}

const PinLinks::Pins& PinLinks::pinsOf(const DBX::Component& component) {
  auto [at, inserted] = pins_.try_emplace(&component);
  Pins& pins = at->second;
  if (!inserted) return pins;
  const std::size_t count = component.pins.size();
  Pin* table = tableFor(count);
  std::size_t k = 0;
  for (const auto& [pinDes, pin] : component.pins) {
    const uint32_t netNumber =
        netNumbers_.try_emplace(pin.netId, static_cast<uint32_t>(netNumbers_.size())).first->second;
    table[k++] = {pin.netId, designatorNumber(pinDes), netNumber};
  }
  pins = Pins(table, count);
  return pins;
}

bool PinLinks::sameDesignators(const Pins& a, const Pins& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (a[k].designator != b[k].designator) return false;
  }
  return true;
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
