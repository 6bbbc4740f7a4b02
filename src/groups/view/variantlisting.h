// What the variant dialog lists: the template's designators as headings and,
// for each variant, the designator that it puts under each template item.
// Texts are made when asked for, so that a list of 100 000 variants of a
// group of 200 is shown without making 20 million texts.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "groups/variantlist.h"

class GroupTable;

class VariantListing {
 public:
  // The headings come from the table's template row (its column count minus
  // 2 items). Throws std::invalid_argument when the variants have another
  // number of items.
  VariantListing(const GroupTable& table, VariantList variants);

  const std::vector<std::string>& headings() const { return headings_; }
  std::size_t columnCount() const { return headings_.size(); }
  // One row per variant, in candidate order.
  std::size_t rowCount() const { return variants_.variantCount(); }
  // The designator of the component that the row's variant puts into the
  // item column; empty for none. Throws std::out_of_range outside the rows.
  std::string text(std::size_t row, std::size_t column) const;

 private:
  std::vector<std::string> headings_;
  VariantList variants_;
};
