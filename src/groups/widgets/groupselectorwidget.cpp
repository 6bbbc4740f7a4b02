#include "groups/widgets/groupselectorwidget.h"

#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>

#include "diag/designdump.h"
#include "diag/exceptionreport.h"
#include "groups/widgets/closestselectdialog.h"
#include "groups/widgets/componentlistmodel.h"
#include "groups/widgets/groupcelldelegate.h"
#include "groups/widgets/grouptablemodel.h"
#include "groups/widgets/sheetseldialog.h"
#include "groups/widgets/variantselectdialog.h"

using DragSource = TGroupSelector::DragSource;

namespace {

constexpr const char* kDragMimeType = "application/x-tandrel-group-drag";
constexpr int kCaptionColumnWidth = 40;
constexpr int kDefaultColumnWidth = 100;
constexpr int kMinimumColumnWidth = 8;
constexpr int kSidePanelWidth = 185;
constexpr int kButtonPanelHeight = 62;

QPushButton* makeButton(const QString& caption, int width, const char* name, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setFixedSize(width, 33);
  button->setEnabled(false);
  return button;
}

// The group table: drags filled cells, takes drops where the page allows.
class GrItemsView : public QTableView {
 public:
  GrItemsView(GroupSelectorWidget& frame, QWidget* parent) : QTableView(parent), frame_(frame) {
    setObjectName("GrItems");
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    setWordWrap(false);
    horizontalHeader()->setDefaultSectionSize(kDefaultColumnWidth);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // Columns fitted to their template designator may be narrow.
    horizontalHeader()->setMinimumSectionSize(kMinimumColumnWidth);
    verticalHeader()->setFixedWidth(kCaptionColumnWidth);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    pressed_ = indexAt(event->position().toPoint());
    QTableView::mousePressEvent(event);
  }

  void startDrag(Qt::DropActions) override {
    if (!pressed_.isValid()) return;
    frame_.beginGrItemsDrag(GroupTableModel::tableRow(pressed_),
                            GroupTableModel::tableColumn(pressed_));
    if (frame_.page().FDragging()) {
      auto* drag = new QDrag(this);
      drag->setMimeData(GroupSelectorWidget::dragData(DragSource::GrItems));
      drag->exec(Qt::MoveAction);
    }
    frame_.finishDrag();
  }

  void dragEnterEvent(QDragEnterEvent* event) override {
    if (GroupSelectorWidget::dragSourceOf(event->mimeData())) {
      event->acceptProposedAction();
    } else {
      event->ignore();
    }
  }

  void dragMoveEvent(QDragMoveEvent* event) override {
    bool accepted = false;
    if (GroupSelectorWidget::dragSourceOf(event->mimeData())) {
      // Outside the cells the page takes the pointer as over no target.
      const QModelIndex cell = indexAt(event->position().toPoint());
      const int row = cell.isValid() ? GroupTableModel::tableRow(cell) : -1;
      const int column = cell.isValid() ? GroupTableModel::tableColumn(cell) : -1;
      frame_.act([&] { accepted = frame_.page().GrItemsDragOver(row, column); });
    }
    if (accepted) {
      event->setDropAction(Qt::MoveAction);
      event->accept();
    } else {
      event->ignore();
    }
    // A refused cell says which pin keeps the component out.
    const std::string& refusal = frame_.page().dragRefusal();
    if (refusal.empty()) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(viewport()->mapToGlobal(event->position().toPoint()),
                         QString::fromStdString(refusal), viewport());
    }
  }

  void dragLeaveEvent(QDragLeaveEvent* event) override {
    frame_.act([&] { frame_.page().GrItemsDragOver(-1, -1); });
    event->accept();
  }

  void dropEvent(QDropEvent* event) override {
    const std::optional<DragSource> source = GroupSelectorWidget::dragSourceOf(event->mimeData());
    const QModelIndex cell = indexAt(event->position().toPoint());
    if (!source || !cell.isValid()) {
      event->ignore();
      return;
    }
    frame_.act([&] {
      frame_.page().GrItemsDragDrop(GroupTableModel::tableRow(cell),
                                    GroupTableModel::tableColumn(cell), *source);
    });
    event->setDropAction(Qt::MoveAction);
    event->accept();
  }

  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Delete) {
      frame_.act([&] { frame_.page().DeletePressed(); });
      event->accept();
    } else if (event->key() == Qt::Key_D && event->modifiers().testFlag(Qt::AltModifier)) {
      frame_.act([&] {
        if (const DBX::Design* design = frame_.page().FDesign()) DBX::writeDesignDump(*design);
      });
      event->accept();
    } else {
      QTableView::keyPressEvent(event);
    }
  }

 private:
  GroupSelectorWidget& frame_;
  QPersistentModelIndex pressed_;
};

// The unplaced components: drags its current line, takes cells back.
class CompListView : public QListView {
 public:
  CompListView(GroupSelectorWidget& frame, QWidget* parent) : QListView(parent), frame_(frame) {
    setObjectName("CompList");
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    setUniformItemSizes(true);
  }

 protected:
  void startDrag(Qt::DropActions) override {
    frame_.beginCompListDrag();
    if (frame_.page().FDragging()) {
      auto* drag = new QDrag(this);
      drag->setMimeData(GroupSelectorWidget::dragData(DragSource::CompList));
      drag->exec(Qt::MoveAction);
    }
    frame_.finishDrag();
  }

  void dragEnterEvent(QDragEnterEvent* event) override { acceptFromTable(event); }
  void dragMoveEvent(QDragMoveEvent* event) override { acceptFromTable(event); }

  void dropEvent(QDropEvent* event) override {
    const std::optional<DragSource> source = GroupSelectorWidget::dragSourceOf(event->mimeData());
    if (!source || !frame_.page().CompListDragOver(*source)) {
      event->ignore();
      return;
    }
    frame_.act([&] { frame_.page().CompListDragDrop(*source); });
    event->setDropAction(Qt::MoveAction);
    event->accept();
  }

 private:
  void acceptFromTable(QDragMoveEvent* event) {
    const std::optional<DragSource> source = GroupSelectorWidget::dragSourceOf(event->mimeData());
    if (source && frame_.page().CompListDragOver(*source)) {
      event->setDropAction(Qt::MoveAction);
      event->accept();
    } else {
      event->ignore();
    }
  }

  GroupSelectorWidget& frame_;
};

}  // namespace

// What the page asks of its widget.
class GroupSelectorWidget::PageView : public TGroupSelector::View {
 public:
  explicit PageView(GroupSelectorWidget& frame) : frame_(frame) {}
  void repaint() override { frame_.refresh(); }
  void fitColumn(int column, const std::string& text) override {
    frame_.setColumnWidth(column, QString::fromStdString(text), false);
  }
  void widenColumn(int column, const std::string& text) override {
    frame_.setColumnWidth(column, QString::fromStdString(text), true);
  }

 private:
  GroupSelectorWidget& frame_;
};

GroupSelectorWidget::GroupSelectorWidget(TGroupSelector& page, QWidget* parent)
    : QWidget(parent), page_(page), view_(std::make_unique<PageView>(*this)) {
  setObjectName("GroupSelector1");
  buildWidgets();
  page_.setView(view_.get());
  page_.chooseVariant = [this](const TGroupSelector& selector, const VariantList& candidates) {
    TVariantSelect dialog;
    dialog.ShowVariants(selector.GrItems(), itemColumnWidths(), candidates);
    return dialog.SelectVariant();
  };
  page_.chooseClosest = [this](const TGroupSelector& selector,
                               const ClosestMatch::Result& closest) {
    TClosestSelect dialog;
    dialog.ShowCandidates(selector.GrItems(), itemColumnWidths(), closest);
    return dialog.SelectCandidate();
  };
  page_.chooseSheetSet = [](const SelectSheetVars& vars) {
    TSheetSel dialog;
    dialog.ShowSheetSets(vars);
    return dialog.SelectSheetSet();
  };
  refresh();
}

GroupSelectorWidget::~GroupSelectorWidget() {
  page_.setView(nullptr);
  page_.chooseVariant = nullptr;
  page_.chooseClosest = nullptr;
  page_.chooseSheetSet = nullptr;
}

void GroupSelectorWidget::buildWidgets() {
  tableModel_ = new GroupTableModel(page_, this);
  compListModel_ = new ComponentListModel(page_, this);

  auto* gridView = new GrItemsView(*this, this);
  gridView->setModel(tableModel_);
  gridView->setItemDelegate(new GroupCellDelegate(page_, gridView));
  grItems_ = gridView;

  auto* listView = new CompListView(*this, this);
  listView->setModel(compListModel_);
  compList_ = listView;

  netList_ = new QListWidget(this);
  netList_->setObjectName("NetList");

  pageControl1_ = new QTabWidget(this);
  pageControl1_->setObjectName("PageControl1");
  pageControl1_->addTab(compList_, "Components");
  pageControl1_->addTab(netList_, "Nets");
  pageControl1_->setTabVisible(1, false);

  splitter1_ = new QSplitter(Qt::Horizontal, this);
  splitter1_->setObjectName("Splitter1");
  splitter1_->setHandleWidth(3);
  splitter1_->setOpaqueResize(true);
  splitter1_->addWidget(grItems_);
  splitter1_->addWidget(pageControl1_);
  splitter1_->setStretchFactor(0, 1);
  splitter1_->setStretchFactor(1, 0);
  pageControl1_->resize(kSidePanelWidth, pageControl1_->height());
  splitter1_->setSizes({1000, kSidePanelWidth});

  fillBySheetButton_ = makeButton("Fill By Sheets", 129, "FillBySheetButton", this);
  addHighlightedButton_ = makeButton("Add Highlighted", 137, "AddHighlightedButton", this);
  addSelectedButton_ = makeButton("Add Selected", 131, "AddSelectedButton", this);
  auto* panel1 = new QWidget(this);
  panel1->setObjectName("Panel1");
  panel1->setFixedHeight(kButtonPanelHeight);
  auto* buttons = new QHBoxLayout(panel1);
  buttons->setContentsMargins(8, 0, 8, 0);
  buttons->setSpacing(16);
  buttons->addWidget(fillBySheetButton_);
  buttons->addWidget(addHighlightedButton_);
  buttons->addStretch(1);
  buttons->addWidget(addSelectedButton_);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(splitter1_, 1);
  layout->addWidget(panel1);

  connect(fillBySheetButton_, &QPushButton::clicked, this,
          [this] { act([this] { page_.FillBySheetButtonClick(); }); });
  connect(addHighlightedButton_, &QPushButton::clicked, this,
          [this] { act([this] { page_.AddHighlightedButtonClick(); }); });
  connect(addSelectedButton_, &QPushButton::clicked, this,
          [this] { act([this] { page_.AddSelectedButtonClick(); }); });
  connect(compListModel_, &ComponentListModel::tickChanged, this, [this] { refresh(); });
  connect(grItems_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (showing_ || !current.isValid()) return;
            act([&] {
              page_.setCurrentCell(GroupTableModel::tableRow(current),
                                   GroupTableModel::tableColumn(current));
            });
          });
  connect(compList_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (showing_) return;
            act([&] { page_.CompList().setSelected(current.isValid() ? current.row() : -1); });
          });
}

void GroupSelectorWidget::act(const std::function<void()>& operation) {
  diag::runReported(operation);
  refresh();
}

void GroupSelectorWidget::refresh() {
  const bool wasShowing = showing_;
  showing_ = true;
  tableModel_->sync();
  compListModel_->sync();
  refreshNetList();
  showCurrentCells();
  fillBySheetButton_->setEnabled(page_.fillBySheetEnabled());
  addHighlightedButton_->setEnabled(page_.addHighlightedEnabled());
  addSelectedButton_->setEnabled(page_.addSelectedEnabled());
  grItems_->viewport()->update();
  showing_ = wasShowing;
}

void GroupSelectorWidget::refreshNetList() {
  // Every refresh asks, a drag start among them: the ids shown are compared
  // in a plain array rather than item by item of the list widget.
  const std::vector<TGroupSelector::NetListEntry>& nets = page_.NetList();
  const bool same = std::equal(
      nets.begin(), nets.end(), shownNetIds_.begin(), shownNetIds_.end(),
      [](const TGroupSelector::NetListEntry& net, int32_t id) { return net.netId == id; });
  if (same) return;
  shownNetIds_.clear();
  for (const TGroupSelector::NetListEntry& net : nets) shownNetIds_.push_back(net.netId);
  netList_->clear();
  for (const TGroupSelector::NetListEntry& net : nets) {
    auto* item = new QListWidgetItem(QString::fromStdString(net.name), netList_);
    item->setData(Qt::UserRole, net.netId);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
}

void GroupSelectorWidget::showCurrentCells() {
  const QModelIndex cell = tableModel_->indexOfCell(page_.currentRow(), page_.currentColumn());
  if (cell.isValid() && grItems_->currentIndex() != cell) grItems_->setCurrentIndex(cell);
  const int line = page_.CompList().selected();
  const QModelIndex listed = line >= 0 ? compListModel_->index(line) : QModelIndex();
  if (compList_->currentIndex() != listed) {
    compList_->selectionModel()->setCurrentIndex(listed, QItemSelectionModel::ClearAndSelect);
  }
}

void GroupSelectorWidget::setColumnWidth(int column, const QString& text, bool widenOnly) {
  // Rows and columns written without compaction are not shown yet.
  tableModel_->syncShape();
  const int width = grItems_->fontMetrics().horizontalAdvance(text) + 5;
  const int section = column - 1;
  if (!widenOnly || width > grItems_->columnWidth(section)) {
    grItems_->setColumnWidth(section, width);
  }
}

std::vector<int> GroupSelectorWidget::itemColumnWidths() const {
  std::vector<int> widths;
  for (int column = 1; column <= page_.itemCount(); ++column) {
    widths.push_back(grItems_->columnWidth(column - 1));
  }
  return widths;
}

void GroupSelectorWidget::beginCompListDrag() {
  act([this] {
    const QModelIndex current = compList_->currentIndex();
    page_.CompList().setSelected(current.isValid() ? current.row() : -1);
    page_.CompListStartDrag();
  });
}

void GroupSelectorWidget::beginGrItemsDrag(int row, int column) {
  act([&] { page_.GrItemsStartDrag(row, column); });
}

void GroupSelectorWidget::finishDrag() {
  act([this] { page_.EndDrag(); });
}

QMimeData* GroupSelectorWidget::dragData(DragSource source) {
  auto* data = new QMimeData;
  data->setData(kDragMimeType, source == DragSource::CompList ? "CompList" : "GrItems");
  return data;
}

std::optional<DragSource> GroupSelectorWidget::dragSourceOf(const QMimeData* data) {
  if (data == nullptr || !data->hasFormat(kDragMimeType)) return std::nullopt;
  const QByteArray source = data->data(kDragMimeType);
  if (source == "CompList") return DragSource::CompList;
  if (source == "GrItems") return DragSource::GrItems;
  return std::nullopt;
}
