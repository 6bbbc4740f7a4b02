// Fast comparison of pin-pair lists between components. The lists are the
// ones NetGraph records (PinPairs), worked out from each component's own pin
// map, so comparing rows costs in proportion to the rows' pins and not to the
// size of the nets they touch.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace DBX {
class Component;
}

// Caches per-component pin tables for its lifetime; make one per operation,
// since a component may be freed once the operation is over.
class PinLinks {
 public:
  // Whether the pin pairs of own with other equal those of own2 with other2,
  // designator text for designator text and in the same order.
  bool same(const DBX::Component& own, const DBX::Component& other, const DBX::Component& own2,
            const DBX::Component& other2);
  // A number for the pin pairs of own with other: equal numbers exactly for
  // equal lists; 0 when the two share no net.
  uint32_t id(const DBX::Component& own, const DBX::Component& other);

 private:
  using Pair = std::pair<uint32_t, uint32_t>;  // designator numbers
  struct Pins {
    std::vector<uint32_t> designators;                // by pin designator order
    std::vector<std::pair<int32_t, uint32_t>> byNet;  // (net, pin index), sorted
  };

  const Pins& pinsOf(const DBX::Component& component);
  void collect(const DBX::Component& own, const DBX::Component& other, std::vector<Pair>& out);

  std::unordered_map<const DBX::Component*, Pins> pins_;
  std::unordered_map<std::string, uint32_t> designatorNumbers_;
  std::map<std::vector<Pair>, uint32_t> listIds_;
  std::vector<Pair> first_;
  std::vector<Pair> second_;
};
