// How a person highlights items in the host's views: a click highlights one
// item in red alone, a Ctrl-click toggles one item and keeps the others, and
// a command clears every highlight. Changes are planned on a read-only design
// and applied afterwards, so that a click that changes nothing leaves the
// design untouched.
#pragma once

#include <cstdint>
#include <vector>

#include "dbx/dbx32.h"
#include "model/design.h"

namespace dbxhost {

// The highlight colour a click gives.
inline constexpr int32_t kClickHighlight = DBX::DBX_COLOR_RED;

struct HighlightChange {
  enum class Kind { kPcbComponent, kSymbol, kNet };
  Kind kind = Kind::kPcbComponent;
  int32_t id = 0;      // PcbComponent::id, Symbol::id or Net::id
  int32_t colour = 0;  // 0 removes the highlight
  friend bool operator==(const HighlightChange&, const HighlightChange&) = default;
};

// A click on the PCB component (tool pcb) or symbol (tool sch) with that id.
// Plain: the item ends red and every other item of the tool loses its
// highlight. Additive (Ctrl): a highlighted item loses its highlight, another
// one turns red; the rest keep theirs. Nothing when no such item exists.
std::vector<HighlightChange> planClick(const Design& design, DBX::Tool tool, int32_t id,
                                       bool additive);
// Removes every highlight: PCB components, symbols and nets.
std::vector<HighlightChange> planClearAll(const Design& design);
// Applies planned changes; items that have gone since are skipped. Returns
// the number of items changed.
std::size_t applyHighlightChanges(Design& design, const std::vector<HighlightChange>& changes);

}  // namespace dbxhost
