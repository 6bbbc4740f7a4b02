#include "groups/closestlisting.h"

#include "groups/variantlisting.h"

ClosestListing ClosestListing::Build(const GroupTable& table, const ClosestMatch::Result& closest) {
  std::vector<DBX::Component*> candidates;
  for (const ClosestMatch::Candidate& candidate : closest.candidates) {
    candidates.insert(candidates.end(), candidate.assignment.begin(), candidate.assignment.end());
  }
  VariantListing variants = VariantListing::Build(table, candidates);
  ClosestListing listing;
  listing.headings = std::move(variants.headings);
  listing.rows = std::move(variants.rows);
  for (std::size_t k = 0; k < listing.rows.size(); ++k) {
    std::vector<std::string>& lines = listing.differences.emplace_back();
    for (const ClosestMatch::Difference& difference : closest.candidates[k].differences) {
      lines.push_back(difference.text());
    }
  }
  return listing;
}
