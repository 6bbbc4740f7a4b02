// Where the parts of a design stand in its vectors, by designator and by id,
// so that the engine finds a part in constant time however large the design.
// It holds positions, not pointers: whoever changes the design's component or
// symbol vectors rebuilds it. Where two parts share a designator or an id, the
// first in the vector is the one found, as a walk through the vector would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/design.h"

namespace dbxhost {

class DesignIndex {
 public:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  void rebuild(const Design& design);

  // Positions in Pcb::components, Schematic::components and
  // Schematic::symbols; kNone when there is no such part.
  std::size_t pcbByRefDes(std::string_view refDes) const { return find(pcbByRefDes_, refDes); }
  std::size_t pcbById(int32_t id) const { return find(pcbById_, id); }
  std::size_t schByRefDes(std::string_view refDes) const { return find(schByRefDes_, refDes); }
  std::size_t symbolByRefDes(std::string_view refDes) const {
    return find(symbolByRefDes_, refDes);
  }
  std::size_t symbolById(int32_t id) const { return find(symbolById_, id); }
  // The first symbol of the schematic component at that position.
  std::size_t firstSymbolOf(std::size_t component) const {
    return component < firstSymbol_.size() ? firstSymbol_[component] : kNone;
  }

 private:
  // Lets a designator handed in as a view be looked up without a copy.
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>{}(text);
    }
  };
  using ByText = std::unordered_map<std::string, std::size_t, TextHash, std::equal_to<>>;
  using ById = std::unordered_map<int32_t, std::size_t>;

  template <class Map, class Key>
  static std::size_t find(const Map& map, const Key& key) {
    const auto it = map.find(key);
    return it == map.end() ? kNone : it->second;
  }

  ByText pcbByRefDes_, schByRefDes_, symbolByRefDes_;
  ById pcbById_, symbolById_;
  std::vector<std::size_t> firstSymbol_;  // per schematic component
};

}  // namespace dbxhost
