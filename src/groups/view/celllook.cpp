#include "groups/view/celllook.h"

#include "groups/groupselector.h"

CellLook GroupCellLook(const TGroupSelector& page, int row, int column, Rgb background) {
  CellLook look;
  const bool dragged = row == page.FDragRow() && column == page.FDragCol();
  const Rgb ground = dragged ? CellLook::kDraggedBackground : background;
  look.fill = ground;
  look.text = dragged ? CellLook::kDraggedText : CellLook::kText;
  if (!page.FDragging()) {
    const GroupTable& table = page.GrItems();
    if (!dragged && table.isDataCell(row, column) &&
        page.Differences().differs(table.cell(row, column).component)) {
      look.fill = CellLook::kDifferingFill;
    }
    return look;
  }

  const CellKey key = MakeCellKey(row, column);
  const auto target = page.FDropTargets().find(key);
  if (target != page.FDropTargets().end()) {
    const DropInfo& info = target->second;
    look.fill = ground.inverse();
    look.hatchLines = ground;
    look.hatch =
        info.conflictsBegin == info.conflictsEnd ? CellHatch::BackwardDiagonal : CellHatch::Cross;
    look.showText = false;
  } else if (page.FShownConflicts().contains(key)) {
    look.fill = CellLook::kConflictFill;
  }
  return look;
}
