// The group selection page without its widgets: the group table with the
// template's connectivity graph, the lists of unplaced components and of
// nets, the drag and drop state, the button states, and the ways of adding
// groups. The page's widget owns one and feeds it the user's events; it reads
// the table, lists and marks back to draw them. Choices that need a dialog
// (a variant, a sheet set) go through injected choosers.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "groups/closestmatch.h"
#include "groups/componentlist.h"
#include "groups/droptargets.h"
#include "groups/groupdifferences.h"
#include "groups/grouptable.h"
#include "groups/netgraph.h"
#include "groups/pinlinks.h"
#include "groups/selectsheetvars.h"
#include "groups/variantsearch.h"

namespace DBX {
class Component;
class Design;
}  // namespace DBX

class TGroupSelector {
 public:
  using NetGraph = ::NetGraph;
  using DropInfo = ::DropInfo;

  enum class DragSource { CompList, GrItems };

  struct NetListEntry {
    std::string name;
    int32_t netId = 0;
  };

  // Picks one of several variants (one entry per template item each): its
  // index, or -1 to add nothing.
  using VariantChooser =
      std::function<int(const TGroupSelector& page, const VariantList& candidates)>;
  // Picks one of the closest correspondences when no variant matches
  // exactly: its index, or -1 to add nothing.
  using ClosestChooser =
      std::function<int(const TGroupSelector& page, const ClosestMatch::Result& closest)>;
  // Picks a sheet set and the offset of the sheet that becomes the template,
  // or nothing to stop.
  using SheetSetChoice = ::SheetSetChoice;
  using SheetSetChooser = std::function<std::optional<SheetSetChoice>(const SelectSheetVars&)>;

  // What the widget does with the model's changes.
  class View {
   public:
    virtual ~View() = default;
    virtual void repaint() {}
    // Column width: the text width of the template cell plus 5 pixels.
    virtual void fitColumn(int /*column*/, const std::string& /*text*/) {}
    // Widen the column (never narrow it) to the text width plus 5 pixels.
    virtual void widenColumn(int /*column*/, const std::string& /*text*/) {}
  };

  TGroupSelector();

  // ---- Table ----
  void InitGrid();
  // Writes the component into the data cell (row, column), returning the
  // cell's previous component to CompList; none only clears the cell.
  void SetCell(int row, int column, DBX::Component* component);
  // Empties the data cell and lists its component at the end of CompList.
  void ClearCell(int row, int column);
  // Drops empty group rows and item columns, keeps one spare row and column,
  // rewrites the captions and reports completeness through OnComplete.
  void CompactTable();
  // Empties the table (and with clearLists the lists and buttons).
  void ClearAll(bool clearLists);
  // Lists every component and net of the design's current tool.
  void LoadDesign(DBX::Design& design);

  // ---- Drag and drop ----
  void ComputeDropTargets(DBX::Component* component);
  void CompListStartDrag();
  // Start of a drag on the cell; nothing is prepared unless it holds a
  // component.
  void GrItemsStartDrag(int row, int column);
  // Whether a drop on the cell is accepted; moves the shown conflicts.
  bool GrItemsDragOver(int row, int column);
  // Why the cell last dragged over refused the drop; empty when it took it
  // or there is nothing to explain.
  const std::string& dragRefusal() const { return dragRefusal_; }
  void GrItemsDragDrop(int row, int column, DragSource source);
  bool CompListDragOver(DragSource source) const { return source == DragSource::GrItems; }
  void CompListDragDrop(DragSource source);
  void EndDrag();
  // The Delete key: clears the current cell and compacts.
  void DeletePressed();

  // ---- Groups ----
  void AddGroup(const std::vector<DBX::Component*>& newComponents);
  // The variants of the new components against the template, as AddGroup
  // would offer them.
  VariantSearch::Result GenerateVariants(const std::vector<DBX::Component*>& newComponents) const;
  // Writes the first count components (-1: all) into row 1.
  void SetTemplateRow(const std::vector<DBX::Component*>& components, int count, bool noCompaction);
  // Writes components [first, last) into the row (-1: the last row).
  void SetGroupRow(const std::vector<DBX::Component*>& components, std::size_t first,
                   std::size_t last, bool noCompaction, int row);
  // The package names of every group, row after row, each row's names
  // distinct in order of first occurrence; perGroup is set to the last row's
  // count. Untouched when there are no groups.
  void GetPlacementList(std::vector<std::string>& names, int& perGroup) const;

  // ---- Buttons ----
  void GetHighlightedComponents(std::vector<DBX::Component*>& out);
  void AddHighlightedButtonClick();
  void AddSelectedButtonClick();
  // A tick of CompList changed (or a line left it).
  void CompListClickCheck();
  void SetTicked(int index, bool ticked);
  void FillBySheetButtonClick();

  // ---- State read by the widget ----
  const GroupTable& GrItems() const { return table_; }
  const ComponentList& CompList() const { return compList_; }
  ComponentList& CompList() { return compList_; }
  const std::vector<NetListEntry>& NetList() const { return netList_; }
  const NetGraph& TemplateGraph() const { return templateGraph_; }
  // The pins by which the groups added from a closest correspondence differ.
  const GroupDifferences& Differences() const { return differences_; }
  DBX::Design* FDesign() const { return design_; }
  const std::map<CellKey, DropInfo>& FDropTargets() const { return dropTargets_.targets; }
  const std::vector<CellKey>& FConflictCells() const { return dropTargets_.conflictCells; }
  const std::set<CellKey>& FShownConflicts() const { return shownConflicts_; }
  int32_t FShownConflictStart() const { return shownConflictStart_; }
  bool FDragging() const { return dragging_; }
  int FDragCol() const { return dragCol_; }
  int FDragRow() const { return dragRow_; }
  int currentRow() const { return currentRow_; }
  int currentColumn() const { return currentColumn_; }
  void setCurrentCell(int row, int column);
  bool fillBySheetEnabled() const { return fillBySheetEnabled_; }
  bool addHighlightedEnabled() const { return addHighlightedEnabled_; }
  bool addSelectedEnabled() const { return addSelectedEnabled_; }
  // The number of items (template columns).
  int itemCount() const { return table_.colCount() - 2; }

  // ---- Attachments ----
  std::function<void(bool complete)> OnComplete;
  VariantChooser chooseVariant;
  ClosestChooser chooseClosest;
  SheetSetChooser chooseSheetSet;
  void setView(View* view) { view_ = view != nullptr ? view : &noView_; }

 private:
  // Changes the column count; components in columns that are cut off go
  // back to CompList.
  void resizeColumns(int count);
  void resizeRows(int count);
  // The source cell is left empty.
  void moveCell(int fromRow, int fromColumn, int toRow, int toColumn);
  void emptyCell(int row, int column);
  void clearDragState();
  void reportComplete(bool complete);
  void checkDataCell(int row, int column, const char* operation) const;
  bool tableHasComponents() const;
  // The template's component per item, null where it has none.
  std::vector<DBX::Component*> templateItems() const;
  // Offers the closest correspondences of a group that matches no variant.
  void AddClosestGroup(const std::vector<DBX::Component*>& newComponents, std::size_t deepestIndex);

  GroupTable table_;
  ComponentList compList_;
  std::vector<NetListEntry> netList_;
  NetGraph templateGraph_;
  GroupDifferences differences_;
  DBX::Design* design_ = nullptr;

  DropTargets dropTargets_;
  // The pin tables of the loaded design's components, kept between drags.
  PinLinks pinTables_;
  std::set<CellKey> shownConflicts_;
  int32_t shownConflictStart_ = -1;
  int32_t shownConflictEnd_ = -1;
  bool dragging_ = false;
  int dragCol_ = -1;
  int dragRow_ = -1;
  DBX::Component* dragged_ = nullptr;
  std::string dragRefusal_;
  int currentRow_ = 1;
  int currentColumn_ = 1;

  bool fillBySheetEnabled_ = false;
  bool addHighlightedEnabled_ = false;
  bool addSelectedEnabled_ = false;

  View noView_;
  View* view_ = &noView_;
};
