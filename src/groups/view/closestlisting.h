// What the closest-match dialog lists: like the variant dialog, the
// template's designators as headings and one row per candidate, with in
// front of them the candidate's differences, one line per differing pin.
#pragma once

#include <string>
#include <vector>

#include "groups/closestmatch.h"

class GroupTable;

struct ClosestListing {
  static constexpr const char* kDifferencesHeading = "Differences";

  std::vector<std::string> headings;                  // the template's designators
  std::vector<std::vector<std::string>> rows;         // one per candidate, in order
  std::vector<std::vector<std::string>> differences;  // the lines of each candidate

  static ClosestListing Build(const GroupTable& table, const ClosestMatch::Result& closest);
};
