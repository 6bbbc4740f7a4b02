#include "engine/edithistory.h"

#include <algorithm>
#include <utility>

namespace dbxhost {

namespace {

using PartState = EditHistory::PartState;

std::size_t slot(DBX::Tool tool) { return tool == DBX::kToolPcb ? 0 : 1; }

PartState stateOf(const PcbComponent& c) { return {c.placement, c.texts, c.highlight}; }
PartState stateOf(const Symbol& s) { return {{}, {}, s.highlight}; }

void assign(PcbComponent& c, const PartState& state) {
  c.placement = state.placement;
  c.texts = state.texts;
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

std::vector<Track>& listOf(Pcb& pcb, const Track&) { return pcb.tracks; }
std::vector<ArcTrack>& listOf(Pcb& pcb, const ArcTrack&) { return pcb.arcs; }
std::vector<Via>& listOf(Pcb& pcb, const Via&) { return pcb.vias; }
std::vector<Zone>& listOf(Pcb& pcb, const Zone&) { return pcb.zones; }

}  // namespace

void EditHistory::noteBefore(const PcbComponent& component) {
  found_[slot(DBX::kToolPcb)].try_emplace(component.id, stateOf(component));
}

void EditHistory::noteBefore(const Symbol& symbol) {
  found_[slot(DBX::kToolSch)].try_emplace(symbol.id, stateOf(symbol));
}

void EditHistory::notePlaced(CopperItem item, std::size_t index) {
  copperMade_.push_back({true, std::move(item), index});
}

void EditHistory::noteDeleted(CopperItem item, std::size_t index) {
  copperMade_.push_back({false, std::move(item), index});
}

void EditHistory::endConversation(DBX::Tool tool, const Design& design) {
  std::map<int32_t, PartState>& found = found_[slot(tool)];
  Batch batch{tool, {}, {}};
  if (tool == DBX::kToolPcb) batch.copper = std::exchange(copperMade_, {});
  if (!found.empty()) {
    forEachPart(tool, design, [&](const auto& part) {
      const auto it = found.find(part.id);
      if (it != found.end() && stateOf(part) != it->second) {
        batch.changes.emplace(part.id, Change{it->second, stateOf(part)});
      }
    });
  }
  found.clear();
  if (batch.changes.empty() && batch.copper.empty()) return;
  undoable_.push_back(std::move(batch));
  redoable_.clear();
}

void EditHistory::clear() {
  for (auto& found : found_) found.clear();
  copperMade_.clear();
  undoable_.clear();
  redoable_.clear();
}

void EditHistory::apply(const CopperEdit& edit, bool forward, Pcb& pcb) {
  std::visit(
      [&](const auto& item) {
        auto& list = listOf(pcb, item);
        if (edit.placed == forward) {
          list.insert(list.begin() + std::ptrdiff_t(std::min(edit.index, list.size())), item);
          return;
        }
        // Replayed in order, the item stands where it was noted; look it up
        // by id should anything else have shifted the list.
        auto it = edit.index < list.size() && list[edit.index].info.id == item.info.id
                      ? list.begin() + std::ptrdiff_t(edit.index)
                      : std::find_if(list.begin(), list.end(), [&](const auto& other) {
                          return other.info.id == item.info.id;
                        });
        if (it != list.end()) list.erase(it);
      },
      edit.item);
}

std::size_t EditHistory::replay(std::vector<Batch>& from, std::vector<Batch>& to, bool undo,
                                Design& design) {
  if (from.empty()) return 0;
  const Batch& batch = from.back();
  PartState Change::*state = undo ? &Change::before : &Change::after;
  std::size_t restored = 0;
  // Parts removed since are not found, and skipped.
  forEachPart(batch.tool, design, [&](auto& part) {
    const auto it = batch.changes.find(part.id);
    if (it == batch.changes.end()) return;
    assign(part, it->second.*state);
    ++restored;
  });
  // Copper edits are taken back last first, made again first first.
  if (undo) {
    for (auto it = batch.copper.rbegin(); it != batch.copper.rend(); ++it)
      apply(*it, false, design.pcb);
  } else {
    for (const CopperEdit& edit : batch.copper) apply(edit, true, design.pcb);
  }
  restored += batch.copper.size();
  to.push_back(std::move(from.back()));
  from.pop_back();
  return restored;
}

std::size_t EditHistory::undo(Design& design) { return replay(undoable_, redoable_, true, design); }

std::size_t EditHistory::redo(Design& design) {
  return replay(redoable_, undoable_, false, design);
}

}  // namespace dbxhost
