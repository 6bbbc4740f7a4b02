// The row check: does a group row agree with the template group? A row
// agrees when every filled item holds the same kind of part as the template
// (same ComponentKey) and every two filled items that the template also has
// are linked pin pair for pin pair as the template's components are.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "groups/componentkey.h"
#include "groups/netgraph.h"
#include "groups/pinlinks.h"

// Compares rows with one template graph. Holds caches for one operation: the
// template and the components it has seen must not change meanwhile.
class RowMatcher {
 public:
  explicit RowMatcher(const NetGraph& templateGraph);

  // The template's component at the item; null when the template lacks it.
  DBX::Component* templateAt(std::size_t item) const {
    return item < items_.size() ? items_[item] : nullptr;
  }
  // A number for the component's ComponentKey: equal numbers exactly for
  // equal keys.
  uint32_t keyOf(const DBX::Component& component);
  bool sameKey(const DBX::Component& a, const DBX::Component& b) { return SameComponentKey(a, b); }
  // Whether components with pins a at template item e and b at template
  // item j are linked as the template's components of those items are.
  bool pairAgrees(std::size_t e, std::size_t j, const PinLinks::Pins& a, const PinLinks::Pins& b) {
    return PinLinks::matches(templatePairs(e, j), a, b);
  }
  const PinLinks::Pins& pinsOf(const DBX::Component& component) { return links_.pinsOf(component); }
  // The pins of the template's component at an item the template has.
  const PinLinks::Pins& templatePins(std::size_t item) const { return *itemPins_[item]; }
  PinLinks& links() { return links_; }

  // Sets marks[i] for every filled slot i that the template has and that is
  // part of a disagreeing pair of such slots; withKeys also marks those of
  // another kind than the template's. Returns whether any slot is marked.
  bool markRow(const NetGraph::CompVector& row, std::vector<char>& marks, bool withKeys);

 private:
  // Whether every two of the filled slots are certainly linked as the
  // template's items are, in time linear in their pins; false when that
  // takes the pairwise comparison.
  bool linksAgreeAtOnce(const std::vector<std::size_t>& filled,
                        const std::vector<const PinLinks::Pins*>& pins);

  std::vector<DBX::Component*> items_;
  PinLinks links_;
  std::vector<const PinLinks::Pins*> itemPins_;  // null where the template has no item
  // The template's pin pairs of items e and j, worked out once when first
  // asked: [pairBegin_, pairEnd_) of pairs_ at e * items + j.
  std::span<const PinLinks::Pair> templatePairs(std::size_t e, std::size_t j);
  std::vector<uint32_t> pairBegin_;
  std::vector<uint32_t> pairEnd_;
  std::vector<PinLinks::Pair> pairs_;
  std::unordered_map<const DBX::Component*, uint32_t> keys_;
  std::unordered_map<std::string, uint32_t> keyNumbers_;
  std::string keyScratch_;

  // What one check has seen of a net, on one side (template or row): the
  // first item on it and the net its first pin has on the other side.
  struct NetTally {
    uint32_t check = 0;  // the check that wrote the rest; older is unseen
    uint32_t firstItem = 0;
    uint32_t otherNet = 0;
    bool manyItems = false;
    bool oneOtherNet = true;
  };
  bool tally(std::vector<NetTally>& tallies, uint32_t net, uint32_t item, uint32_t otherNet);
  std::vector<NetTally> templateNets_;
  std::vector<NetTally> rowNets_;
  uint32_t check_ = 0;
};

// The row check. Candidate form (item >= 0 and a candidate): may the
// candidate go into the row's empty slot at the item? The row is extended to
// the item when shorter. Whole-row form (no candidate): do the filled slots
// agree? Returns 1 when they agree; 0 when the candidate itself disagrees;
// -1 when other filled slots would disagree (they are flagged mismatch). The
// row's components are the same afterwards. Throws std::invalid_argument when
// the candidate's slot is filled already.
int CheckRow(const NetGraph& templateGraph, NetGraph::CompVector& row, int item,
             DBX::Component* candidate);
