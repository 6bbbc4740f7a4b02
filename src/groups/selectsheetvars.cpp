#include "groups/selectsheetvars.h"

#include <set>
#include <stdexcept>

#include "dbx/design.h"
#include "groups/componentkey.h"

void SelectSheetVars::CollectSheetComponents() {
  for (const auto& [refDes, component] : design_.pack(DBX::kToolSch).components().left) {
    sheetComponents.emplace(std::string(design_.sheetName(component->sheetId)), component);
  }
}

uint64_t SelectSheetVars::PositionKey(int32_t x, int32_t y) {
  // Unsigned arithmetic gives the two's-complement result without overflow.
  const auto high = static_cast<uint64_t>(static_cast<int64_t>(y)) << 32;
  return high + static_cast<uint64_t>(static_cast<int64_t>(x));
}

std::string SelectSheetVars::SignatureEntry(const DBX::Component& component) {
  const DBX::TPoint& at = component.record.refPoint;
  return std::to_string(at.x) + "," + std::to_string(at.y) + ComponentKey(component, kKeyAll) + ";";
}

std::vector<DBX::Component*> SelectSheetVars::GetSheetComponents(
    const std::string& sheetName) const {
  std::multimap<uint64_t, DBX::Component*> byPosition;
  const auto [begin, end] = sheetComponents.equal_range(sheetName);
  for (auto at = begin; at != end; ++at) {
    const DBX::TPoint& point = at->second->record.refPoint;
    byPosition.emplace(PositionKey(point.x, point.y), at->second);
  }
  std::vector<DBX::Component*> components;
  for (const auto& [key, component] : byPosition) components.push_back(component);
  return components;
}

void SelectSheetVars::BuildSheetSignatures() {
  for (auto at = sheetComponents.begin(); at != sheetComponents.end();
       at = sheetComponents.upper_bound(at->first)) {
    std::string signature;
    for (const DBX::Component* component : GetSheetComponents(at->first)) {
      signature += SignatureEntry(*component);
    }
    sheetSignatures.emplace(std::move(signature), at->first);
  }
}

void SelectSheetVars::FindSheetSets() {
  maxSetSize = 0;
  for (auto at = sheetSignatures.begin(); at != sheetSignatures.end();
       at = sheetSignatures.upper_bound(at->first)) {
    std::set<RefDesString> names;
    const auto [begin, end] = sheetSignatures.equal_range(at->first);
    for (auto entry = begin; entry != end; ++entry) names.insert(entry->second);
    if (names.size() < 2) continue;
    const std::size_t first = setSheetNames.size();
    for (const RefDesString& name : names) setSheetNames.push_back(name.str());
    sheetSets.emplace_back(first, setSheetNames.size());
    if (names.size() > maxSetSize) maxSetSize = names.size();
  }
}

std::size_t SelectSheetVars::GetSetComponents(std::size_t set, std::size_t offset,
                                              std::vector<DBX::Component*>& out) const {
  if (set >= sheetSets.size()) {
    throw std::out_of_range("SelectSheetVars: no sheet set " + std::to_string(set));
  }
  const auto [first, end] = sheetSets[set];
  const std::size_t size = end - first;
  std::size_t perSheet = 0;
  for (std::size_t i = 0; i < size; ++i) {
    const auto components = GetSheetComponents(setSheetNames[first + (offset + i) % size]);
    out.insert(out.end(), components.begin(), components.end());
    perSheet = components.size();
  }
  return perSheet;
}
