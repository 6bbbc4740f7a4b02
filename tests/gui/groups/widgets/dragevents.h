// The steps of a drag on the group selection page as its views receive them
// from the window system: the drag enters a view, moves over it and drops.
// Tests and the screenshot tool drive drags this way, without the window
// system's own drag loop.
#pragma once

#include <QCoreApplication>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QListView>
#include <QMimeData>
#include <QTableView>
#include <QTest>
#include <memory>
#include <string>

#include "groups/widgets/componentlistmodel.h"
#include "groups/widgets/groupselectorwidget.h"
#include "groups/widgets/grouptablemodel.h"

namespace testing_gui {

using DragSource = TGroupSelector::DragSource;

// The drag enters the view at the point and moves there; true when the view
// accepts a drop there.
inline bool dragOver(QAbstractItemView* view, QPoint at, DragSource source) {
  const std::unique_ptr<QMimeData> data(GroupSelectorWidget::dragData(source));
  QDragEnterEvent enter(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(view->viewport(), &enter);
  // As in a real drag, a view that refuses the drag gets no moves.
  if (!enter.isAccepted()) return false;
  QDragMoveEvent move(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(view->viewport(), &move);
  return move.isAccepted();
}

inline bool drop(QAbstractItemView* view, QPoint at, DragSource source) {
  const std::unique_ptr<QMimeData> data(GroupSelectorWidget::dragData(source));
  QDropEvent drop(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(view->viewport(), &drop);
  return drop.isAccepted();
}

inline QRect cellRect(const GroupSelectorWidget& page, int row, int column) {
  return page.grItems()->visualRect(page.tableModel()->indexOfCell(row, column));
}

inline bool dragOverCell(GroupSelectorWidget& page, int row, int column, DragSource source) {
  return dragOver(page.grItems(), cellRect(page, row, column).center(), source);
}

// Drags over the cell and drops there, then ends the drag.
inline bool dropOnCell(GroupSelectorWidget& page, int row, int column, DragSource source) {
  const bool accepted = dragOverCell(page, row, column, source);
  if (accepted) drop(page.grItems(), cellRect(page, row, column).center(), source);
  page.finishDrag();
  return accepted;
}

// Makes the CompList line of the designator current and starts its drag;
// false when no line shows the designator.
inline bool startListDrag(GroupSelectorWidget& page, const std::string& refDes) {
  const int line = page.page().CompList().find(refDes);
  if (line < 0) return false;
  page.compList()->setCurrentIndex(page.compListModel()->index(line));
  page.beginCompListDrag();
  return true;
}

// A whole drag from CompList into a cell.
inline bool moveToCell(GroupSelectorWidget& page, const std::string& refDes, int row, int column) {
  return startListDrag(page, refDes) && dropOnCell(page, row, column, DragSource::CompList);
}

// Drops the cell being dragged onto CompList and ends the drag.
inline bool dropOnList(GroupSelectorWidget& page) {
  const QPoint inside = page.compList()->viewport()->rect().center();
  const bool accepted = dragOver(page.compList(), inside, DragSource::GrItems);
  if (accepted) drop(page.compList(), inside, DragSource::GrItems);
  page.finishDrag();
  return accepted;
}

}  // namespace testing_gui
