// Variant generation: every one-to-one assignment of a new group's
// components to the template items that the row check accepts, found depth
// first (component 0 first, each tried in every free item in ascending order)
// so that variants come in lexicographic order of their items. Each
// placement strikes the items that it rules out for the components still to
// come, and a branch that leaves one of them no item is not followed: the
// search does not try orderings of early components that a later one
// refuses.
//
// Interchangeable parts would make the number of variants explode (k equal
// decoupling capacitors give k! variants), so the enumeration stops beyond a
// limit. It then searches again with twins collapsed: template items that
// can be exchanged without changing the template's connectivity form a class,
// and the components going into one class take its items in ascending order
// only, so a class contributes one assignment instead of k!.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "groups/netgraph.h"

class VariantSearch {
 public:
  static constexpr std::size_t kVariantLimit = 100000;

  struct Result {
    // Variants end to end, n entries each, entry i for template item i.
    std::vector<DBX::Component*> candidates;
    // The index of the deepest new component the search tried to place.
    std::size_t deepestIndex = 0;
    // More variants than the limit even with twins collapsed.
    bool tooMany = false;
    // The variants come from the collapsed search.
    bool collapsed = false;
    // Items in twin classes of two or more.
    std::size_t interchangeableItems = 0;
  };

  // itemCount template items (the template may leave some empty) and as many
  // new components. Throws std::invalid_argument when the counts differ or a
  // component is null.
  VariantSearch(const NetGraph& templateGraph, std::size_t itemCount,
                std::vector<DBX::Component*> newComponents, std::size_t limit = kVariantLimit);

  Result run();

 private:
  // Places the component at the depth into every free item that passes the
  // check, components [0, end) in all; false when the number of variants
  // went beyond the limit or, with end < n, when one placement was found.
  bool GenerateVariants(std::size_t depth, std::size_t end);
  // Strikes the items that the component at depth, placed into the slot,
  // rules out for components (depth, end); false when one is left none.
  bool strikeRuledOut(std::size_t depth, std::size_t slot, std::size_t end);
  void restoreStruck(std::size_t trailSize);
  void resetPlacements();
  // Every variant within the limit into the result; false beyond it.
  bool enumerate();
  // Whether components [0, end) can all be placed.
  bool canPlaceFirst(std::size_t end);
  // The deepest component that the search in component order reaches.
  std::size_t deepestReached();
  void findTwinClasses();
  // Whether the product of the twin classes' factorials exceeds the limit.
  bool twinPermutationsExceedLimit() const;

  std::size_t n_;
  std::vector<DBX::Component*> components_;
  std::size_t limit_;
  std::vector<bool> inTemplate_;
  // Slots each component may take by its kind, ascending.
  std::vector<std::vector<std::size_t>> allowedSlots_;
  // Link numbers between template items and between new components.
  std::vector<uint32_t> templateLinks_;
  std::vector<uint32_t> componentLinks_;
  std::vector<int> twinClass_;  // per slot; -1 for none
  std::vector<std::vector<std::size_t>> classSlots_;
  std::vector<std::size_t> classFilled_;

  // Per component and slot: the number of placements that rule the slot
  // out; per component: its slots not ruled out.
  std::vector<uint32_t> struck_;
  std::vector<std::size_t> openSlots_;
  std::vector<std::size_t> trail_;  // component * n + slot, in striking order

  bool collapsing_ = false;
  std::vector<int> rowComponent_;  // per slot; -1 when empty
  Result result_;
};
