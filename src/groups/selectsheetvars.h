// Repeated macro sheets of a hierarchical schematic: sheets whose components
// are equal in kind and position form a sheet set, and each sheet of a set
// gives one group, its components corresponding by position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace DBX {
class Component;
class Design;
}  // namespace DBX

// The user's pick among the sheet sets: the set and the offset of the sheet
// that becomes the template.
struct SheetSetChoice {
  std::size_t set = 0;
  std::size_t offset = 0;
};

class SelectSheetVars {
 public:
  // Reads the design's schematic snapshot and sheet names.
  explicit SelectSheetVars(const DBX::Design& design) : design_(design) {}

  // Files every schematic component under its sheet's name, in refDes order.
  void CollectSheetComponents();
  // One signature per sheet, built from its components in position order.
  void BuildSheetSignatures();
  // Sheets of equal signature, two or more, form a set; names in refDes order.
  void FindSheetSets();

  // The components of one sheet in position order.
  std::vector<DBX::Component*> GetSheetComponents(const std::string& sheetName) const;
  // Appends the components of every sheet of the set, starting with the sheet
  // at the offset (modulo the set's size) and wrapping round; returns the
  // number of components per sheet. Throws std::out_of_range for a set that
  // does not exist.
  std::size_t GetSetComponents(std::size_t set, std::size_t offset,
                               std::vector<DBX::Component*>& out) const;

  // The sort key of a component position: y * 2^32 + x with x sign-extended,
  // compared unsigned.
  static uint64_t PositionKey(int32_t x, int32_t y);
  // "x,y" then the component's key and ";".
  static std::string SignatureEntry(const DBX::Component& component);

  // Sheet names ordered by plain text comparison.
  std::multimap<std::string, DBX::Component*> sheetComponents;
  std::multimap<std::string, std::string> sheetSignatures;     // signature -> sheet
  std::vector<std::pair<std::size_t, std::size_t>> sheetSets;  // [first, end) of setSheetNames
  std::vector<std::string> setSheetNames;
  std::size_t maxSetSize = 0;

 private:
  const DBX::Design& design_;
};
