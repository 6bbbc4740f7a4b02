#include "groups/groupselector.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <unordered_set>

#include "dbx/design.h"
#include "diag/log.h"
#include "diag/messages.h"
#include "diag/ui.h"
#include "diag/waitcurs.h"
#include "groups/componentkey.h"
#include "groups/droprefusal.h"
#include "groups/twinitems.h"

using diag::MessageKind;
using diag::ReportMessage;

namespace {

std::string captionText(char letter, int number) { return letter + std::to_string(number); }

std::string refDesOf(const DBX::Component& component) { return ComponentField(component, 0); }

// Where no candidate comes within the limit, the closest one at any distance
// names the first differing pin, found within a shorter budget.
constexpr std::size_t kAnyNumberOfDifferences = 1000000;
constexpr std::size_t kDeepestMatchBudget = 200000;

}  // namespace

TGroupSelector::TGroupSelector() = default;

// ---- Table ----

void TGroupSelector::InitGrid() {
  table_.cell(1, 0).text = captionText('G', 1);
  table_.cell(0, 1).text = captionText('C', 1);
}

void TGroupSelector::checkDataCell(int row, int column, const char* operation) const {
  if (!table_.isDataCell(row, column)) {
    throw std::out_of_range(std::string(operation) + ": no data cell at row " +
                            std::to_string(row) + ", column " + std::to_string(column));
  }
}

void TGroupSelector::SetCell(int row, int column, DBX::Component* component) {
  checkDataCell(row, column, "SetCell");
  ClearCell(row, column);
  if (component == nullptr) return;
  const std::string text = refDesOf(*component);
  if (compList_.eraseText(text)) CompListClickCheck();
  GroupCell& cell = table_.cell(row, column);
  cell.text = text;
  cell.component = component;
  if (row == 1) templateGraph_.AddItem(static_cast<uint32_t>(column - 1), component);
}

void TGroupSelector::ClearCell(int row, int column) {
  checkDataCell(row, column, "ClearCell");
  GroupCell& cell = table_.cell(row, column);
  if (cell.empty()) return;
  if (!compList_.containsText(cell.text)) compList_.append(cell.text, cell.component);
  differences_.forget(cell.component);
  emptyCell(row, column);
  if (row == 1) templateGraph_.RemoveItem(static_cast<uint32_t>(column - 1));
}

void TGroupSelector::emptyCell(int row, int column) { table_.cell(row, column) = GroupCell{}; }

void TGroupSelector::moveCell(int fromRow, int fromColumn, int toRow, int toColumn) {
  table_.cell(toRow, toColumn) = std::move(table_.cell(fromRow, fromColumn));
  emptyCell(fromRow, fromColumn);
}

void TGroupSelector::CompactTable() {
  diag::WaitCurs wait;
  std::vector<char> filledColumns(static_cast<std::size_t>(table_.colCount()), 0);
  std::vector<char> filledRows(static_cast<std::size_t>(table_.rowCount()), 0);
  int filledCells = 0;
  for (int row = 1; row < table_.rowCount(); ++row) {
    for (int column = 1; column < table_.colCount(); ++column) {
      if (table_.cell(row, column).empty()) continue;
      filledColumns[static_cast<std::size_t>(column)] = 1;
      filledRows[static_cast<std::size_t>(row)] = 1;
      ++filledCells;
    }
  }
  if (filledCells == 0) {
    ClearAll(false);
    return;
  }
  if (filledColumns.back()) table_.setColCount(table_.colCount() + 1);
  if (filledRows.back()) table_.setRowCount(table_.rowCount() + 1);
  filledColumns.resize(static_cast<std::size_t>(table_.colCount()), 0);
  filledRows.resize(static_cast<std::size_t>(table_.rowCount()), 0);

  // Row 1 always stays, even empty; empty further rows go.
  int writeRow = 2;
  for (int row = 2; row <= table_.rowCount() - 2; ++row) {
    if (!filledRows[static_cast<std::size_t>(row)]) continue;
    if (row != writeRow) {
      for (int column = 1; column < table_.colCount(); ++column) {
        moveCell(row, column, writeRow, column);
      }
    }
    ++writeRow;
  }
  table_.setRowCount(writeRow + 1);
  for (int column = 1; column < table_.colCount(); ++column) emptyCell(writeRow, column);

  // Empty item columns go; the template's item indexes follow the columns.
  int writeColumn = 1;
  for (int column = 1; column <= table_.colCount() - 2; ++column) {
    if (filledColumns[static_cast<std::size_t>(column)]) {
      if (column != writeColumn) {
        for (int row = 1; row < table_.rowCount(); ++row) moveCell(row, column, row, writeColumn);
      }
      ++writeColumn;
    } else {
      templateGraph_.RemoveItemAndShift(static_cast<uint32_t>(writeColumn - 1));
    }
  }
  table_.setColCount(writeColumn + 1);
  for (int row = 1; row < table_.rowCount(); ++row) emptyCell(row, writeColumn);

  for (int row = 1; row < table_.rowCount(); ++row)
    table_.cell(row, 0).text = captionText('G', row);
  for (int column = 1; column < table_.colCount(); ++column) {
    table_.cell(0, column).text = captionText('C', column);
  }
  currentRow_ = std::min(currentRow_, table_.rowCount() - 1);
  currentColumn_ = std::min(currentColumn_, table_.colCount() - 1);
  view_->repaint();

  const int groupCells = (table_.colCount() - 2) * (table_.rowCount() - 2);
  reportComplete(filledCells >= 2 && filledCells >= groupCells);
}

void TGroupSelector::ClearAll(bool clearLists) {
  if (!clearLists) {
    // Whatever the table still holds goes back to the list, not astray.
    for (int row = 1; row < table_.rowCount(); ++row) {
      for (int column = 1; column < table_.colCount(); ++column) ClearCell(row, column);
    }
  }
  table_.setColCount(2);
  table_.setRowCount(2);
  emptyCell(1, 1);
  currentRow_ = currentColumn_ = 1;
  templateGraph_.Clear();
  differences_.clear();
  clearDragState();
  if (clearLists) {
    compList_.clear();
    netList_.clear();
    // The design is being dropped or read again: its pin tables go with it.
    pinTables_ = PinLinks();
    fillBySheetEnabled_ = addHighlightedEnabled_ = addSelectedEnabled_ = false;
  }
  view_->repaint();
  reportComplete(false);
}

void TGroupSelector::LoadDesign(DBX::Design& design) {
  diag::WaitCurs wait;
  ClearAll(true);
  design_ = &design;
  const DBX::Design::DPack& pack = design.pack();
  for (const auto& [refDes, component] : pack.components().left) {
    compList_.append(refDes.str(), component);
  }
  for (const auto& [name, id] : pack.nets().left) netList_.push_back({name, id});
  fillBySheetEnabled_ = design.tool() == DBX::kToolSch;
  addHighlightedEnabled_ = true;
  addSelectedEnabled_ = false;
  view_->repaint();
}

void TGroupSelector::resizeColumns(int count) {
  for (int row = 1; row < table_.rowCount(); ++row) {
    for (int column = std::max(count, 1); column < table_.colCount(); ++column) {
      ClearCell(row, column);
    }
  }
  table_.setColCount(count);
}

void TGroupSelector::resizeRows(int count) {
  for (int row = std::max(count, 1); row < table_.rowCount(); ++row) {
    for (int column = 1; column < table_.colCount(); ++column) ClearCell(row, column);
  }
  table_.setRowCount(count);
}

void TGroupSelector::reportComplete(bool complete) {
  if (OnComplete) OnComplete(complete);
}

bool TGroupSelector::tableHasComponents() const {
  for (int row = 1; row < table_.rowCount(); ++row) {
    for (int column = 1; column < table_.colCount(); ++column) {
      if (!table_.cell(row, column).empty()) return true;
    }
  }
  return false;
}

void TGroupSelector::setCurrentCell(int row, int column) {
  checkDataCell(row, column, "setCurrentCell");
  currentRow_ = row;
  currentColumn_ = column;
}

// ---- Drag and drop ----

void TGroupSelector::clearDragState() {
  dropTargets_ = {};
  shownConflicts_.clear();
  shownConflictStart_ = -1;
  shownConflictEnd_ = -1;
  dragging_ = false;
  dragCol_ = dragRow_ = -1;
  dragged_ = nullptr;
  dragRefusal_.clear();
}

void TGroupSelector::ComputeDropTargets(DBX::Component* component) {
  diag::WaitCurs wait;
  clearDragState();
  view_->repaint();
  dropTargets_ = FindDropTargets(table_, templateGraph_, component, &pinTables_);
  dragged_ = component;
}

void TGroupSelector::CompListStartDrag() {
  DBX::Component* component = compList_.selectedComponent();
  if (component == nullptr) return;
  ComputeDropTargets(component);
  dragging_ = true;
  view_->repaint();
}

void TGroupSelector::GrItemsStartDrag(int row, int column) {
  if (!table_.isDataCell(row, column) || table_.cell(row, column).empty()) return;
  DBX::Component* component = table_.cell(row, column).component;
  if (row == 1) {
    // The search sees the template without the dragged component.
    const NetGraph kept = templateGraph_;
    templateGraph_.RemoveItem(static_cast<uint32_t>(column - 1));
    try {
      ComputeDropTargets(component);
    } catch (...) {
      templateGraph_ = kept;
      throw;
    }
    templateGraph_ = kept;
  } else {
    ComputeDropTargets(component);
  }
  setCurrentCell(row, column);
  dragCol_ = column;
  dragRow_ = row;
  dragging_ = true;
  view_->repaint();
}

bool TGroupSelector::GrItemsDragOver(int row, int column) {
  const auto target = table_.isDataCell(row, column)
                          ? dropTargets_.targets.find(MakeCellKey(row, column))
                          : dropTargets_.targets.end();
  if (target != dropTargets_.targets.end()) {
    dragRefusal_.clear();
    const DropInfo& info = target->second;
    // Empty ranges of two targets may start at the same index, so the whole
    // range tells whether the shown conflicts change.
    if (info.conflictsBegin == shownConflictStart_ && info.conflictsEnd == shownConflictEnd_) {
      return true;
    }
    shownConflictStart_ = info.conflictsBegin;
    shownConflictEnd_ = info.conflictsEnd;
    shownConflicts_.clear();
    for (int32_t i = info.conflictsBegin; i >= 0 && i < info.conflictsEnd; ++i) {
      shownConflicts_.insert(dropTargets_.conflictCells[static_cast<std::size_t>(i)]);
    }
    view_->repaint();
    return true;
  }
  if (dragged_ != nullptr) {
    dragRefusal_ = DropRefusal(table_, templateGraph_, *dragged_, row, column);
  }
  if (shownConflictStart_ != -1) {
    shownConflicts_.clear();
    shownConflictStart_ = shownConflictEnd_ = -1;
    view_->repaint();
  }
  return false;
}

void TGroupSelector::GrItemsDragDrop(int row, int column, DragSource source) {
  // The widget only drops where the drag-over accepted.
  if (!table_.isDataCell(row, column)) return;
  const auto target = dropTargets_.targets.find(MakeCellKey(row, column));
  if (target == dropTargets_.targets.end()) return;
  // The target's own conflicts, in ascending cell order.
  std::set<CellKey> conflicts;
  for (int32_t i = target->second.conflictsBegin; i >= 0 && i < target->second.conflictsEnd; ++i) {
    conflicts.insert(dropTargets_.conflictCells[static_cast<std::size_t>(i)]);
  }

  DBX::Component* component = nullptr;
  if (source == DragSource::CompList) {
    component = compList_.selectedComponent();
  } else if (table_.isDataCell(dragRow_, dragCol_)) {
    component = table_.cell(dragRow_, dragCol_).component;
    ClearCell(dragRow_, dragCol_);
  }
  if (component != nullptr) {
    SetCell(row, column, component);
    for (CellKey key : conflicts) ClearCell(CellKeyRow(key), CellKeyColumn(key));
  }
  clearDragState();
  CompactTable();
}

void TGroupSelector::CompListDragDrop(DragSource source) {
  if (source != DragSource::GrItems || !table_.isDataCell(dragRow_, dragCol_)) return;
  ClearCell(dragRow_, dragCol_);
  CompactTable();
  clearDragState();
  view_->repaint();
}

void TGroupSelector::EndDrag() {
  clearDragState();
  view_->repaint();
}

void TGroupSelector::DeletePressed() {
  if (table_.isDataCell(currentRow_, currentColumn_)) ClearCell(currentRow_, currentColumn_);
  CompactTable();
}

// ---- Groups ----

VariantSearch::Result TGroupSelector::GenerateVariants(
    const std::vector<DBX::Component*>& newComponents) const {
  return VariantSearch(templateGraph_, static_cast<std::size_t>(itemCount()), newComponents).run();
}

void TGroupSelector::AddGroup(const std::vector<DBX::Component*>& newComponents) {
  if (newComponents.empty()) return;
  std::unordered_set<const DBX::Component*> seen;
  for (const DBX::Component* component : newComponents) {
    if (component == nullptr || !compList_.contains(component) || !seen.insert(component).second) {
      throw std::invalid_argument("AddGroup: every new component must be listed as unplaced, once");
    }
  }
  if (templateGraph_.empty()) {
    SetTemplateRow(newComponents, -1, false);
    return;
  }
  const int expected = itemCount();
  const auto found = static_cast<int>(newComponents.size());
  if (found != expected) {
    ReportMessage(MessageKind::Error, "Can't add items - expected %d items, but found %d", expected,
                  found);
    return;
  }
  diag::TD_Message("Start variant generation");
  VariantSearch::Result result = GenerateVariants(newComponents);
  if (result.tooMany) {
    ReportMessage(MessageKind::Error,
                  "Can't add items - the components match the template group in more than %zu "
                  "ways.\nPlease build this group by drag and drop.",
                  VariantSearch::kVariantLimit);
    return;
  }
  if (result.candidates.empty()) {
    AddClosestGroup(newComponents, result.deepestIndex);
    return;
  }
  if (result.collapsed) {
    // The collapsed search leaves the order of twins free.
    std::vector<DBX::Component*> rows = result.candidates.rows();
    KeepTwinReferenceOrder(templateItems(), rows);
    result.candidates = VariantList::fromRows(result.candidates.itemCount(), rows);
    const std::string line = std::to_string(result.interchangeableItems) +
                             " interchangeable parts were assigned in reference order; exchange "
                             "them by drag and drop if needed";
    diag::TD_Message(line.c_str());
  }
  const std::size_t n = newComponents.size();
  const std::size_t variants = result.candidates.variantCount();
  std::size_t chosen = 0;
  if (variants > 1) {
    if (!chooseVariant) throw std::logic_error("AddGroup: no variant chooser attached");
    const int choice = chooseVariant(*this, result.candidates);
    if (choice == -1) return;
    if (choice < 0 || static_cast<std::size_t>(choice) >= variants) {
      throw std::out_of_range("AddGroup: variant " + std::to_string(choice) + " of " +
                              std::to_string(variants) + " chosen");
    }
    chosen = static_cast<std::size_t>(choice);
  }
  SetGroupRow(result.candidates.row(chosen), 0, n, false, -1);
}

std::vector<DBX::Component*> TGroupSelector::templateItems() const {
  std::vector<DBX::Component*> items;
  for (int item = 0; item < itemCount(); ++item) {
    items.push_back(templateGraph_.componentAt(static_cast<uint32_t>(item)));
  }
  return items;
}

void TGroupSelector::AddClosestGroup(const std::vector<DBX::Component*>& newComponents,
                                     std::size_t deepestIndex) {
  const auto n = static_cast<std::size_t>(itemCount());
  const ClosestMatch::Result closest = ClosestMatch(templateGraph_, n, newComponents).run();
  // Without a chooser (no dialog to show) the message says where the
  // closest candidate differs.
  if (closest.candidates.empty() || !chooseClosest) {
    std::string text =
        "Sorry, components doesn't match original components and nets\nProblematic component: " +
        refDesOf(*newComponents[deepestIndex]);
    ClosestMatch::Result best = closest;
    if (best.candidates.empty()) {
      // However far apart, the closest assignment names where it starts to differ.
      ClosestMatch deepest(templateGraph_, n, newComponents, kAnyNumberOfDifferences, 1);
      deepest.setPlacementBudget(kDeepestMatchBudget);
      best = deepest.run();
    }
    if (!best.candidates.empty() && !best.candidates[0].differences.empty()) {
      text += "\nFirst differing pin: " + best.candidates[0].differences[0].text();
    }
    // No pin can be compared when parts of one kind have no counterpart.
    const std::vector<const DBX::Component*> strangers =
        best.candidates.empty() ? PartsOfMissingKinds(templateItems(), newComponents)
                                : std::vector<const DBX::Component*>{};
    for (std::size_t i = 0; i < strangers.size(); ++i) {
      text += (i == 0 ? "\nParts without a template part of their kind: " : ", ") +
              refDesOf(*strangers[i]);
    }
    ReportMessage(MessageKind::Error, "%s", text.c_str());
    return;
  }
  const int choice = chooseClosest(*this, closest);
  if (choice == -1) return;
  if (choice < 0 || static_cast<std::size_t>(choice) >= closest.candidates.size()) {
    throw std::out_of_range("AddGroup: closest match " + std::to_string(choice) + " of " +
                            std::to_string(closest.candidates.size()) + " chosen");
  }
  const ClosestMatch::Candidate& chosen = closest.candidates[static_cast<std::size_t>(choice)];
  const int row = table_.rowCount() - 1;
  SetGroupRow(chosen.assignment, 0, n, false, -1);
  differences_.mark(chosen);
  const std::string line = "G" + std::to_string(row) + " added with " +
                           std::to_string(chosen.differences.size()) +
                           " pins wired differently from the template:";
  diag::TD_Message(line.c_str());
  for (const ClosestMatch::Difference& difference : chosen.differences) {
    diag::TD_Message(difference.text().c_str());
  }
}

namespace {

void requireComponents(const std::vector<DBX::Component*>& components, std::size_t first,
                       std::size_t last, const char* operation) {
  if (first > last || last > components.size()) {
    throw std::out_of_range(std::string(operation) + ": entries " + std::to_string(first) + " to " +
                            std::to_string(last) + " of " + std::to_string(components.size()));
  }
  for (std::size_t i = first; i < last; ++i) {
    if (components[i] == nullptr) {
      throw std::invalid_argument(std::string(operation) + ": no component at entry " +
                                  std::to_string(i));
    }
  }
}

}  // namespace

void TGroupSelector::SetTemplateRow(const std::vector<DBX::Component*>& components, int count,
                                    bool noCompaction) {
  if (count == -1) count = static_cast<int>(components.size());
  if (count < 0) throw std::out_of_range("SetTemplateRow: negative count");
  requireComponents(components, 0, static_cast<std::size_t>(count), "SetTemplateRow");
  resizeColumns(count + 2);
  for (int i = 0; i < count; ++i) SetCell(1, i + 1, components[static_cast<std::size_t>(i)]);
  if (!noCompaction) CompactTable();
  for (int column = 1; column <= count; ++column) {
    view_->fitColumn(column, table_.cell(1, column).text);
  }
}

void TGroupSelector::SetGroupRow(const std::vector<DBX::Component*>& components, std::size_t first,
                                 std::size_t last, bool noCompaction, int row) {
  if (row == -1) row = table_.rowCount() - 1;
  requireComponents(components, first, last, "SetGroupRow");
  if (row < 1 || row >= table_.rowCount() ||
      last - first > static_cast<std::size_t>(table_.colCount() - 1)) {
    throw std::out_of_range("SetGroupRow: " + std::to_string(last - first) +
                            " components do not fit row " + std::to_string(row));
  }
  for (std::size_t i = 0; i < last - first; ++i) {
    SetCell(row, static_cast<int>(i) + 1, components[first + i]);
  }
  if (!noCompaction) CompactTable();
  for (std::size_t i = 0; i < last - first; ++i) {
    view_->widenColumn(static_cast<int>(i) + 1, refDesOf(*components[first + i]));
  }
}

void TGroupSelector::GetPlacementList(std::vector<std::string>& names, int& perGroup) const {
  for (int row = 1; row < table_.rowCount() - 1; ++row) {
    std::set<std::string> rowNames;
    for (int column = 1; column < table_.colCount() - 1; ++column) {
      const std::string& text = table_.cell(row, column).text;
      std::string name = text.substr(0, text.find(':'));
      if (rowNames.insert(name).second) names.push_back(std::move(name));
    }
    perGroup = static_cast<int>(rowNames.size());
  }
}

// ---- Buttons ----

void TGroupSelector::GetHighlightedComponents(std::vector<DBX::Component*>& out) {
  if (design_ == nullptr) return;
  { DBX::Lock verify(*design_, true); }
  const DBX::Design::DPack& pack = design_->pack();
  std::unordered_set<const DBX::Component*> taken;
  auto take = [&](DBX::Component* component) {
    // Two names may denote one component (R10 and R010); it joins once.
    if (compList_.contains(component) && taken.insert(component).second) {
      out.push_back(component);
    }
  };
  std::vector<std::string> names;
  design_->highlightedRefDes(names);
  if (!names.empty()) {
    for (const std::string& name : names) {
      const auto found = pack.components().left.find(RefDesString(name));
      if (found != pack.components().left.end()) take(found->second);
    }
    return;
  }
  for (const auto& [refDes, component] : pack.components().left) {
    if (component->record.isHighlighted != 0) take(component);
  }
}

void TGroupSelector::AddHighlightedButtonClick() {
  diag::WaitCurs wait;
  std::vector<DBX::Component*> components;
  GetHighlightedComponents(components);
  if (components.empty()) {
    ReportMessage(MessageKind::Error, "No highlited component found!");
    return;
  }
  AddGroup(components);
}

void TGroupSelector::AddSelectedButtonClick() {
  diag::WaitCurs wait;
  AddGroup(compList_.tickedComponents());
  addSelectedEnabled_ = false;
}

void TGroupSelector::CompListClickCheck() {
  const int ticked = compList_.tickedCount();
  addSelectedEnabled_ = ticked >= 1 && (templateGraph_.empty() || ticked == itemCount());
}

void TGroupSelector::SetTicked(int index, bool ticked) {
  compList_.setTicked(index, ticked);
  CompListClickCheck();
}

void TGroupSelector::FillBySheetButtonClick() {
  if (design_ == nullptr || !fillBySheetEnabled_) return;
  // Any group, not only a template, would otherwise keep components that the
  // sheets put into the table a second time.
  if (tableHasComponents()) {
    if (!diag::AskConfirm("All Components Groups will be removed! Continue?")) return;
    LoadDesign(*design_);
  }
  SelectSheetVars vars(*design_);
  vars.CollectSheetComponents();
  vars.BuildSheetSignatures();
  vars.FindSheetSets();

  std::vector<DBX::Component*> components;
  std::size_t perSheet = 0;
  if (vars.sheetSets.empty()) {
    ReportMessage(MessageKind::Error, "No Macro Sheets found!");
    return;
  }
  if (vars.sheetSets.size() == 1 && !diag::ui().shiftPressed()) {
    perSheet = vars.GetSetComponents(0, 0, components);
  } else {
    if (!chooseSheetSet) throw std::logic_error("Fill By Sheets: no sheet set chooser attached");
    const std::optional<SheetSetChoice> choice = chooseSheetSet(vars);
    if (!choice) return;
    perSheet = vars.GetSetComponents(choice->set, choice->offset, components);
  }

  diag::WaitCurs wait;
  const std::size_t groups = components.size() / perSheet;
  resizeColumns(static_cast<int>(perSheet) + 2);
  resizeRows(static_cast<int>(groups) + 2);
  SetTemplateRow(components, static_cast<int>(perSheet), true);
  for (std::size_t j = 1; j < groups; ++j) {
    SetGroupRow(components, j * perSheet, (j + 1) * perSheet, true, static_cast<int>(j) + 1);
  }
  CompactTable();
  reportComplete(true);
}
