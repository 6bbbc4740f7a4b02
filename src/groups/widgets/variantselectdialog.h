// The dialog in which the user picks one of several ways of matching a new
// group to the template: one column per template item headed by its
// designator, one row per variant. The rows are made as the grid shows them.
#pragma once

#include <QDialog>
#include <vector>

class GroupTable;
class QLabel;
class QPushButton;
class QTableView;
class VariantList;
class VariantListModel;

class TVariantSelect : public QDialog {
  Q_OBJECT

 public:
  explicit TVariantSelect(QWidget* parent = nullptr);

  // Lists the variants (one entry per template item of table each);
  // columnWidths are the table's item column widths.
  void ShowVariants(const GroupTable& table, const std::vector<int>& columnWidths,
                    const VariantList& candidates);
  // Shows the dialog; the chosen variant's index (the first row is 0), or -1
  // when the user cancelled.
  int SelectVariant();

  QTableView* grid() const { return stringGrid1_; }
  QPushButton* okButton() const { return button1_; }
  QPushButton* cancelButton() const { return button2_; }

 private:
  QLabel* label1_;
  QTableView* stringGrid1_;
  QPushButton* button1_;
  QPushButton* button2_;
  VariantListModel* variants_ = nullptr;
};
