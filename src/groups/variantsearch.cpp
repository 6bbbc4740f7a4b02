#include "groups/variantsearch.h"

#include <stdexcept>
#include <string>

#include "groups/rowmatcher.h"

VariantSearch::VariantSearch(const NetGraph& templateGraph, std::size_t itemCount,
                             std::vector<DBX::Component*> newComponents, std::size_t limit)
    : n_(itemCount), components_(std::move(newComponents)), limit_(limit) {
  if (components_.size() != n_) {
    throw std::invalid_argument("VariantSearch: " + std::to_string(components_.size()) +
                                " components for " + std::to_string(n_) + " items");
  }
  for (const DBX::Component* component : components_) {
    if (component == nullptr) throw std::invalid_argument("VariantSearch: no component");
  }
  RowMatcher matcher(templateGraph);
  inTemplate_.resize(n_);
  for (std::size_t i = 0; i < n_; ++i) inTemplate_[i] = matcher.templateAt(i) != nullptr;

  allowedSlots_.resize(n_);
  for (std::size_t a = 0; a < n_; ++a) {
    for (std::size_t i = 0; i < n_; ++i) {
      if (!inTemplate_[i] || matcher.sameKey(*matcher.templateAt(i), *components_[a])) {
        allowedSlots_[a].push_back(i);
      }
    }
  }

  // Pin-pair lists are numbered once, so that the search compares numbers.
  PinLinks& links = matcher.links();
  std::vector<const PinLinks::Pins*> componentPins;
  for (const DBX::Component* component : components_)
    componentPins.push_back(&links.pinsOf(*component));
  templateLinks_.assign(n_ * n_, 0);
  componentLinks_.assign(n_ * n_, 0);
  for (std::size_t i = 0; i < n_; ++i) {
    for (std::size_t j = 0; j < n_; ++j) {
      if (i == j) continue;
      if (inTemplate_[i] && inTemplate_[j]) {
        templateLinks_[i * n_ + j] = links.id(matcher.templatePins(i), matcher.templatePins(j));
      }
      componentLinks_[i * n_ + j] = links.id(*componentPins[i], *componentPins[j]);
    }
  }

  // Twins must be the same kind of part.
  std::vector<uint32_t> keys(n_);
  for (std::size_t i = 0; i < n_; ++i) {
    if (inTemplate_[i]) keys[i] = matcher.keyOf(*matcher.templateAt(i));
  }
  twinClass_.assign(n_, -1);
  for (std::size_t i = 0; i < n_; ++i) {
    if (twinClass_[i] >= 0) continue;
    std::vector<std::size_t> members{i};
    for (std::size_t k = i + 1; k < n_; ++k) {
      if (twinClass_[k] >= 0 || inTemplate_[k] != inTemplate_[i]) continue;
      // Items the template leaves empty accept anything: all of them are twins.
      bool twins = !inTemplate_[i] || keys[k] == keys[i];
      for (std::size_t j = 0; twins && inTemplate_[i] && j < n_; ++j) {
        if (j == i || j == k) continue;
        twins = templateLinks_[i * n_ + j] == templateLinks_[k * n_ + j];
      }
      // Exchanged, each must link to the other as before.
      if (twins && inTemplate_[i]) twins = templateLinks_[i * n_ + k] == templateLinks_[k * n_ + i];
      if (twins) members.push_back(k);
    }
    if (members.size() < 2) continue;
    for (std::size_t member : members) twinClass_[member] = static_cast<int>(classSlots_.size());
    result_.interchangeableItems += members.size();
    classSlots_.push_back(std::move(members));
  }
  classFilled_.assign(classSlots_.size(), 0);
  rowComponent_.assign(n_, -1);
}

bool VariantSearch::twinPermutationsExceedLimit() const {
  std::size_t product = 1;
  for (const auto& slots : classSlots_) {
    for (std::size_t k = 2; k <= slots.size(); ++k) {
      product *= k;
      if (product > limit_) return true;
    }
  }
  return false;
}

bool VariantSearch::strikeRuledOut(std::size_t depth, std::size_t slot, std::size_t end) {
  bool everyOneHasASlot = true;
  for (std::size_t later = depth + 1; later < end; ++later) {
    for (std::size_t other : allowedSlots_[later]) {
      std::uint32_t& struck = struck_[later * n_ + other];
      if (struck != 0) continue;
      // The later component may not take this slot, nor one whose links to
      // it would differ from its own links to the component placed.
      const bool ruledOut = other == slot || (inTemplate_[slot] && inTemplate_[other] &&
                                              templateLinks_[other * n_ + slot] !=
                                                  componentLinks_[later * n_ + depth]);
      if (!ruledOut) continue;
      ++struck;
      trail_.push_back(later * n_ + other);
      if (--openSlots_[later] == 0) everyOneHasASlot = false;
    }
  }
  return everyOneHasASlot;
}

void VariantSearch::restoreStruck(std::size_t trailSize) {
  while (trail_.size() > trailSize) {
    const std::size_t entry = trail_.back();
    trail_.pop_back();
    --struck_[entry];
    ++openSlots_[entry / n_];
  }
}

bool VariantSearch::GenerateVariants(std::size_t depth, std::size_t end) {
  if (depth == end) {
    if (end < n_) return false;
    if (result_.candidates.size() / n_ >= limit_) return false;
    for (int component : rowComponent_) {
      result_.candidates.push_back(components_[static_cast<std::size_t>(component)]);
    }
    return true;
  }
  for (std::size_t slot : allowedSlots_[depth]) {
    if (rowComponent_[slot] >= 0 || struck_[depth * n_ + slot] != 0) continue;
    const int twinClass = twinClass_[slot];
    if (collapsing_ && twinClass >= 0) {
      // Within a class only the lowest free item may be taken.
      const auto& slots = classSlots_[static_cast<std::size_t>(twinClass)];
      if (slots[classFilled_[static_cast<std::size_t>(twinClass)]] != slot) continue;
    }
    const std::size_t trailSize = trail_.size();
    const bool open = strikeRuledOut(depth, slot, end);
    bool goOn = true;
    if (open) {
      rowComponent_[slot] = static_cast<int>(depth);
      if (twinClass >= 0) ++classFilled_[static_cast<std::size_t>(twinClass)];
      goOn = GenerateVariants(depth + 1, end);
      if (twinClass >= 0) --classFilled_[static_cast<std::size_t>(twinClass)];
      rowComponent_[slot] = -1;
    }
    restoreStruck(trailSize);
    if (!goOn) return false;
  }
  return true;
}

void VariantSearch::resetPlacements() {
  struck_.assign(n_ * n_, 0);
  openSlots_.resize(n_);
  for (std::size_t a = 0; a < n_; ++a) openSlots_[a] = allowedSlots_[a].size();
  trail_.clear();
}

bool VariantSearch::canPlaceFirst(std::size_t end) {
  resetPlacements();
  for (std::size_t a = 0; a < end; ++a) {
    if (openSlots_[a] == 0) return false;
  }
  return !GenerateVariants(0, end);
}

std::size_t VariantSearch::deepestReached() {
  // Placing the first k components gets harder as k grows, so the deepest
  // component reached is found by halving.
  std::size_t reached = 0;
  std::size_t beyond = n_;
  while (beyond - reached > 1) {
    const std::size_t middle = reached + (beyond - reached) / 2;
    if (canPlaceFirst(middle)) {
      reached = middle;
    } else {
      beyond = middle;
    }
  }
  return reached;
}

bool VariantSearch::enumerate() {
  result_.candidates.clear();
  resetPlacements();
  for (std::size_t a = 0; a < n_; ++a) {
    if (openSlots_[a] == 0) return true;
  }
  return GenerateVariants(0, n_);
}

VariantSearch::Result VariantSearch::run() {
  if (n_ == 0) return result_;
  // Every valid assignment permuted within the twin classes is valid too, so
  // when those permutations alone exceed the limit the full search is futile.
  bool withinLimit = false;
  if (classSlots_.empty() || !twinPermutationsExceedLimit()) withinLimit = enumerate();
  // Without twins the collapsed search would be the same search again.
  if (!withinLimit && classSlots_.empty()) {
    result_.candidates.clear();
    result_.tooMany = true;
  } else if (!withinLimit) {
    collapsing_ = true;
    result_.collapsed = true;
    if (!enumerate()) {
      result_.candidates.clear();
      result_.tooMany = true;
    }
  }
  // A search that placed every component went down to the last one.
  result_.deepestIndex = result_.tooMany || !result_.candidates.empty() ? n_ - 1 : deepestReached();
  return result_;
}
