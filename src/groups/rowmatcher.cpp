#include "groups/rowmatcher.h"

#include <algorithm>
#include <stdexcept>

namespace {

constexpr uint32_t kNotWorkedOut = UINT32_MAX;

}  // namespace

RowMatcher::RowMatcher(const NetGraph& templateGraph) {
  for (const auto& [item, id] : templateGraph.items().left) {
    if (item >= items_.size()) items_.resize(item + 1, nullptr);
    items_[item] = templateGraph.nodes().at(id).component;
  }
  for (const DBX::Component* component : items_) {
    itemPins_.push_back(component != nullptr ? &links_.pinsOf(*component) : nullptr);
  }
  pairBegin_.assign(items_.size() * items_.size(), kNotWorkedOut);
  pairEnd_.assign(items_.size() * items_.size(), kNotWorkedOut);
}

std::span<const PinLinks::Pair> RowMatcher::templatePairs(std::size_t e, std::size_t j) {
  const std::size_t at = e * items_.size() + j;
  if (pairBegin_[at] == kNotWorkedOut) {
    pairBegin_[at] = static_cast<uint32_t>(pairs_.size());
    PinLinks::collect(*itemPins_[e], *itemPins_[j], pairs_);
    pairEnd_[at] = static_cast<uint32_t>(pairs_.size());
  }
  return std::span<const PinLinks::Pair>(pairs_).subspan(pairBegin_[at],
                                                         pairEnd_[at] - pairBegin_[at]);
}

uint32_t RowMatcher::keyOf(const DBX::Component& component) {
  auto [at, inserted] = keys_.try_emplace(&component);
  if (inserted) {
    keyScratch_.clear();
    AppendComponentKey(component, kKeyAll, keyScratch_);
    at->second = keyNumbers_.try_emplace(keyScratch_, static_cast<uint32_t>(keyNumbers_.size()))
                     .first->second;
  }
  return at->second;
}

// Two items' pin pairs are the pins of the two on common nets. With the
// same pin designators as the template's components, the lists agree for
// every two items exactly when each net that reaches pins of two or more
// items on one side has all its pins on one net on the other side.
bool RowMatcher::tally(std::vector<NetTally>& tallies, uint32_t net, uint32_t item,
                       uint32_t otherNet) {
  NetTally& seen = tallies[net];
  if (seen.check != check_) {
    seen = {check_, item, otherNet, false, true};
    return true;
  }
  seen.manyItems = seen.manyItems || item != seen.firstItem;
  seen.oneOtherNet = seen.oneOtherNet && otherNet == seen.otherNet;
  return !seen.manyItems || seen.oneOtherNet;
}

bool RowMatcher::linksAgreeAtOnce(const std::vector<std::size_t>& filled,
                                  const std::vector<const PinLinks::Pins*>& pins) {
  if (templateNets_.size() < links_.netCount()) {
    templateNets_.resize(links_.netCount());
    rowNets_.resize(links_.netCount());
  }
  if (++check_ == 0) {
    // Stamps wrapped: forget every tally so that none is taken as current.
    std::fill(templateNets_.begin(), templateNets_.end(), NetTally{});
    std::fill(rowNets_.begin(), rowNets_.end(), NetTally{});
    check_ = 1;
  }
  for (std::size_t e : filled) {
    const PinLinks::Pins& own = templatePins(e);
    const PinLinks::Pins& here = *pins[e];
    if (!PinLinks::sameDesignators(own, here)) return false;
    const auto item = static_cast<uint32_t>(e);
    for (std::size_t k = 0; k < own.size(); ++k) {
      if (!tally(templateNets_, own[k].netNumber, item, here[k].netNumber) ||
          !tally(rowNets_, here[k].netNumber, item, own[k].netNumber)) {
        return false;
      }
    }
  }
  return true;
}

bool RowMatcher::markRow(const NetGraph::CompVector& row, std::vector<char>& marks, bool withKeys) {
  marks.assign(row.size(), 0);
  std::vector<std::size_t> filled;  // filled slots that the template has
  std::vector<const PinLinks::Pins*> pins(row.size(), nullptr);
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (row[i].component == nullptr || templateAt(i) == nullptr) continue;
    filled.push_back(i);
    pins[i] = &links_.pinsOf(*row[i].component);
  }
  bool any = false;
  if (withKeys) {
    for (std::size_t e : filled) {
      if (!sameKey(*row[e].component, *items_[e])) marks[e] = any = true;
    }
  }
  if (linksAgreeAtOnce(filled, pins)) return any;
  // Pin pairs agree in one direction exactly when they agree in the other,
  // so each pair of slots is compared once and marks both.
  for (std::size_t a = 0; a < filled.size(); ++a) {
    for (std::size_t b = a + 1; b < filled.size(); ++b) {
      const std::size_t e = filled[a];
      const std::size_t j = filled[b];
      if (!pairAgrees(e, j, *pins[e], *pins[j])) {
        marks[e] = marks[j] = any = true;
      }
    }
  }
  return any;
}

int CheckRow(const NetGraph& templateGraph, NetGraph::CompVector& row, int item,
             DBX::Component* candidate) {
  const bool candidateForm = item >= 0 && candidate != nullptr;
  RowMatcher matcher(templateGraph);
  const auto slot = static_cast<std::size_t>(item);
  if (candidateForm) {
    // Any component fits an item that the template leaves empty.
    if (matcher.templateAt(slot) == nullptr) return 1;
    if (!matcher.sameKey(*matcher.templateAt(slot), *candidate)) return 0;
    if (row.size() <= slot) row.resize(slot + 1);
    if (row[slot].component != nullptr) {
      throw std::invalid_argument("CheckRow: slot " + std::to_string(item) + " is not empty");
    }
    row[slot].component = candidate;
  }
  std::vector<char> marks;
  const bool mismatch = matcher.markRow(row, marks, !candidateForm);
  for (std::size_t i = 0; i < row.size(); ++i) row[i].mismatch = marks[i] != 0;
  if (candidateForm) row[slot].component = nullptr;
  if (!mismatch) return 1;
  return candidateForm && row[slot].mismatch ? 0 : -1;
}
