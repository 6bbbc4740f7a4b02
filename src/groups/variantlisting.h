// What the variant dialog lists: the template's designators as headings and,
// for each variant, the designator that it puts under each template item.
#pragma once

#include <string>
#include <vector>

namespace DBX {
class Component;
}
class GroupTable;

struct VariantListing {
  std::vector<std::string> headings;
  std::vector<std::vector<std::string>> rows;  // one per variant, in candidate order

  // candidates holds the variants end to end, one entry per template item
  // (the table's column count minus 2). A trailing incomplete variant is not
  // listed.
  static VariantListing Build(const GroupTable& table,
                              const std::vector<DBX::Component*>& candidates);
};
