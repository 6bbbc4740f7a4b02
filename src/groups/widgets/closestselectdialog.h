// The dialog in which the user picks one of the closest correspondences of
// a group that matches the template in no exact way: one row per
// candidate, its differing pins in the first column, then one column per
// template item headed by its designator.
#pragma once

#include <QDialog>
#include <vector>

#include "groups/closestmatch.h"

class GroupTable;
class QLabel;
class QPushButton;
class QTableWidget;

class TClosestSelect : public QDialog {
  Q_OBJECT

 public:
  explicit TClosestSelect(QWidget* parent = nullptr);

  // columnWidths are the table's item column widths.
  void ShowCandidates(const GroupTable& table, const std::vector<int>& columnWidths,
                      const ClosestMatch::Result& closest);
  // Shows the dialog; the chosen candidate's index (the first row is 0), or
  // -1 when the user cancelled.
  int SelectCandidate();

  QTableWidget* grid() const { return stringGrid1_; }
  QPushButton* okButton() const { return button1_; }
  QPushButton* cancelButton() const { return button2_; }

 private:
  QLabel* label1_;
  QTableWidget* stringGrid1_;
  QPushButton* button1_;
  QPushButton* button2_;
};
