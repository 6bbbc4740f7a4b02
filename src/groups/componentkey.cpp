#include "groups/componentkey.h"

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
  const DBX::TComponent& record = component.record;
  std::string key;
  auto append = [&](std::string_view text) {
    key += ',';
    key += text;
  };
  if (mask & kKeyCompType) append(getText(record.compType));
  if (mask & kKeyValue) append(getText(record.value));
  if (mask & kKeyPattern) append(getText(record.patternName));
  if (mask & kKeyLibrary) append(getText(record.libraryName));
  if (mask & kKeyPartSuffix) append(PartSuffix(getText(record.refDes)));
  return key;
}
