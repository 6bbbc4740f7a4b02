// The closest correspondence of a new group with the template when no exact
// one exists: the same item-by-item assignment of components of the same
// kind (ComponentKey), scored by the number of pins wired differently from
// the template's. Every pin of a group pairs the template's net with the
// copy's; the nets of the two correspond where most pins agree, and a pin on
// another pair than its nets' partners is one difference. A copy with k pins
// moved to other nets thus differs in those k pins.
//
// The search is branch and bound over the template items, each new
// assignment tightening a lower bound on the differences (see NetTallies);
// branches whose bound exceeds the limit, or the worst of the candidates
// kept once enough are found, are not followed. Components going into
// template items that are wired alike (twins, such as parallel capacitors)
// keep the template's reference order, so twins never multiply the
// candidates and the first one offered reads as the user expects.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "groups/netgraph.h"
#include "groups/nettallies.h"

class ClosestMatch {
 public:
  static constexpr std::size_t kDefaultDifferenceLimit = 4;
  static constexpr std::size_t kMaxCandidates = 10;
  // Assignments tried before the search gives up; no group of a few hundred
  // parts comes near it.
  static constexpr std::size_t kPlacementBudget = 4000000;

  // One pin wired differently from the template's.
  struct Difference {
    std::size_t item = 0;
    DBX::Component* templateComponent = nullptr;
    DBX::Component* component = nullptr;  // the copy's, at the same item
    std::string pin;
    std::string templateNet;  // empty when the template's pin is on no net
    std::string copyNet;      // empty when the copy's pin is on no net
    // "U20 pin 6: GND in the template, VIOB here", named by the template's
    // component.
    std::string text() const;
  };

  struct Candidate {
    std::vector<DBX::Component*> assignment;  // entry i for template item i
    std::vector<Difference> differences;      // by item, then by pin
  };

  struct Result {
    // Fewest differences first; among equals the one nearest the template's
    // reference order.
    std::vector<Candidate> candidates;
    // The budget ran out: there may be closer candidates.
    bool cutShort = false;
  };

  // itemCount template items (the template may leave some empty) and as many
  // new components; at most differenceLimit differences and wanted
  // candidates (at most kMaxCandidates). Throws std::invalid_argument when
  // the counts differ, a component is null or wanted is out of range.
  ClosestMatch(const NetGraph& templateGraph, std::size_t itemCount,
               std::vector<DBX::Component*> newComponents,
               std::size_t differenceLimit = kDefaultDifferenceLimit,
               std::size_t wanted = kMaxCandidates);
  // Fewer assignments than kPlacementBudget, for a quick answer.
  void setPlacementBudget(std::size_t budget) { budget_ = budget; }

  Result run();

 private:
  struct PinRec {
    uint32_t designator = 0;  // rank in text order
    uint32_t net = 0;
  };
  struct Kept {
    std::size_t cost = 0;
    std::vector<uint32_t> order;  // copy ranks of the items in template reference order
    std::vector<int> assignment;
    // (item, designator, template net, copy net) of each difference.
    std::vector<std::array<uint32_t, 4>> differences;
  };

  void numberPins();
  void findTwins();
  void orderItems();
  void mergedPins(std::size_t item, std::size_t component);
  bool keepsTwinOrder(std::size_t item, std::size_t component) const;
  // The most differences a candidate may still have.
  int64_t bound() const;
  void search(std::size_t depth);
  void scoreLeaf();
  Candidate candidateOf(const Kept& kept) const;

  std::size_t n_;
  std::vector<DBX::Component*> templateItems_;  // null where the template has no item
  std::vector<DBX::Component*> components_;
  std::size_t limit_;
  std::size_t wanted_;
  std::size_t budget_ = kPlacementBudget;

  std::vector<std::string> designators_;
  std::vector<int32_t> netIds_;
  std::vector<std::vector<PinRec>> templatePins_;
  std::vector<std::vector<PinRec>> componentPins_;
  std::vector<std::vector<std::size_t>> allowed_;  // per item, in the copy's reference order
  std::vector<uint32_t> templateRank_;
  std::vector<uint32_t> copyRank_;
  std::vector<std::size_t> itemsInReferenceOrder_;
  std::vector<int> twinClass_;
  std::vector<std::vector<std::size_t>> twinSlots_;
  std::vector<std::size_t> order_;

  std::unique_ptr<NetTallies> tallies_;
  std::vector<NetTallies::PinNets> scratch_;
  std::vector<uint32_t> scratchDesignators_;
  std::vector<int> assignment_;
  std::vector<char> used_;
  std::size_t placements_ = 0;
  bool cutShort_ = false;
  std::vector<Kept> kept_;
};
