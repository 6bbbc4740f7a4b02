#include "engine/edithistory.h"

namespace dbxhost {

namespace {

using PartState = EditHistory::PartState;

std::size_t slot(DBX::Tool tool) { return tool == DBX::kToolPcb ? 0 : 1; }

PartState stateOf(const PcbComponent& c) { return {c.placement, c.highlight}; }
PartState stateOf(const Symbol& s) { return {{}, s.highlight}; }

void assign(PcbComponent& c, const PartState& state) {
  c.placement = state.placement;
  c.highlight = state.highlight;
}
void assign(Symbol& s, const PartState& state) { s.highlight = state.highlight; }

// Calls f on every part a client of the tool can change: PCB components for
// pcb, symbols for sch. One pass, however many parts a batch holds.
template <class D, class F>
void forEachPart(DBX::Tool tool, D& design, F&& f) {
  if (tool == DBX::kToolPcb) {
    for (auto& c : design.pcb.components) f(c);
  } else {
    for (auto& s : design.sch.symbols) f(s);
  }
}

}  // namespace

void EditHistory::noteBefore(const PcbComponent& component) {
  found_[slot(DBX::kToolPcb)].try_emplace(component.id, stateOf(component));
}

void EditHistory::noteBefore(const Symbol& symbol) {
  found_[slot(DBX::kToolSch)].try_emplace(symbol.id, stateOf(symbol));
}

void EditHistory::endConversation(DBX::Tool tool, const Design& design) {
  std::map<int32_t, PartState>& found = found_[slot(tool)];
  Batch batch{tool, {}};
  if (!found.empty()) {
    forEachPart(tool, design, [&](const auto& part) {
      const auto it = found.find(part.id);
      if (it != found.end() && stateOf(part) != it->second) {
        batch.changes.emplace(part.id, Change{it->second, stateOf(part)});
      }
    });
  }
  found.clear();
  if (batch.changes.empty()) return;
  undoable_.push_back(std::move(batch));
  redoable_.clear();
}

void EditHistory::clear() {
  for (auto& found : found_) found.clear();
  undoable_.clear();
  redoable_.clear();
}

std::size_t EditHistory::replay(std::vector<Batch>& from, std::vector<Batch>& to,
                                PartState Change::*state, Design& design) {
  if (from.empty()) return 0;
  const Batch& batch = from.back();
  std::size_t restored = 0;
  // Parts removed since are not found, and skipped.
  forEachPart(batch.tool, design, [&](auto& part) {
    const auto it = batch.changes.find(part.id);
    if (it == batch.changes.end()) return;
    assign(part, it->second.*state);
    ++restored;
  });
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
