#include "groups/groupdifferences.h"

void GroupDifferences::mark(const ClosestMatch::Candidate& candidate) {
  for (const ClosestMatch::Difference& difference : candidate.differences) {
    lines_[difference.component].push_back(difference.text());
  }
}

const std::vector<std::string>& GroupDifferences::linesOf(const DBX::Component* component) const {
  static const std::vector<std::string> kNone;
  const auto found = lines_.find(component);
  return found != lines_.end() ? found->second : kNone;
}
