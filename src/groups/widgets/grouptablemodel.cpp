#include "groups/widgets/grouptablemodel.h"

#include <QString>
#include <QStringList>

#include "groups/groupselector.h"

namespace {

QString cellText(const GroupTable& table, int row, int column) {
  if (!table.isCell(row, column)) return {};
  return QString::fromStdString(table.cell(row, column).text);
}

}  // namespace

GroupTableModel::GroupTableModel(const TGroupSelector& page, QObject* parent)
    : QAbstractTableModel(parent),
      page_(page),
      rows_(page.GrItems().rowCount() - 1),
      columns_(page.GrItems().colCount() - 1) {}

int GroupTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int GroupTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : columns_;
}

QVariant GroupTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !checkIndex(index)) return {};
  const GroupTable& table = page_.GrItems();
  const int row = tableRow(index);
  const int column = tableColumn(index);
  if (role == Qt::ToolTipRole) {
    // The pins by which the cell's component differs from the template.
    if (!table.isDataCell(row, column)) return {};
    QStringList lines;
    for (const std::string& line : page_.Differences().linesOf(table.cell(row, column).component)) {
      lines.push_back(QString::fromStdString(line));
    }
    return lines.isEmpty() ? QVariant() : QVariant(lines.join('\n'));
  }
  if (role != Qt::DisplayRole) return {};
  return cellText(table, row, column);
}

QVariant GroupTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || section < 0) return {};
  if (orientation == Qt::Horizontal) {
    return section < columns_ ? cellText(page_.GrItems(), 0, section + 1) : QVariant();
  }
  return section < rows_ ? cellText(page_.GrItems(), section + 1, 0) : QVariant();
}

Qt::ItemFlags GroupTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid() || !checkIndex(index)) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
  const GroupTable& table = page_.GrItems();
  const int row = tableRow(index);
  const int column = tableColumn(index);
  // A drag starts only on a cell that holds a component.
  if (table.isDataCell(row, column) && !table.cell(row, column).empty()) {
    flags |= Qt::ItemIsDragEnabled;
  }
  return flags;
}

void GroupTableModel::syncShape() {
  // The page only ever adds or cuts rows and columns at the end.
  const int rows = page_.GrItems().rowCount() - 1;
  const int columns = page_.GrItems().colCount() - 1;
  if (rows > rows_) {
    beginInsertRows(QModelIndex(), rows_, rows - 1);
    rows_ = rows;
    endInsertRows();
  } else if (rows < rows_) {
    beginRemoveRows(QModelIndex(), rows, rows_ - 1);
    rows_ = rows;
    endRemoveRows();
  }
  if (columns > columns_) {
    beginInsertColumns(QModelIndex(), columns_, columns - 1);
    columns_ = columns;
    endInsertColumns();
  } else if (columns < columns_) {
    beginRemoveColumns(QModelIndex(), columns, columns_ - 1);
    columns_ = columns;
    endRemoveColumns();
  }
}

void GroupTableModel::sync() {
  syncShape();
  emit dataChanged(index(0, 0), index(rows_ - 1, columns_ - 1), {Qt::DisplayRole});
  emit headerDataChanged(Qt::Horizontal, 0, columns_ - 1);
  emit headerDataChanged(Qt::Vertical, 0, rows_ - 1);
}
