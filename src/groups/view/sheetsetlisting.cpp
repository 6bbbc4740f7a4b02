#include "groups/view/sheetsetlisting.h"

#include <algorithm>
#include <stdexcept>

#include "groups/selectsheetvars.h"

SheetSetListing SheetSetListing::Build(const SelectSheetVars& vars) {
  SheetSetListing listing;
  listing.columns = vars.maxSetSize;
  for (const auto& [first, end] : vars.sheetSets) {
    if (first > end || end > vars.setSheetNames.size()) {
      throw std::out_of_range("sheet set beyond the list of sheet names");
    }
    std::vector<std::string>& row = listing.rows.emplace_back(listing.columns);
    const std::size_t shown = std::min(end - first, listing.columns);
    std::copy_n(vars.setSheetNames.begin() + static_cast<std::ptrdiff_t>(first), shown,
                row.begin());
  }
  return listing;
}
