#include "groups/componentkey.h"

#include <array>
#include <map>

#include "dbx/design.h"

using DBX_18::getText;

std::string ComponentField(const DBX::Component& component, int n) {
  const DBX::TComponent& record = component.record;
  switch (n) {
    case 0:
      return std::string(getText(record.refDes));
    case 1:
      return std::string(getText(record.compType));
    case 2:
      return std::string(getText(record.value));
    case 3:
      return std::string(getText(record.patternName));
    case 4:
      return std::string(getText(record.libraryName));
    default:
      return {};
  }
}

std::string_view PartSuffix(std::string_view refDes) {
  const auto colon = refDes.find(':');
  return colon == std::string_view::npos ? std::string_view() : refDes.substr(colon + 1);
}

std::string ComponentKey(const DBX::Component& component, uint8_t mask) {
  std::string key;
  AppendComponentKey(component, mask, key);
  return key;
}

void AppendComponentKey(const DBX::Component& component, uint8_t mask, std::string& key) {
  const DBX::TComponent& record = component.record;
  auto append = [&](std::string_view text) {
    key += ',';
    key += text;
  };
  if (mask & kKeyCompType) append(getText(record.compType));
  if (mask & kKeyValue) append(getText(record.value));
  if (mask & kKeyPattern) append(getText(record.patternName));
  if (mask & kKeyLibrary) append(getText(record.libraryName));
  if (mask & kKeyPartSuffix) append(PartSuffix(getText(record.refDes)));
}

namespace {

// The fields of the full key, in key order.
std::array<std::string_view, 5> keyFields(const DBX::TComponent& record) {
  return {getText(record.compType), getText(record.value), getText(record.patternName),
          getText(record.libraryName), PartSuffix(getText(record.refDes))};
}

}  // namespace

bool SameComponentKey(const DBX::Component& a, const DBX::Component& b) {
  const auto fieldsA = keyFields(a.record);
  const auto fieldsB = keyFields(b.record);
  if (fieldsA == fieldsB) return true;
  // Without commas in the fields each key splits into its fields one way
  // only, so different fields mean different keys.
  auto hasComma = [](const auto& fields) {
    for (std::string_view field : fields) {
      if (field.find(',') != std::string_view::npos) return true;
    }
    return false;
  };
  if (!hasComma(fieldsA) && !hasComma(fieldsB)) return false;
  return ComponentKey(a, kKeyAll) == ComponentKey(b, kKeyAll);
}

std::vector<const DBX::Component*> PartsOfMissingKinds(
    const std::vector<DBX::Component*>& templateItems,
    const std::vector<DBX::Component*>& newComponents) {
  std::map<std::string, std::size_t> free;
  std::size_t emptyItems = 0;
  for (const DBX::Component* item : templateItems) {
    if (item == nullptr) {
      ++emptyItems;
    } else {
      ++free[ComponentKey(*item)];
    }
  }
  std::vector<const DBX::Component*> leftOver;
  for (const DBX::Component* component : newComponents) {
    const auto kind = free.find(ComponentKey(*component));
    if (kind != free.end() && kind->second > 0) {
      --kind->second;
    } else {
      leftOver.push_back(component);
    }
  }
  if (leftOver.size() <= emptyItems) leftOver.clear();
  return leftOver;
}
