// The texts by which components are shown and compared: a component's text
// fields, and the comparison key that decides whether two components are the
// same kind of part.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace DBX {
class Component;
}

// Bits of the ComponentKey mask.
inline constexpr uint8_t kKeyCompType = 1;
inline constexpr uint8_t kKeyValue = 2;
inline constexpr uint8_t kKeyPattern = 4;
inline constexpr uint8_t kKeyLibrary = 8;
inline constexpr uint8_t kKeyPartSuffix = 16;
inline constexpr uint8_t kKeyAll = 255;

// Text field n of the component: 0 refDes, 1 compType, 2 value,
// 3 patternName, 4 libraryName; any other n gives the empty text.
std::string ComponentField(const DBX::Component& component, int n);

// The text after the first colon of a designator (U1:B -> B); empty when
// there is no colon.
std::string_view PartSuffix(std::string_view refDes);

// "," followed by each selected field in the order of the mask bits; the part
// suffix bit adds "," and the suffix (nothing more without a colon). Two
// components are the same kind of part exactly when their keys with kKeyAll
// are byte-for-byte equal.
std::string ComponentKey(const DBX::Component& component, uint8_t mask = kKeyAll);
// Whether the two ComponentKeys (kKeyAll) are equal, without building them.
bool SameComponentKey(const DBX::Component& a, const DBX::Component& b);
// Appends the ComponentKey to key, so that many keys can reuse one buffer.
void AppendComponentKey(const DBX::Component& component, uint8_t mask, std::string& key);

// The new components that no template item can take because the template
// has too few parts of their kind: each template part pairs with one new
// part of its kind, items the template leaves empty (null) with any part.
// Empty when every new part finds an item; otherwise every part left over,
// in the order given.
std::vector<const DBX::Component*> PartsOfMissingKinds(
    const std::vector<DBX::Component*>& templateItems,
    const std::vector<DBX::Component*>& newComponents);
