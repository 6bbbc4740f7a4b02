#include "groups/variantlist.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

VariantList VariantList::fromRows(std::size_t itemCount, const std::vector<DBX::Component*>& rows) {
  VariantList list(itemCount);
  if (itemCount == 0) return list;
  std::vector<DBX::Component*> row(itemCount);
  for (std::size_t first = 0; first + itemCount <= rows.size(); first += itemCount) {
    std::copy_n(rows.begin() + static_cast<std::ptrdiff_t>(first), itemCount, row.begin());
    list.append(row);
  }
  return list;
}

void VariantList::append(const std::vector<DBX::Component*>& row) {
  if (row.size() != n_) {
    throw std::invalid_argument("VariantList: a variant of " + std::to_string(row.size()) +
                                " components for " + std::to_string(n_) + " items");
  }
  if (n_ > std::numeric_limits<uint32_t>::max()) {
    throw std::length_error("VariantList: too many items");
  }
  if (variants_ == 0) first_ = row;
  for (std::size_t i = 0; i < n_; ++i) {
    if (row[i] == first_[i]) continue;
    diffItems_.push_back(static_cast<uint32_t>(i));
    diffComponents_.push_back(row[i]);
  }
  diffEnd_.push_back(diffItems_.size());
  ++variants_;
}

void VariantList::clear() {
  variants_ = 0;
  first_.clear();
  diffEnd_.clear();
  diffItems_.clear();
  diffComponents_.clear();
}

void VariantList::checkVariant(std::size_t variant) const {
  if (variant >= variants_) {
    throw std::out_of_range("VariantList: variant " + std::to_string(variant) + " of " +
                            std::to_string(variants_));
  }
}

DBX::Component* VariantList::at(std::size_t variant, std::size_t item) const {
  checkVariant(variant);
  if (item >= n_) {
    throw std::out_of_range("VariantList: item " + std::to_string(item) + " of " +
                            std::to_string(n_));
  }
  const auto begin = diffItems_.begin() + static_cast<std::ptrdiff_t>(diffBegin(variant));
  const auto end = diffItems_.begin() + static_cast<std::ptrdiff_t>(diffEnd_[variant]);
  const auto found = std::lower_bound(begin, end, item);
  if (found == end || *found != item) return first_[item];
  return diffComponents_[static_cast<std::size_t>(found - diffItems_.begin())];
}

std::vector<DBX::Component*> VariantList::row(std::size_t variant) const {
  checkVariant(variant);
  std::vector<DBX::Component*> out = first_;
  for (std::size_t e = diffBegin(variant); e < diffEnd_[variant]; ++e) {
    out[diffItems_[e]] = diffComponents_[e];
  }
  return out;
}

std::vector<DBX::Component*> VariantList::rows() const {
  std::vector<DBX::Component*> out;
  out.reserve(variants_ * n_);
  for (std::size_t k = 0; k < variants_; ++k) {
    const std::vector<DBX::Component*> one = row(k);
    out.insert(out.end(), one.begin(), one.end());
  }
  return out;
}
