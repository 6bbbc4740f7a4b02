#include "placement/widgets/placerwidget.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "diag/exceptionreport.h"
#include "placement/placertexts.h"

using placement::Control;
using placement::RectCorner;

namespace {

constexpr int kTitleHeight = 33;
constexpr int kToolPagesHeight = 229;  // with the arrangement and the Place report
constexpr int kFieldWidth = 90;
constexpr int kButtonWidth = 137;
constexpr int kButtonHeight = 33;

// The edit controls' names, in the order of placement::Control from Rows.
constexpr const char* kFieldNames[] = {
    "GridInfoRows",   "GridInfoCols",   "GridInfoGapX", "GridInfoGapY",
    "GridInfoDeltaX", "GridInfoDeltaY", "Coord_X",      "Coord_Y",
    "GrpX",           "GrpY",           "GrGap",        "RoutingMargin",
};

std::size_t fieldIndex(Control control) {
  return static_cast<std::size_t>(control) - static_cast<std::size_t>(Control::Rows);
}

QString caption(const char* name) {
  return QString::fromUtf8(placement::PlacerControlText(name).caption);
}

// Gives the widget its control name and the control's hint as tooltip.
template <class Widget>
Widget* named(Widget* widget, const char* name) {
  widget->setObjectName(name);
  const std::string_view hint = placement::PlacerControlText(name).hint;
  if (!hint.empty()) widget->setToolTip(QString::fromUtf8(hint));
  return widget;
}

void setText(QLineEdit& edit, const std::string& text) {
  const QString shown = QString::fromStdString(text);
  // Rewriting an unchanged text would move the cursor of the field being
  // typed in.
  if (edit.text() != shown) edit.setText(shown);
}

void setInvalid(QLineEdit& edit, bool invalid) {
  QPalette palette;  // resolves no role: the edit takes its parent's colours
  if (invalid) {
    palette = edit.palette();
    palette.setColor(QPalette::Base, Qt::red);
  }
  edit.setPalette(palette);
}

}  // namespace

PlacerWidget::PlacerWidget(placement::TPlacer& placer, QWidget* parent)
    : QWidget(parent), placer_(placer) {
  static_assert(std::size(kFieldNames) == kFieldCount);
  setObjectName("Placer1");

  auto* label1 = new QLabel(caption("Label1"), this);
  label1->setObjectName("Label1");
  QFont bold = label1->font();
  bold.setBold(true);
  label1->setFont(bold);
  label1->setFixedHeight(kTitleHeight);
  label1->setIndent(4);

  groupsList_ = named(new QListWidget(this), "GroupsList");
  groupsList_->setSelectionMode(QAbstractItemView::SingleSelection);
  connect(groupsList_, &QListWidget::itemSelectionChanged, this, [this] {
    if (showing_) return;
    const QList<QListWidgetItem*> selected = groupsList_->selectedItems();
    std::optional<std::size_t> line;
    if (!selected.isEmpty()) line = static_cast<std::size_t>(groupsList_->row(selected.front()));
    act([&] { placer_.GroupsListClick(line); });
  });

  auto* pageControl1 = new QTabWidget(this);
  pageControl1->setObjectName("PageControl1");
  pageControl1->setFixedHeight(kToolPagesHeight);
  pageControl1->addTab(buildPlacePage(), caption("TabSheet1"));
  pageControl1->addTab(buildOthersPage(), caption("TabSheet2"));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(label1);
  layout->addWidget(groupsList_, 1);
  layout->addWidget(pageControl1);

  placer_.SetChangeListener([this] { refresh(); });
  refresh();
}

PlacerWidget::~PlacerWidget() { placer_.SetChangeListener(nullptr); }

QWidget* PlacerWidget::buildPlacePage() {
  auto* page = new QWidget;
  page->setObjectName("TabSheet1");

  auto* fields = new QGridLayout;
  fields->setHorizontalSpacing(6);
  addField(Control::Rows, *fields, 0, 0);
  addField(Control::GapY, *fields, 0, 2);
  addField(Control::DeltaY, *fields, 0, 4);
  addField(Control::Cols, *fields, 1, 0);
  addField(Control::GapX, *fields, 1, 2);
  addField(Control::DeltaX, *fields, 1, 4);
  itemMsg_ = named(new QLabel(page), "ItemMSG");
  gridMsg_ = named(new QLabel(page), "GridMSG");
  fields->addWidget(itemMsg_, 2, 0, 1, 7);
  fields->addWidget(gridMsg_, 3, 0, 1, 7);
  copyRouting_ = named(new QCheckBox(caption("CopyRouting"), page), "CopyRouting");
  connect(copyRouting_, &QCheckBox::clicked, this,
          [this](bool on) { act([&] { placer_.SetCopyRouting(on); }); });
  fields->addWidget(copyRouting_, 4, 0, 1, 2, Qt::AlignLeft);
  addField(Control::RoutingMargin, *fields, 4, 2);
  replaceRouting_ = named(new QCheckBox(caption("ReplaceRouting"), page), "ReplaceRouting");
  connect(replaceRouting_, &QCheckBox::clicked, this,
          [this](bool on) { act([&] { placer_.SetReplaceRouting(on); }); });
  fields->addWidget(replaceRouting_, 4, 4, 1, 3, Qt::AlignLeft);
  fields->addLayout(buildArrangementRow(), 5, 0, 1, 7);
  placeMsg_ = named(new QLabel(page), "PlaceMSG");
  fields->addWidget(placeMsg_, 6, 0, 1, 7);
  fields->setColumnStretch(6, 1);

  placeButton_ = makeButton("PlaceButton", [this] { placer_.PlaceClick(); });
  undoPlaceButton_ = makeButton("UndoPlaceButton", [this] { placer_.UndoPlaceClick(); });
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(placeButton_);
  buttons->addWidget(undoPlaceButton_);
  buttons->addWidget(makeButton("Button5", [this] { placer_.UpdateClick(); }));
  buttons->addStretch(1);

  auto* layout = new QHBoxLayout(page);
  layout->setContentsMargins(6, 4, 6, 4);
  layout->setSpacing(12);
  cornerBox_ = buildCornerBox();
  layout->addWidget(cornerBox_);
  layout->addLayout(fields, 1);
  layout->addLayout(buttons);
  return page;
}

QWidget* PlacerWidget::buildCornerBox() {
  auto* groupBox1 = new QGroupBox(caption("GroupBox1"));
  groupBox1->setObjectName("GroupBox1");

  // Panel2 stands for the grid; the corner buttons sit at its corners.
  auto* panel2 = named(new QFrame(groupBox1), "Panel2");
  panel2->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  panel2->setFixedSize(56, 36);

  corners_ = new QButtonGroup(this);
  const auto addCorner = [&](const char* name, RectCorner corner) {
    auto* button = named(new QRadioButton(groupBox1), name);
    corners_->addButton(button, static_cast<int>(corner));
    return button;
  };
  auto* grid = new QGridLayout;
  grid->setSpacing(0);
  grid->addWidget(addCorner("Pl_LT", RectCorner::LeftTop), 0, 0);
  grid->addWidget(addCorner("Pl_RT", RectCorner::RightTop), 0, 2);
  grid->addWidget(panel2, 1, 1);
  grid->addWidget(addCorner("Pl_LB", RectCorner::LeftBottom), 2, 0);
  grid->addWidget(addCorner("Pl_RB", RectCorner::RightBottom), 2, 2);
  connect(corners_, &QButtonGroup::idClicked, this,
          [this](int corner) { act([&] { placer_.SetCorner(static_cast<RectCorner>(corner)); }); });

  auto* any = addCorner("Pl_Any", RectCorner::Unrelated);
  any->setText(caption("Pl_Any"));
  auto* pointer = new QLabel(caption("PointerLabel"), groupBox1);
  pointer->setObjectName("PointerLabel");
  auto* origin = new QGridLayout;
  origin->setVerticalSpacing(2);
  origin->addWidget(any, 0, 0, 1, 3);
  origin->addWidget(pointer, 1, 0, 2, 1);
  addField(Control::CoordX, *origin, 1, 1);
  addField(Control::CoordY, *origin, 2, 1);
  originWidgets_ = {pointer};
  for (const Control coordinate : {Control::CoordX, Control::CoordY}) {
    originWidgets_.push_back(fields_[fieldIndex(coordinate)]);
    originWidgets_.push_back(fieldLabels_[fieldIndex(coordinate)]);
  }
  for (QWidget* widget : originWidgets_) {
    // Showing the origin fields must not shift the rest of the page.
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
  }

  auto* layout = new QHBoxLayout(groupBox1);
  layout->setContentsMargins(8, 4, 8, 4);
  layout->setSpacing(16);
  layout->addLayout(grid);
  layout->addLayout(origin);
  return groupBox1;
}

QLayout* PlacerWidget::buildArrangementRow() {
  arrangements_ = new QButtonGroup(this);
  auto* row = new QHBoxLayout;
  for (const auto& [name, arrangement] :
       {std::pair{"ArrangeGrid", placement::Arrangement::Grid},
        std::pair{"ArrangeAnchors", placement::Arrangement::Anchors}}) {
    auto* button = named(new QRadioButton(caption(name)), name);
    arrangements_->addButton(button, static_cast<int>(arrangement));
    row->addWidget(button);
  }
  connect(arrangements_, &QButtonGroup::idClicked, this, [this](int arrangement) {
    act([&] { placer_.SetArrangement(static_cast<placement::Arrangement>(arrangement)); });
  });
  anchorPart_ = named(new QComboBox, "AnchorPart");
  anchorPart_->setMinimumContentsLength(8);
  auto* label = new QLabel(caption("AnchorPart"));
  label->setObjectName("AnchorPartLabel");
  label->setBuddy(anchorPart_);
  connect(anchorPart_, &QComboBox::activated, this, [this](int index) {
    const QVariant item = anchorPart_->itemData(index);
    act([&] { placer_.SetAnchorItem(item.value<std::size_t>()); });
  });
  row->addSpacing(12);
  row->addWidget(label);
  row->addWidget(anchorPart_);
  row->addStretch(1);
  return row;
}

QWidget* PlacerWidget::buildOthersPage() {
  auto* page = new QWidget;
  page->setObjectName("TabSheet2");

  auto* groupBox2 = new QGroupBox(caption("GroupBox2"), page);
  groupBox2->setObjectName("GroupBox2");
  auto* grouping = new QGridLayout(groupBox2);
  addField(Control::GrpX, *grouping, 0, 0);
  addField(Control::GrpY, *grouping, 1, 0);
  addField(Control::GrGap, *grouping, 0, 2);
  grouping->addWidget(makeButton("Button2", [this] { placer_.GatherTemplate(); }), 1, 2, 1, 2);

  autoHighlight_ = named(new QCheckBox(caption("CheckBox1"), page), "CheckBox1");
  connect(autoHighlight_, &QCheckBox::clicked, this,
          [this](bool on) { act([&] { placer_.SetAutoHighlight(on); }); });
  auto* highlight = new QGridLayout;
  highlight->addWidget(makeButton("Button3", [this] { placer_.HighlightCurrent(); }), 0, 0);
  highlight->addWidget(makeButton("Button4", [this] { placer_.UnHighlightAll(); }), 0, 1);
  // As wide as its text only: a click beside it is not meant for it.
  highlight->addWidget(autoHighlight_, 1, 0, 1, 2, Qt::AlignLeft);
  highlight->setRowStretch(2, 1);

  auto* layout = new QHBoxLayout(page);
  layout->setContentsMargins(6, 4, 6, 4);
  layout->setSpacing(24);
  layout->addWidget(groupBox2);
  layout->addLayout(highlight);
  layout->addStretch(1);
  return page;
}

void PlacerWidget::addField(Control control, QGridLayout& layout, int row, int column) {
  const char* name = kFieldNames[fieldIndex(control)];
  auto* edit = named(new QLineEdit, name);
  edit->setFixedWidth(kFieldWidth);
  auto* label = new QLabel(caption(name));
  label->setObjectName(QString(name) + "Label");
  label->setBuddy(edit);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  layout.addWidget(label, row, column);
  layout.addWidget(edit, row, column + 1);
  // Only the user's edits start a pass: the texts the placer writes into
  // partner fields come back through setText, which does not emit
  // textEdited.
  connect(edit, &QLineEdit::textEdited, this, [this, control](const QString& text) {
    act([&] { placer_.EditField(control, text.toStdString()); });
  });
  fields_[fieldIndex(control)] = edit;
  fieldLabels_[fieldIndex(control)] = label;
}

QPushButton* PlacerWidget::makeButton(const char* name, const std::function<void()>& operation) {
  auto* button = named(new QPushButton(caption(name)), name);
  button->setFixedSize(kButtonWidth, kButtonHeight);
  connect(button, &QPushButton::clicked, this, [this, operation] { act(operation); });
  return button;
}

QLineEdit* PlacerWidget::field(Control control) const { return fields_.at(fieldIndex(control)); }

void PlacerWidget::act(const std::function<void()>& operation) {
  // The placer's change listener shows the outcome, also of a failure.
  diag::runReported(operation);
}

void PlacerWidget::refresh() {
  const bool wasShowing = showing_;
  showing_ = true;
  refreshGroupLines();
  for (Control control = Control::Rows; control <= Control::RoutingMargin;
       control = static_cast<Control>(static_cast<int>(control) + 1)) {
    const placement::TPlacer::Field& shown = placer_.FieldOf(control);
    QLineEdit& edit = *field(control);
    setText(edit, shown.text);
    setInvalid(edit, shown.invalid);
  }
  corners_->button(static_cast<int>(placer_.Corner()))->setChecked(true);
  refreshArrangement();
  for (QWidget* widget : originWidgets_) widget->setVisible(placer_.OriginShown());
  itemMsg_->setText(QString::fromStdString(placer_.ItemMessage()));
  gridMsg_->setText(QString::fromStdString(placer_.GridMessage()));
  placeButton_->setEnabled(placer_.PlaceEnabled());
  undoPlaceButton_->setEnabled(placer_.UndoEnabled());
  autoHighlight_->setChecked(placer_.AutoHighlight());
  copyRouting_->setChecked(placer_.CopyRouting());
  field(Control::RoutingMargin)->setEnabled(placer_.CopyRouting());
  replaceRouting_->setChecked(placer_.ReplaceRouting());
  replaceRouting_->setEnabled(placer_.CopyRouting());
  placeMsg_->setText(QString::fromStdString(placer_.PlaceReport()));
  showing_ = wasShowing;
}

void PlacerWidget::refreshArrangement() {
  const bool anchors = placer_.CurrentArrangement() == placement::Arrangement::Anchors;
  arrangements_->button(static_cast<int>(placer_.CurrentArrangement()))->setChecked(true);
  // The grid's own controls have nothing to say while the anchors place.
  cornerBox_->setEnabled(!anchors);
  for (const Control control : {Control::Rows, Control::Cols, Control::GapX, Control::GapY,
                                Control::DeltaX, Control::DeltaY}) {
    field(control)->setEnabled(!anchors);
  }
  anchorPart_->clear();
  for (const placement::TPlacer::AnchorChoice& choice : placer_.AnchorChoices()) {
    anchorPart_->addItem(QString::fromStdString(choice.refDes), QVariant::fromValue(choice.item));
    if (choice.item == placer_.AnchorItem()) anchorPart_->setCurrentIndex(anchorPart_->count() - 1);
  }
  anchorPart_->setEnabled(anchors && anchorPart_->count() > 0);
}

void PlacerWidget::refreshGroupLines() {
  const std::vector<std::string>& lines = placer_.GroupLines();
  bool same = groupsList_->count() == static_cast<int>(lines.size());
  for (int i = 0; same && i < groupsList_->count(); ++i) {
    same = groupsList_->item(i)->text().toStdString() == lines[static_cast<std::size_t>(i)];
  }
  if (!same) {
    groupsList_->clear();
    for (const std::string& line : lines) groupsList_->addItem(QString::fromStdString(line));
  }
  const std::optional<std::size_t> selected = placer_.SelectedGroup();
  if (selected) {
    groupsList_->setCurrentRow(static_cast<int>(*selected), QItemSelectionModel::ClearAndSelect);
  } else {
    groupsList_->clearSelection();
    groupsList_->setCurrentRow(-1);
  }
}
