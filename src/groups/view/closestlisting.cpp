#include "groups/view/closestlisting.h"

#include <utility>

#include "groups/variantlist.h"
#include "groups/view/variantlisting.h"

ClosestListing ClosestListing::Build(const GroupTable& table, const ClosestMatch::Result& closest) {
  const std::size_t items =
      closest.candidates.empty() ? 0 : closest.candidates[0].assignment.size();
  VariantList variants(items);
  for (const ClosestMatch::Candidate& candidate : closest.candidates) {
    variants.append(candidate.assignment);
  }
  const VariantListing listed(table, std::move(variants));
  ClosestListing listing;
  listing.headings = listed.headings();
  for (std::size_t k = 0; k < listed.rowCount(); ++k) {
    std::vector<std::string>& row = listing.rows.emplace_back();
    for (std::size_t column = 0; column < listed.columnCount(); ++column) {
      row.push_back(listed.text(k, column));
    }
    std::vector<std::string>& lines = listing.differences.emplace_back();
    for (const ClosestMatch::Difference& difference : closest.candidates[k].differences) {
      lines.push_back(difference.text());
    }
  }
  return listing;
}
