// Fast comparison of pin-pair lists between components. The lists are the
// ones NetGraph records (PinPairs), worked out from each component's own pin
// map, so comparing rows costs in proportion to the rows' pins and not to the
// size of the nets they touch.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
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
  struct Pin {
    int32_t net = 0;
    uint32_t designator = 0;  // equal numbers for equal texts
    // The net numbered densely from 0 (equal numbers for equal nets), so
    // that callers can tally nets in plain arrays.
    uint32_t netNumber = 0;
  };
  // A component's pins in designator order.
  using Pins = std::span<const Pin>;

  // (own pin, other pin) designator numbers.
  using Pair = std::pair<uint32_t, uint32_t>;

  // Stays valid as long as this object.
  const Pins& pinsOf(const DBX::Component& component);
  // Room for the pin tables of this many components.
  void reserve(std::size_t components) { pins_.reserve(components); }
  // The nets numbered so far: every netNumber is below this.
  std::size_t netCount() const { return netNumbers_.size(); }
  // Whether the two have the same pin designators in the same order.
  static bool sameDesignators(const Pins& a, const Pins& b);

  // Appends the pin pairs of own with other.
  static void collect(const Pins& own, const Pins& other, std::vector<Pair>& out);
  // Whether the pin pairs of own with other are exactly pairs.
  static bool matches(std::span<const Pair> pairs, const Pins& own, const Pins& other);

  // Whether the pin pairs of own with other equal those of own2 with other2,
  // designator for designator and in the same order.
  static bool same(const Pins& own, const Pins& other, const Pins& own2, const Pins& other2);
  // A number for the pin pairs of own with other: equal numbers exactly for
  // equal lists; 0 when the two share no net.
  uint32_t id(const Pins& own, const Pins& other);

 private:
  uint32_t designatorNumber(const std::string& designator);

  std::unordered_map<const DBX::Component*, Pins> pins_;
  // Room for a table of count pins that never moves: tables share blocks,
  // one allocation for many.
  Pin* tableFor(std::size_t count);
  std::vector<std::unique_ptr<Pin[]>> blocks_;
  std::size_t blockUsed_ = 0;
  std::vector<std::unique_ptr<Pin[]>> largeTables_;
  // Parts of one board mostly share a few designators: a short list is
  // searched before the map.
  std::vector<std::pair<std::string, uint32_t>> commonDesignators_;
  std::unordered_map<std::string, uint32_t> designatorNumbers_;
  std::unordered_map<int32_t, uint32_t> netNumbers_;
  std::map<std::vector<Pair>, uint32_t> listIds_;
  std::vector<Pair> scratch_;
};
