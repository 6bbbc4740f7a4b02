// The pins by which the groups added from a closest correspondence differ
// from the template, kept per component of the group so that the table can
// mark the component's cell and name the pins wherever compaction moves it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "groups/closestmatch.h"

namespace DBX {
class Component;
}

class GroupDifferences {
 public:
  // Marks every component of the candidate that has a difference.
  void mark(const ClosestMatch::Candidate& candidate);
  // The component left its cell: its marks go with it.
  void forget(const DBX::Component* component) { lines_.erase(component); }
  void clear() { lines_.clear(); }

  bool empty() const { return lines_.empty(); }
  bool differs(const DBX::Component* component) const { return lines_.contains(component); }
  // One line per differing pin ("U20 pin 6: GND in the template, VIOB
  // here"); empty for a component without differences.
  const std::vector<std::string>& linesOf(const DBX::Component* component) const;

 private:
  std::map<const DBX::Component*, std::vector<std::string>> lines_;
};
