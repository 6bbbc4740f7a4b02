#include "groups/closestmatch.h"

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <tuple>

#include "dbx/design.h"
#include "dbx/refdesstring.h"
#include "groups/componentkey.h"
#include "groups/twinitems.h"

namespace {

std::string refDesOf(const DBX::Component& component) { return ComponentField(component, 0); }

// Ranks of the components by reference designator; null entries last.
std::vector<uint32_t> referenceRanks(const std::vector<DBX::Component*>& components) {
  std::vector<std::size_t> order(components.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::vector<RefDesString> names;
  for (const DBX::Component* component : components) {
    names.emplace_back(component != nullptr ? refDesOf(*component) : std::string());
  }
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const bool aMissing = components[a] == nullptr;
    const bool bMissing = components[b] == nullptr;
    if (aMissing != bMissing) return bMissing;
    return names[a] < names[b];
  });
  std::vector<uint32_t> ranks(components.size());
  for (std::size_t r = 0; r < order.size(); ++r) ranks[order[r]] = static_cast<uint32_t>(r);
  return ranks;
}

}  // namespace

std::string ClosestMatch::Difference::text() const {
  auto named = [](const std::string& net) { return net.empty() ? std::string("no net") : net; };
  return (templateComponent != nullptr ? refDesOf(*templateComponent) : std::string()) + " pin " +
         pin + ": " + named(templateNet) + " in the template, " + named(copyNet) + " here";
}

ClosestMatch::ClosestMatch(const NetGraph& templateGraph, std::size_t itemCount,
                           std::vector<DBX::Component*> newComponents, std::size_t differenceLimit,
                           std::size_t wanted)
    : n_(itemCount),
      templateItems_(itemCount, nullptr),
      components_(std::move(newComponents)),
      limit_(differenceLimit),
      wanted_(wanted) {
  if (components_.size() != n_) {
    throw std::invalid_argument("ClosestMatch: " + std::to_string(components_.size()) +
                                " components for " + std::to_string(n_) + " items");
  }
  for (const DBX::Component* component : components_) {
    if (component == nullptr) throw std::invalid_argument("ClosestMatch: no component");
  }
  if (wanted_ < 1 || wanted_ > kMaxCandidates) {
    throw std::invalid_argument("ClosestMatch: " + std::to_string(wanted_) +
                                " candidates wanted, 1 to " + std::to_string(kMaxCandidates) +
                                " allowed");
  }
  for (const auto& [item, id] : templateGraph.items().left) {
    if (item < n_) templateItems_[item] = templateGraph.nodes().at(id).component;
  }
  numberPins();
  templateRank_ = referenceRanks(templateItems_);
  copyRank_ = referenceRanks(components_);
  itemsInReferenceOrder_.resize(n_);
  for (std::size_t e = 0; e < n_; ++e) itemsInReferenceOrder_[templateRank_[e]] = e;

  allowed_.resize(n_);
  for (std::size_t e = 0; e < n_; ++e) {
    for (std::size_t a = 0; a < n_; ++a) {
      if (templateItems_[e] == nullptr || SameComponentKey(*templateItems_[e], *components_[a])) {
        allowed_[e].push_back(a);
      }
    }
    std::sort(allowed_[e].begin(), allowed_[e].end(),
              [&](std::size_t a, std::size_t b) { return copyRank_[a] < copyRank_[b]; });
  }
  findTwins();
  orderItems();
}

void ClosestMatch::numberPins() {
  std::set<std::string> designators;
  std::map<int32_t, uint32_t> nets;
  auto collect = [&](const DBX::Component* component) {
    if (component == nullptr) return;
    for (const auto& [pinDes, pin] : component->pins) {
      designators.insert(pinDes);
      nets.try_emplace(pin.netId, 0);
    }
  };
  for (const DBX::Component* component : templateItems_) collect(component);
  for (const DBX::Component* component : components_) collect(component);
  designators_.assign(designators.begin(), designators.end());
  for (auto& [netId, number] : nets) {
    number = static_cast<uint32_t>(netIds_.size());
    netIds_.push_back(netId);
  }
  auto pinsOf = [&](const DBX::Component* component) {
    std::vector<PinRec> pins;
    if (component == nullptr) return pins;
    for (const auto& [pinDes, pin] : component->pins) {
      const auto rank = std::lower_bound(designators_.begin(), designators_.end(), pinDes);
      pins.push_back({static_cast<uint32_t>(rank - designators_.begin()), nets.at(pin.netId)});
    }
    return pins;
  };
  for (const DBX::Component* component : templateItems_) templatePins_.push_back(pinsOf(component));
  for (const DBX::Component* component : components_) componentPins_.push_back(pinsOf(component));
}

void ClosestMatch::findTwins() {
  // Twins can be exchanged without changing a difference; items the template
  // leaves empty take anything and are twins too.
  twinSlots_ = FindTwinItems(templateItems_);
  std::vector<std::size_t> holes;
  for (std::size_t e = 0; e < n_; ++e) {
    if (templateItems_[e] == nullptr) holes.push_back(e);
  }
  if (holes.size() >= 2) twinSlots_.push_back(std::move(holes));
  twinClass_.assign(n_, -1);
  for (std::size_t k = 0; k < twinSlots_.size(); ++k) {
    for (std::size_t member : twinSlots_[k]) twinClass_[member] = static_cast<int>(k);
  }
}

void ClosestMatch::orderItems() {
  // Each next item is the one most wired to those before it, so that a
  // wrong assignment shows in the bound at once; the fewest candidates break
  // ties.
  std::vector<char> reached(netIds_.size(), 0);
  std::vector<char> taken(n_, 0);
  for (std::size_t step = 0; step < n_; ++step) {
    std::size_t best = n_;
    std::tuple<bool, std::size_t, std::size_t, std::size_t> bestScore{};
    for (std::size_t e = 0; e < n_; ++e) {
      if (taken[e]) continue;
      std::size_t wired = 0;
      for (const PinRec& pin : templatePins_[e]) wired += reached[pin.net] ? 1 : 0;
      // Larger is better: present, most wired, fewest candidates, lowest rank.
      const auto score = std::make_tuple(templateItems_[e] != nullptr, wired,
                                         n_ - allowed_[e].size(), n_ - templateRank_[e]);
      if (best == n_ || score > bestScore) {
        best = e;
        bestScore = score;
      }
    }
    // Twins are taken in the template's reference order, so that the
    // components going into them can be taken in the copy's.
    if (twinClass_[best] >= 0) {
      for (std::size_t slot : twinSlots_[static_cast<std::size_t>(twinClass_[best])]) {
        if (!taken[slot] && templateRank_[slot] < templateRank_[best]) best = slot;
      }
    }
    taken[best] = 1;
    order_.push_back(best);
    for (const PinRec& pin : templatePins_[best]) reached[pin.net] = 1;
  }
}

void ClosestMatch::mergedPins(std::size_t item, std::size_t component) {
  // Both pin lists are in designator order; a pin on one side only pairs
  // with no net.
  scratch_.clear();
  scratchDesignators_.clear();
  const auto& own = templatePins_[item];
  const auto& other = componentPins_[component];
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < own.size() || j < other.size()) {
    if (j == other.size() || (i < own.size() && own[i].designator < other[j].designator)) {
      scratch_.emplace_back(own[i].net, NetTallies::kNoNet);
      scratchDesignators_.push_back(own[i++].designator);
    } else if (i == own.size() || other[j].designator < own[i].designator) {
      scratch_.emplace_back(NetTallies::kNoNet, other[j].net);
      scratchDesignators_.push_back(other[j++].designator);
    } else {
      scratch_.emplace_back(own[i].net, other[j].net);
      scratchDesignators_.push_back(own[i].designator);
      ++i;
      ++j;
    }
  }
}

bool ClosestMatch::keepsTwinOrder(std::size_t item, std::size_t component) const {
  const int twinClass = twinClass_[item];
  if (twinClass < 0) return true;
  // The class's items come in reference order: this one takes a later
  // component than the one before it and leaves enough later ones for the
  // items after it.
  const auto& slots = twinSlots_[static_cast<std::size_t>(twinClass)];
  std::size_t itemsAfter = 0;
  for (std::size_t slot : slots) {
    const int there = assignment_[slot];
    if (slot == item) continue;
    if (there < 0) {
      ++itemsAfter;
    } else if (copyRank_[static_cast<std::size_t>(there)] > copyRank_[component]) {
      return false;
    }
  }
  std::size_t laterComponents = 0;
  for (std::size_t other : allowed_[item]) {
    if (!used_[other] && copyRank_[other] > copyRank_[component]) ++laterComponents;
  }
  return laterComponents >= itemsAfter;
}

int64_t ClosestMatch::bound() const {
  // Once enough are kept, only a closer candidate than the worst may enter;
  // equals come in the order found, the copy's reference order first.
  const auto limit = static_cast<int64_t>(limit_);
  return kept_.size() == wanted_ ? static_cast<int64_t>(kept_.back().cost) - 1 : limit;
}

void ClosestMatch::search(std::size_t depth) {
  if (cutShort_) return;
  if (depth == n_) {
    scoreLeaf();
    return;
  }
  const std::size_t item = order_[depth];
  // The cheapest components first, so that close candidates come early and
  // tighten the bound.
  std::vector<std::pair<int32_t, std::size_t>> options;
  for (std::size_t component : allowed_[item]) {
    if (used_[component] || !keepsTwinOrder(item, component)) continue;
    const std::size_t mark = tallies_->mark();
    mergedPins(item, component);
    tallies_->addItem(scratch_);
    const int32_t lower = tallies_->lowerBound();
    tallies_->undo(mark);
    if (lower <= bound()) options.emplace_back(lower, component);
  }
  std::stable_sort(options.begin(), options.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [lowerBound, component] : options) {
    if (lowerBound > bound()) break;
    if (++placements_ > budget_) {
      cutShort_ = true;
      return;
    }
    const std::size_t mark = tallies_->mark();
    mergedPins(item, component);
    tallies_->addItem(scratch_);
    assignment_[item] = static_cast<int>(component);
    used_[component] = 1;
    search(depth + 1);
    used_[component] = 0;
    assignment_[item] = -1;
    tallies_->undo(mark);
    if (cutShort_) return;
  }
}

void ClosestMatch::scoreLeaf() {
  struct Pin {
    uint32_t item;
    uint32_t designator;
    uint32_t templateNet;
    uint32_t copyNet;
  };
  // The pins that reach another item on either side; the others have no
  // link that could differ.
  std::vector<Pin> pins;
  std::map<std::pair<uint32_t, uint32_t>, uint32_t> pairCounts;
  for (std::size_t e = 0; e < n_; ++e) {
    mergedPins(e, static_cast<std::size_t>(assignment_[e]));
    for (std::size_t k = 0; k < scratch_.size(); ++k) {
      const auto [templateNet, copyNet] = scratch_[k];
      const bool linked =
          (templateNet != NetTallies::kNoNet && tallies_->templateNetShared(templateNet)) ||
          (copyNet != NetTallies::kNoNet && tallies_->copyNetShared(copyNet));
      if (!linked) continue;
      pins.push_back({static_cast<uint32_t>(e), scratchDesignators_[k], templateNet, copyNet});
      if (templateNet != NetTallies::kNoNet && copyNet != NetTallies::kNoNet) {
        ++pairCounts[{templateNet, copyNet}];
      }
    }
  }
  // The nets correspond in pairs, the most frequent pairs first.
  std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> pairs;
  for (const auto& [pair, count] : pairCounts) pairs.emplace_back(count, pair.first, pair.second);
  std::stable_sort(pairs.begin(), pairs.end(),
                   [](const auto& a, const auto& b) { return std::get<0>(a) > std::get<0>(b); });
  std::vector<uint32_t> partner(netIds_.size(), NetTallies::kNoNet);
  std::vector<char> copyTaken(netIds_.size(), 0);
  for (const auto& [count, templateNet, copyNet] : pairs) {
    if (partner[templateNet] != NetTallies::kNoNet || copyTaken[copyNet]) continue;
    partner[templateNet] = copyNet;
    copyTaken[copyNet] = 1;
  }
  Kept kept;
  for (const Pin& pin : pins) {
    if (pin.templateNet != NetTallies::kNoNet && partner[pin.templateNet] == pin.copyNet) continue;
    kept.differences.push_back({pin.item, pin.designator, pin.templateNet, pin.copyNet});
    if (static_cast<int64_t>(kept.differences.size()) > bound()) return;
  }
  kept.cost = kept.differences.size();
  for (std::size_t e : itemsInReferenceOrder_) {
    kept.order.push_back(copyRank_[static_cast<std::size_t>(assignment_[e])]);
  }
  auto closer = [](const Kept& a, const Kept& b) {
    return std::tie(a.cost, a.order) < std::tie(b.cost, b.order);
  };
  kept.assignment = assignment_;
  kept_.insert(std::upper_bound(kept_.begin(), kept_.end(), kept, closer), std::move(kept));
  if (kept_.size() > wanted_) kept_.pop_back();
}

ClosestMatch::Candidate ClosestMatch::candidateOf(const Kept& kept) const {
  Candidate candidate;
  for (int component : kept.assignment) {
    candidate.assignment.push_back(components_[static_cast<std::size_t>(component)]);
  }
  auto netName = [&](const DBX::Component* component, uint32_t net) {
    if (net == NetTallies::kNoNet || component == nullptr) return std::string();
    return std::string(component->design().pack(component->kind).netName(netIds_[net]));
  };
  for (const auto& raw : kept.differences) {
    Difference difference;
    difference.item = raw[0];
    difference.templateComponent = templateItems_[raw[0]];
    difference.component = candidate.assignment[raw[0]];
    difference.pin = designators_[raw[1]];
    difference.templateNet = netName(difference.templateComponent, raw[2]);
    difference.copyNet = netName(difference.component, raw[3]);
    candidate.differences.push_back(std::move(difference));
  }
  return candidate;
}

ClosestMatch::Result ClosestMatch::run() {
  Result result;
  kept_.clear();
  placements_ = 0;
  cutShort_ = false;
  tallies_ = std::make_unique<NetTallies>(netIds_.size());
  assignment_.assign(n_, -1);
  used_.assign(n_, 0);
  // An item that no component of its kind can take leaves nothing to search.
  const bool everyItemHasOne = std::all_of(
      allowed_.begin(), allowed_.end(), [](const auto& components) { return !components.empty(); });
  if (n_ > 0 && everyItemHasOne) search(0);
  for (const Kept& kept : kept_) result.candidates.push_back(candidateOf(kept));
  result.cutShort = cutShort_;
  return result;
}
