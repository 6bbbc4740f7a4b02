#include "groups/view/variantlisting.h"

#include <stdexcept>
#include <utility>

#include "groups/componentkey.h"
#include "groups/grouptable.h"

VariantListing::VariantListing(const GroupTable& table, VariantList variants)
    : variants_(std::move(variants)) {
  for (int column = 1; column <= table.colCount() - 2; ++column) {
    headings_.push_back(table.cell(1, column).text);
  }
  if (!variants_.empty() && variants_.itemCount() != headings_.size()) {
    throw std::invalid_argument("VariantListing: variants of " +
                                std::to_string(variants_.itemCount()) + " items for " +
                                std::to_string(headings_.size()) + " template items");
  }
}

std::string VariantListing::text(std::size_t row, std::size_t column) const {
  const DBX::Component* component = variants_.at(row, column);
  return component != nullptr ? ComponentField(*component, 0) : std::string();
}
