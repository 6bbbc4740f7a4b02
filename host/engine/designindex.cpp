#include "engine/designindex.h"

namespace dbxhost {

namespace {

// Fills map with each part's key and position, the first of equal keys kept.
template <class Map, class Part, class Key>
void indexParts(Map& map, const std::vector<Part>& parts, Key&& key) {
  map.clear();
  map.reserve(parts.size());
  for (std::size_t i = 0; i < parts.size(); ++i) map.try_emplace(key(parts[i]), i);
}

}  // namespace

void DesignIndex::rebuild(const Design& design) {
  const auto refDes = [](const auto& part) -> const std::string& { return part.refDes; };
  const auto id = [](const auto& part) { return part.id; };
  indexParts(pcbByRefDes_, design.pcb.components, refDes);
  indexParts(pcbById_, design.pcb.components, id);
  indexParts(schByRefDes_, design.sch.components, refDes);
  indexParts(symbolByRefDes_, design.sch.symbols, refDes);
  indexParts(symbolById_, design.sch.symbols, id);

  firstSymbol_.assign(design.sch.components.size(), kNone);
  for (std::size_t i = design.sch.symbols.size(); i-- > 0;) {
    const std::size_t component = design.sch.symbols[i].component;
    if (component < firstSymbol_.size()) firstSymbol_[component] = i;
  }
}

}  // namespace dbxhost
