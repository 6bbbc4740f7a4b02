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

bool VariantSearch::fits(std::size_t slot, std::size_t component) const {
  if (!inTemplate_[slot]) return true;
  for (std::size_t j : filled_) {
    const std::size_t other = static_cast<std::size_t>(rowComponent_[j]);
    if (templateLinks_[slot * n_ + j] != componentLinks_[component * n_ + other]) return false;
  }
  return true;
}

bool VariantSearch::GenerateVariants(std::size_t depth) {
  if (depth == n_) {
    if (result_.candidates.size() / n_ >= limit_) return false;
    for (int component : rowComponent_) {
      result_.candidates.push_back(components_[static_cast<std::size_t>(component)]);
    }
    return true;
  }
  if (result_.deepestIndex < depth) result_.deepestIndex = depth;
  for (std::size_t slot : allowedSlots_[depth]) {
    if (rowComponent_[slot] >= 0) continue;
    const int twinClass = twinClass_[slot];
    if (collapsing_ && twinClass >= 0) {
      // Within a class only the lowest free item may be taken.
      const auto& slots = classSlots_[static_cast<std::size_t>(twinClass)];
      if (slots[classFilled_[static_cast<std::size_t>(twinClass)]] != slot) continue;
    }
    // The row placed so far passed, so only the new item's pairs can differ.
    if (!fits(slot, depth)) continue;
    rowComponent_[slot] = static_cast<int>(depth);
    if (inTemplate_[slot]) filled_.push_back(slot);
    if (twinClass >= 0) ++classFilled_[static_cast<std::size_t>(twinClass)];
    const bool withinLimit = GenerateVariants(depth + 1);
    if (twinClass >= 0) --classFilled_[static_cast<std::size_t>(twinClass)];
    if (inTemplate_[slot]) filled_.pop_back();
    rowComponent_[slot] = -1;
    if (!withinLimit) return false;
  }
  return true;
}

VariantSearch::Result VariantSearch::run() {
  if (n_ == 0) return result_;
  // Every valid assignment permuted within the twin classes is valid too, so
  // when those permutations alone exceed the limit the full search is futile.
  if (classSlots_.empty() || !twinPermutationsExceedLimit()) {
    if (GenerateVariants(0)) return result_;
  }
  result_.candidates.clear();
  // Without twins the collapsed search would be the same search again.
  if (classSlots_.empty()) {
    result_.tooMany = true;
    return result_;
  }
  result_.deepestIndex = 0;
  collapsing_ = true;
  result_.collapsed = true;
  if (!GenerateVariants(0)) {
    result_.candidates.clear();
    result_.tooMany = true;
  }
  return result_;
}
