#include "groups/variantselectdialog.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

#include "groups/choicedialog.h"
#include "groups/variantlisting.h"

TVariantSelect::TVariantSelect(QWidget* parent) : QDialog(parent) {
  setObjectName("TVariantSelect");
  const ChoiceDialogParts parts =
      buildChoiceDialog(*this, "Select variant", 861, 648,
                        "Multiple layouts of components available. Please, select one", 33);
  label1_ = parts.label;
  stringGrid1_ = parts.grid;
  button1_ = parts.ok;
  button2_ = parts.cancel;
  // The headings are the template's designators.
  stringGrid1_->horizontalHeader()->show();
}

void TVariantSelect::ShowVariants(const GroupTable& table, const std::vector<int>& columnWidths,
                                  const std::vector<DBX::Component*>& candidates) {
  const VariantListing listing = VariantListing::Build(table, candidates);
  const int columns = static_cast<int>(listing.headings.size());
  stringGrid1_->setUpdatesEnabled(false);
  stringGrid1_->setColumnCount(columns);
  stringGrid1_->setRowCount(static_cast<int>(listing.rows.size()));
  for (int c = 0; c < columns; ++c) {
    const auto column = static_cast<std::size_t>(c);
    stringGrid1_->setHorizontalHeaderItem(
        c, new QTableWidgetItem(QString::fromStdString(listing.headings[column])));
    if (column < columnWidths.size()) stringGrid1_->setColumnWidth(c, columnWidths[column]);
  }
  for (std::size_t k = 0; k < listing.rows.size(); ++k) {
    for (int c = 0; c < columns; ++c) {
      stringGrid1_->setItem(static_cast<int>(k), c,
                            new QTableWidgetItem(QString::fromStdString(
                                listing.rows[k][static_cast<std::size_t>(c)])));
    }
  }
  if (stringGrid1_->rowCount() > 0 && columns > 0) stringGrid1_->setCurrentCell(0, 0);
  stringGrid1_->setUpdatesEnabled(true);
}

int TVariantSelect::SelectVariant() {
  centreOnScreen(*this);
  stringGrid1_->setFocus();
  if (exec() != QDialog::Accepted) return -1;
  return stringGrid1_->currentRow();
}
