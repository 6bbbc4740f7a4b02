// The dialog in which the user picks a sheet set for "Fill By Sheets": one
// row per set of equal sheets. The clicked cell chooses the set and the
// sheet that becomes the template group.
#pragma once

#include <QDialog>
#include <optional>

#include "groups/selectsheetvars.h"

class QLabel;
class QPushButton;
class QTableWidget;

class TSheetSel : public QDialog {
  Q_OBJECT

 public:
  explicit TSheetSel(QWidget* parent = nullptr);

  void ShowSheetSets(const SelectSheetVars& vars);
  // Shows the dialog; the current cell's set and position on Ok, nothing on
  // Cancel, Esc or close.
  std::optional<SheetSetChoice> SelectSheetSet();

  QTableWidget* grid() const { return stringGrid1_; }
  QPushButton* okButton() const { return button1_; }
  QPushButton* cancelButton() const { return button2_; }

 private:
  QLabel* label1_;
  QTableWidget* stringGrid1_;
  QPushButton* button1_;
  QPushButton* button2_;
};
