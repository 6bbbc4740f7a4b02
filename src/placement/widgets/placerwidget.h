// The "Place Groups" page: the group list with the pages "Place" (grid
// configuration, item and grid size, "Update" and "Place") and "Others"
// ("Group", the highlight tools). Every rule lives in the TPlacer it shows;
// the widget forwards the user's edits and clicks to it and shows its state
// after each operation, the ones the main window starts included.
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <vector>

#include "placement/placer.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class PlacerWidget : public QWidget {
  Q_OBJECT

 public:
  // placer must outlive the widget.
  explicit PlacerWidget(placement::TPlacer& placer, QWidget* parent = nullptr);
  ~PlacerWidget() override;

  placement::TPlacer& placer() { return placer_; }

  // Runs an operation of the page; an exception leaving it is shown in an
  // Error box. The page then shows the placer's state.
  void act(const std::function<void()>& operation);
  // Shows the placer's state: list, fields and their colour, messages,
  // corner, origin fields, "Place", "Undo Place" and "Highlight automatic".
  void refresh();

  // The edit of a field, Rows to RoutingMargin.
  QLineEdit* field(placement::Control control) const;

 private:
  static constexpr std::size_t kFieldCount =
      static_cast<std::size_t>(placement::Control::RoutingMargin) -
      static_cast<std::size_t>(placement::Control::Rows) + 1;

  QWidget* buildPlacePage();
  QWidget* buildOthersPage();
  QWidget* buildCornerBox();
  QLayout* buildArrangementRow();
  // The labelled edit of a field: the label at (row, column) of layout, the
  // edit in the column after it.
  void addField(placement::Control control, QGridLayout& layout, int row, int column);
  QPushButton* makeButton(const char* name, const std::function<void()>& operation);
  void refreshGroupLines();
  void refreshArrangement();

  placement::TPlacer& placer_;
  QListWidget* groupsList_ = nullptr;
  std::array<QLineEdit*, kFieldCount> fields_{};
  std::array<QLabel*, kFieldCount> fieldLabels_{};
  QButtonGroup* corners_ = nullptr;
  QWidget* cornerBox_ = nullptr;
  QButtonGroup* arrangements_ = nullptr;
  QComboBox* anchorPart_ = nullptr;  // each entry carries its item index
  // PointerLabel, Coord_X and Coord_Y with their labels.
  std::vector<QWidget*> originWidgets_;
  QLabel* itemMsg_ = nullptr;
  QLabel* gridMsg_ = nullptr;
  QPushButton* placeButton_ = nullptr;
  QPushButton* undoPlaceButton_ = nullptr;
  QCheckBox* autoHighlight_ = nullptr;
  QCheckBox* copyRouting_ = nullptr;
  QCheckBox* replaceRouting_ = nullptr;
  QLabel* placeMsg_ = nullptr;
  // Set while the widget shows the placer's state, so that the list's
  // selection signals are not taken for the user's clicks.
  bool showing_ = false;
};
