// The variant dialog's grid as a Qt table model over a VariantListing: the
// headings are the horizontal header, row k is variant k. The view asks only
// for the cells it shows.
#pragma once

#include <QAbstractTableModel>

#include "groups/view/variantlisting.h"

class VariantListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  VariantListModel(VariantListing listing, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  VariantListing listing_;
};
