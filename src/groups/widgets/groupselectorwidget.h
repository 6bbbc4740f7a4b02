// The "Groups Selection" page: the group table (GrItems), the list of
// unplaced components (CompList), the hidden net list and the three buttons.
// Every rule lives in the TGroupSelector it shows; the widget turns clicks,
// keys and drags into the page's operations and shows the page's state.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "groups/groupselector.h"

class QListView;
class QListWidget;
class QMimeData;
class QPushButton;
class QSplitter;
class QTableView;
class QTabWidget;
class ComponentListModel;
class GroupTableModel;

class GroupSelectorWidget : public QWidget {
  Q_OBJECT

 public:
  // page must outlive the widget.
  explicit GroupSelectorWidget(TGroupSelector& page, QWidget* parent = nullptr);
  ~GroupSelectorWidget() override;

  TGroupSelector& page() { return page_; }

  // Runs an operation of the page; an exception leaving it is shown in an
  // Error box. The widget then shows the page's state.
  void act(const std::function<void()>& operation);
  // Shows the page's state: table, lists, buttons, current cells.
  void refresh();

  // A drag as the views run it around the window system's drag loop; tests
  // and tools drive the same steps with their own drag events.
  // Starts dragging CompList's current line.
  void beginCompListDrag();
  // Starts dragging table cell (row, column), counted from 1.
  void beginGrItemsDrag(int row, int column);
  // The drag ended, dropped or not.
  void finishDrag();
  // The data a drag carries: where it started.
  static QMimeData* dragData(TGroupSelector::DragSource source);
  static std::optional<TGroupSelector::DragSource> dragSourceOf(const QMimeData* data);

  QTableView* grItems() const { return grItems_; }
  QListView* compList() const { return compList_; }
  QListWidget* netList() const { return netList_; }
  QPushButton* fillBySheetButton() const { return fillBySheetButton_; }
  QPushButton* addHighlightedButton() const { return addHighlightedButton_; }
  QPushButton* addSelectedButton() const { return addSelectedButton_; }
  GroupTableModel* tableModel() const { return tableModel_; }
  ComponentListModel* compListModel() const { return compListModel_; }
  // The widths of the table's item columns 1 .. colCount - 2.
  std::vector<int> itemColumnWidths() const;

 private:
  class PageView;

  void buildWidgets();
  void refreshNetList();
  void showCurrentCells();
  void setColumnWidth(int column, const QString& text, bool widenOnly);

  TGroupSelector& page_;
  std::unique_ptr<PageView> view_;
  GroupTableModel* tableModel_ = nullptr;
  ComponentListModel* compListModel_ = nullptr;
  QTableView* grItems_ = nullptr;
  QSplitter* splitter1_ = nullptr;
  QTabWidget* pageControl1_ = nullptr;
  QListView* compList_ = nullptr;
  QListWidget* netList_ = nullptr;
  std::vector<int32_t> shownNetIds_;  // the net ids netList_ lists, in order
  QPushButton* fillBySheetButton_ = nullptr;
  QPushButton* addHighlightedButton_ = nullptr;
  QPushButton* addSelectedButton_ = nullptr;
  // Set while the widget moves the views' current items itself, so that
  // the views' change signals are not taken for the user's.
  bool showing_ = false;
};
