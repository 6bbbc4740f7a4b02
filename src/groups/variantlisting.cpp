#include "groups/variantlisting.h"

#include "groups/componentkey.h"
#include "groups/grouptable.h"

VariantListing VariantListing::Build(const GroupTable& table,
                                     const std::vector<DBX::Component*>& candidates) {
  VariantListing listing;
  const int items = table.colCount() - 2;
  for (int column = 1; column <= items; ++column) {
    listing.headings.push_back(table.cell(1, column).text);
  }
  if (items <= 0) return listing;
  const auto n = static_cast<std::size_t>(items);
  for (std::size_t first = 0; first + n <= candidates.size(); first += n) {
    std::vector<std::string>& row = listing.rows.emplace_back();
    for (std::size_t i = first; i < first + n; ++i) {
      row.push_back(candidates[i] != nullptr ? ComponentField(*candidates[i], 0) : std::string());
    }
  }
  return listing;
}
