#include "groups/widgets/sheetseldialog.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

#include "groups/selectsheetvars.h"
#include "groups/view/sheetsetlisting.h"
#include "groups/widgets/choicedialog.h"

namespace {
constexpr int kDefaultColumnWidth = 64;
}

TSheetSel::TSheetSel(QWidget* parent) : QDialog(parent) {
  setObjectName("TSheetSel");
  const ChoiceDialogParts parts =
      buildChoiceDialog(*this, "Select Sheet Set", 878, 640,
                        "Multiple Macro Instancies detected. Please, select one", 25);
  label1_ = parts.label;
  stringGrid1_ = parts.grid;
  button1_ = parts.ok;
  button2_ = parts.cancel;
  stringGrid1_->horizontalHeader()->hide();
  stringGrid1_->horizontalHeader()->setDefaultSectionSize(kDefaultColumnWidth);
}

void TSheetSel::ShowSheetSets(const SelectSheetVars& vars) {
  const SheetSetListing listing = SheetSetListing::Build(vars);
  const QFontMetrics metrics(font());
  stringGrid1_->setColumnCount(static_cast<int>(listing.columns));
  stringGrid1_->setRowCount(static_cast<int>(listing.rows.size()));
  for (std::size_t r = 0; r < listing.rows.size(); ++r) {
    for (std::size_t j = 0; j < listing.columns; ++j) {
      const QString name = QString::fromStdString(listing.rows[r][j]);
      const int column = static_cast<int>(j);
      stringGrid1_->setItem(static_cast<int>(r), column, new QTableWidgetItem(name));
      const int width = metrics.horizontalAdvance(name) + 5;
      if (stringGrid1_->columnWidth(column) < width) stringGrid1_->setColumnWidth(column, width);
    }
  }
  if (stringGrid1_->rowCount() > 0 && stringGrid1_->columnCount() > 0) {
    stringGrid1_->setCurrentCell(0, 0);
  }
}

std::optional<SheetSetChoice> TSheetSel::SelectSheetSet() {
  centreOnScreen(*this);
  stringGrid1_->setFocus();
  if (exec() != QDialog::Accepted) return std::nullopt;
  const int row = stringGrid1_->currentRow();
  const int column = stringGrid1_->currentColumn();
  if (row < 0 || column < 0) return std::nullopt;
  return SheetSetChoice{static_cast<std::size_t>(row), static_cast<std::size_t>(column)};
}
