#include "groups/widgets/closestselectdialog.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

#include "groups/view/closestlisting.h"
#include "groups/widgets/choicedialog.h"

namespace {

QString joinedLines(const std::vector<std::string>& lines) {
  QStringList texts;
  for (const std::string& line : lines) texts.push_back(QString::fromStdString(line));
  return texts.join('\n');
}

}  // namespace

TClosestSelect::TClosestSelect(QWidget* parent) : QDialog(parent) {
  setObjectName("TClosestSelect");
  const ChoiceDialogParts parts = buildChoiceDialog(
      *this, "Select closest match", 861, 648,
      "No layout matches exactly. These differ from the template in the pins listed; please, "
      "select one",
      33);
  label1_ = parts.label;
  stringGrid1_ = parts.grid;
  button1_ = parts.ok;
  button2_ = parts.cancel;
  stringGrid1_->horizontalHeader()->show();
}

void TClosestSelect::ShowCandidates(const GroupTable& table, const std::vector<int>& columnWidths,
                                    const ClosestMatch::Result& closest) {
  const ClosestListing listing = ClosestListing::Build(table, closest);
  const int items = static_cast<int>(listing.headings.size());
  stringGrid1_->setUpdatesEnabled(false);
  stringGrid1_->setColumnCount(items + 1);
  stringGrid1_->setRowCount(static_cast<int>(listing.rows.size()));
  stringGrid1_->setHorizontalHeaderItem(
      0, new QTableWidgetItem(QString::fromUtf8(ClosestListing::kDifferencesHeading)));
  for (int c = 0; c < items; ++c) {
    const auto column = static_cast<std::size_t>(c);
    stringGrid1_->setHorizontalHeaderItem(
        c + 1, new QTableWidgetItem(QString::fromStdString(listing.headings[column])));
    if (column < columnWidths.size()) stringGrid1_->setColumnWidth(c + 1, columnWidths[column]);
  }
  for (std::size_t k = 0; k < listing.rows.size(); ++k) {
    const int row = static_cast<int>(k);
    stringGrid1_->setItem(row, 0, new QTableWidgetItem(joinedLines(listing.differences[k])));
    for (int c = 0; c < items; ++c) {
      stringGrid1_->setItem(row, c + 1,
                            new QTableWidgetItem(QString::fromStdString(
                                listing.rows[k][static_cast<std::size_t>(c)])));
    }
  }
  stringGrid1_->resizeColumnToContents(0);
  stringGrid1_->resizeRowsToContents();
  if (stringGrid1_->rowCount() > 0) stringGrid1_->setCurrentCell(0, 0);
  stringGrid1_->setUpdatesEnabled(true);
}

int TClosestSelect::SelectCandidate() {
  centreOnScreen(*this);
  stringGrid1_->setFocus();
  if (exec() != QDialog::Accepted) return -1;
  return stringGrid1_->currentRow();
}
