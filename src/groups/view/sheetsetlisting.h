// What the sheet-set dialog lists: one row per sheet set with its sheet
// names in set order; shorter sets leave their last cells empty.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class SelectSheetVars;

struct SheetSetListing {
  std::size_t columns = 0;                     // the largest set's size
  std::vector<std::vector<std::string>> rows;  // rows[set][position], columns entries each

  static SheetSetListing Build(const SelectSheetVars& vars);
};
