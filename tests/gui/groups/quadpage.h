// The group selection page of the quad example's PCB, read from the
// in-process host, and the steps of a drag as the page's widget receives
// them.
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

#include "dbx/design.h"
#include "designfile.h"
#include "groups/componentlistmodel.h"
#include "groups/groupselector.h"
#include "groups/groupselectorwidget.h"
#include "groups/grouptablemodel.h"
#include "hostdbx.h"
#include "scriptedui.h"

namespace testing_gui {

using DragSource = TGroupSelector::DragSource;

inline const std::string kQuad = std::string(TANDREL_EXAMPLES_DIR) + "/quad-preamp.json";

struct QuadPage {
  explicit QuadPage(uint8_t tool = DBX::kToolPcb) {
    design.selectTool(tool);
    page.InitGrid();
    page.OnComplete = [this](bool complete) { completions.push_back(complete); };
    page.LoadDesign(design);
  }

  DBX::Component* component(const std::string& refDes) const {
    return design.pack().components().left.at(RefDesString(refDes));
  }

  testing_diag::ScriptedUi ui;
  dbxhost::HostDbx host{dbxhost::readDesignFile(kQuad)};
  DBX::Design design{host};
  TGroupSelector page;
  std::vector<bool> completions;
};

// The widget over a QuadPage, shown so that its cells have places.
struct QuadWidget : QuadPage {
  QuadWidget() : widget(page) {
    widget.resize(1000, 600);
    widget.show();
    if (!QTest::qWaitForWindowExposed(&widget)) qFatal("the page widget was never shown");
  }

  QPoint cellCentre(int row, int column) const {
    return widget.grItems()->visualRect(widget.tableModel()->indexOfCell(row, column)).center();
  }
  QRect cellRect(int row, int column) const {
    return widget.grItems()->visualRect(widget.tableModel()->indexOfCell(row, column));
  }

  // Makes the CompList line of the designator current and starts its drag.
  void startListDrag(const std::string& refDes) {
    const int line = page.CompList().find(refDes);
    QVERIFY2(line >= 0, refDes.c_str());
    widget.compList()->setCurrentIndex(widget.compListModel()->index(line));
    widget.beginCompListDrag();
  }

  // A drag entering the view at the point; true when the view accepts a drop
  // there.
  static bool dragOver(QAbstractItemView* view, QPoint at, DragSource source) {
    const std::unique_ptr<QMimeData> data(GroupSelectorWidget::dragData(source));
    QDragEnterEvent enter(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view->viewport(), &enter);
    // As in a real drag, a view that refuses the drag gets no moves.
    if (!enter.isAccepted()) return false;
    QDragMoveEvent move(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view->viewport(), &move);
    return move.isAccepted();
  }
  static bool drop(QAbstractItemView* view, QPoint at, DragSource source) {
    const std::unique_ptr<QMimeData> data(GroupSelectorWidget::dragData(source));
    QDropEvent drop(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view->viewport(), &drop);
    return drop.isAccepted();
  }

  bool dragOverCell(int row, int column, DragSource source) {
    return dragOver(widget.grItems(), cellCentre(row, column), source);
  }
  // Drags over the cell and drops there, then ends the drag.
  bool dropOnCell(int row, int column, DragSource source) {
    const bool accepted = dragOverCell(row, column, source);
    if (accepted) drop(widget.grItems(), cellCentre(row, column), source);
    widget.finishDrag();
    return accepted;
  }
  // A whole drag from CompList into a cell.
  bool moveToCell(const std::string& refDes, int row, int column) {
    startListDrag(refDes);
    return dropOnCell(row, column, DragSource::CompList);
  }
  bool dropOnList() {
    const QPoint inside = widget.compList()->viewport()->rect().center();
    const bool accepted = dragOver(widget.compList(), inside, DragSource::GrItems);
    if (accepted) drop(widget.compList(), inside, DragSource::GrItems);
    widget.finishDrag();
    return accepted;
  }

  // The texts CompList shows, top to bottom.
  QStringList listed() const {
    QStringList texts;
    for (int row = 0; row < widget.compListModel()->rowCount(); ++row) {
      texts << widget.compListModel()->index(row).data().toString();
    }
    return texts;
  }

  GroupSelectorWidget widget;
};

}  // namespace testing_gui
