#include "groups/droptargets.h"

#include <algorithm>
#include <optional>

#include "dbx/design.h"

#include "groups/grouptable.h"
#include "groups/rowmatcher.h"

namespace {

// One group row and what it takes to check it; the marks of the row alone
// are worked out only when a check needs them.
struct RowState {
  NetGraph::CompVector slots;
  std::vector<std::size_t> templateSlots;   // filled slots the template has
  std::vector<const PinLinks::Pins*> pins;  // of the filled slots
  std::vector<char> otherKind;              // of another kind than the template's
  std::optional<std::vector<char>> linkMarks;
};

// The table's components lie scattered in memory: asking for the next ones
// early overlaps the waits for them.
void prefetch(const DBX::Component* component) {
  if (component == nullptr) return;
  __builtin_prefetch(&component->pins);
  __builtin_prefetch(component->record.compType);
  __builtin_prefetch(component->record.patternName);
  __builtin_prefetch(component->record.libraryName);
}

const std::vector<char>& linkMarksOf(RowState& row, RowMatcher& matcher) {
  if (!row.linkMarks) {
    row.linkMarks.emplace();
    matcher.markRow(row.slots, *row.linkMarks, false);
  }
  return *row.linkMarks;
}

void appendMarked(const std::vector<char>& marks, int row, DropTargets& out) {
  for (std::size_t i = 0; i < marks.size(); ++i) {
    if (marks[i]) out.conflictCells.push_back(MakeCellKey(row, static_cast<int>(i) + 1));
  }
}

int32_t conflictCount(const DropTargets& out) {
  return static_cast<int32_t>(out.conflictCells.size());
}

}  // namespace

DropTargets FindDropTargets(const GroupTable& table, const NetGraph& templateGraph,
                            DBX::Component* component) {
  DropTargets out;
  if (component == nullptr) return out;
  RowMatcher matcher(templateGraph);
  matcher.links().reserve(static_cast<std::size_t>(table.rowCount() * table.colCount()));
  const PinLinks::Pins& dragged = matcher.pinsOf(*component);
  const int lastItemColumn = table.colCount() - 2;

  std::vector<RowState> rows(static_cast<std::size_t>(table.rowCount()));
  for (int r = 2; r < table.rowCount(); ++r) {
    RowState& row = rows[static_cast<std::size_t>(r)];
    for (int c = 1; c <= lastItemColumn; ++c)
      row.slots.push_back({table.cell(r, c).component, false});
    row.pins.assign(row.slots.size(), nullptr);
    row.otherKind.assign(row.slots.size(), 0);
    constexpr std::size_t kAhead = 4;
    for (std::size_t i = 0; i < std::min(kAhead, row.slots.size()); ++i) {
      prefetch(row.slots[i].component);
    }
    for (std::size_t i = 0; i < row.slots.size(); ++i) {
      if (i + kAhead < row.slots.size()) prefetch(row.slots[i + kAhead].component);
      DBX::Component* component = row.slots[i].component;
      if (component == nullptr) continue;
      row.pins[i] = &matcher.pinsOf(*component);
      DBX::Component* templateComponent = matcher.templateAt(i);
      if (templateComponent == nullptr) continue;
      row.templateSlots.push_back(i);
      row.otherKind[i] = !matcher.sameKey(*component, *templateComponent);
    }
  }

  // Group rows: the candidate form of the row check at every empty item.
  for (int r = 2; r < table.rowCount(); ++r) {
    RowState& row = rows[static_cast<std::size_t>(r)];
    for (std::size_t i = 0; i < row.slots.size(); ++i) {
      if (row.slots[i].component != nullptr) continue;
      const CellKey key = MakeCellKey(r, static_cast<int>(i) + 1);
      DBX::Component* templateComponent = matcher.templateAt(i);
      if (templateComponent == nullptr) {
        out.targets[key] = DropInfo{};
        continue;
      }
      if (!matcher.sameKey(*templateComponent, *component)) continue;
      bool candidateAgrees = true;
      for (std::size_t j : row.templateSlots) {
        if (!matcher.pairAgrees(i, j, dragged, *row.pins[j])) {
          candidateAgrees = false;
          break;
        }
      }
      if (!candidateAgrees) continue;
      DropInfo info;
      const int32_t begin = conflictCount(out);
      appendMarked(linkMarksOf(row, matcher), r, out);
      if (conflictCount(out) > begin) info = {begin, conflictCount(out)};
      out.targets[key] = info;
    }
  }

  // Template row: the component as a new template item, every other group
  // row checked whole against the template so extended.
  for (int c = 1; c < table.colCount(); ++c) {
    if (!table.cell(1, c).empty()) continue;
    const auto item = static_cast<std::size_t>(c - 1);
    const int32_t begin = conflictCount(out);
    for (int r = 2; r < table.rowCount() - 1; ++r) {
      RowState& row = rows[static_cast<std::size_t>(r)];
      // The whole-row check: the row's links and kinds.
      std::vector<char> marks = linkMarksOf(row, matcher);
      for (std::size_t j : row.templateSlots) marks[j] = marks[j] || row.otherKind[j];
      DBX::Component* atItem = item < row.slots.size() ? row.slots[item].component : nullptr;
      if (atItem != nullptr) {
        if (!matcher.sameKey(*atItem, *component)) marks[item] = true;
        for (std::size_t j : row.templateSlots) {
          if (!PinLinks::same(dragged, matcher.templatePins(j), *row.pins[item], *row.pins[j])) {
            marks[item] = marks[j] = true;
          }
        }
      }
      appendMarked(marks, r, out);
    }
    out.targets[MakeCellKey(1, c)] = DropInfo{begin, conflictCount(out)};
  }
  return out;
}
