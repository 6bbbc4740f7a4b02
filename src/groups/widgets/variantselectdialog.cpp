#include "groups/widgets/variantselectdialog.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableView>

#include "groups/view/variantlisting.h"
#include "groups/widgets/choicedialog.h"
#include "groups/widgets/variantlistmodel.h"

TVariantSelect::TVariantSelect(QWidget* parent) : QDialog(parent) {
  setObjectName("TVariantSelect");
  const ChoiceDialogParts parts = buildChoiceDialog(
      *this, "Select variant", 861, 648,
      "Multiple layouts of components available. Please, select one", 33, new QTableView);
  label1_ = parts.label;
  stringGrid1_ = parts.view;
  button1_ = parts.ok;
  button2_ = parts.cancel;
  // The headings are the template's designators.
  stringGrid1_->horizontalHeader()->show();
  // Rows of one height: the view need not measure 100 000 of them.
  stringGrid1_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
}

void TVariantSelect::ShowVariants(const GroupTable& table, const std::vector<int>& columnWidths,
                                  const VariantList& candidates) {
  auto* model = new VariantListModel(VariantListing(table, candidates), this);
  stringGrid1_->setUpdatesEnabled(false);
  stringGrid1_->setModel(model);
  delete variants_;
  variants_ = model;
  const int columns = model->columnCount();
  for (int c = 0; c < columns && static_cast<std::size_t>(c) < columnWidths.size(); ++c) {
    stringGrid1_->setColumnWidth(c, columnWidths[static_cast<std::size_t>(c)]);
  }
  if (model->rowCount() > 0 && columns > 0) stringGrid1_->setCurrentIndex(model->index(0, 0));
  stringGrid1_->setUpdatesEnabled(true);
}

int TVariantSelect::SelectVariant() {
  centreOnScreen(*this);
  stringGrid1_->setFocus();
  if (exec() != QDialog::Accepted) return -1;
  return stringGrid1_->currentIndex().row();
}
