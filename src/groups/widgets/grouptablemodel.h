// The group table as a Qt table model: table row r and column c (both from 1)
// are model row r - 1 and column c - 1; the "G%d" and "C%d" captions are the
// header texts. The model follows the page through sync(), which reports the
// rows and columns that came or went at the end and then every text.
#pragma once

#include <QAbstractTableModel>

class TGroupSelector;

class GroupTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit GroupTableModel(const TGroupSelector& page, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  // Filled cells can be dragged; every cell takes drops (the page decides).
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  static int tableRow(const QModelIndex& index) { return index.row() + 1; }
  static int tableColumn(const QModelIndex& index) { return index.column() + 1; }
  QModelIndex indexOfCell(int row, int column) const { return index(row - 1, column - 1); }

  // Catches up with the size of the page's table.
  void syncShape();
  // syncShape(), then every cell and caption changed.
  void sync();

 private:
  const TGroupSelector& page_;
  int rows_;
  int columns_;
};
