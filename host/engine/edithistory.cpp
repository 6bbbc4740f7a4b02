#include "engine/edithistory.h"

#include <algorithm>

namespace dbxhost {

namespace {

std::size_t slot(DBX::Tool tool) { return tool == DBX::kToolPcb ? 0 : 1; }

// The part with this id in a list of PCB components or symbols, or null.
template <class Parts>
auto* findById(Parts& parts, int32_t id) {
  auto it = std::find_if(parts.begin(), parts.end(), [&](const auto& p) { return p.id == id; });
  return it == parts.end() ? nullptr : &*it;
}

}  // namespace

std::optional<EditHistory::PartState> EditHistory::stateOf(DBX::Tool tool, int32_t id,
                                                           const Design& design) {
  if (tool == DBX::kToolPcb) {
    if (const PcbComponent* c = findById(design.pcb.components, id)) {
      return PartState{c->placement, c->highlight};
    }
  } else if (const Symbol* s = findById(design.sch.symbols, id)) {
    return PartState{{}, s->highlight};
  }
  return std::nullopt;
}

void EditHistory::noteBefore(DBX::Tool tool, int32_t id, const Design& design) {
  std::map<int32_t, PartState>& found = open_[slot(tool)];
  if (found.contains(id)) return;
  if (const std::optional<PartState> state = stateOf(tool, id, design)) found.emplace(id, *state);
}

void EditHistory::endConversation(DBX::Tool tool, const Design& design) {
  std::map<int32_t, PartState>& found = open_[slot(tool)];
  Batch batch;
  for (const auto& [id, before] : found) {
    const std::optional<PartState> after = stateOf(tool, id, design);
    if (after && *after != before) batch.push_back({tool, id, before, *after});
  }
  found.clear();
  if (batch.empty()) return;
  undoable_.push_back(std::move(batch));
  redoable_.clear();
}

void EditHistory::clear() {
  for (auto& found : open_) found.clear();
  undoable_.clear();
  redoable_.clear();
}

bool EditHistory::restore(const Change& change, const PartState& state, Design& design) {
  if (change.tool == DBX::kToolPcb) {
    PcbComponent* c = findById(design.pcb.components, change.id);
    if (c == nullptr) return false;
    c->placement = state.placement;
    c->highlight = state.highlight;
    return true;
  }
  Symbol* s = findById(design.sch.symbols, change.id);
  if (s == nullptr) return false;
  s->highlight = state.highlight;
  return true;
}

std::size_t EditHistory::replay(std::vector<Batch>& from, std::vector<Batch>& to,
                                PartState Change::*state, Design& design) {
  if (from.empty()) return 0;
  std::size_t restored = 0;
  for (const Change& change : from.back()) restored += restore(change, change.*state, design);
  to.push_back(std::move(from.back()));
  from.pop_back();
  return restored;
}

std::size_t EditHistory::undo(Design& design) {
  return replay(undoable_, redoable_, &Change::before, design);
}

std::size_t EditHistory::redo(Design& design) {
  return replay(redoable_, undoable_, &Change::after, design);
}

}  // namespace dbxhost
