#include "groups/widgets/variantlistmodel.h"

#include <QString>
#include <limits>
#include <utility>

namespace {

// A view counts its rows in int: a longer list shows its first INT_MAX rows.
int clampToInt(std::size_t count) {
  return count > static_cast<std::size_t>(std::numeric_limits<int>::max())
             ? std::numeric_limits<int>::max()
             : static_cast<int>(count);
}

}  // namespace

VariantListModel::VariantListModel(VariantListing listing, QObject* parent)
    : QAbstractTableModel(parent), listing_(std::move(listing)) {}

int VariantListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : clampToInt(listing_.rowCount());
}

int VariantListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : clampToInt(listing_.columnCount());
}

QVariant VariantListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !checkIndex(index) || role != Qt::DisplayRole) return {};
  return QString::fromStdString(listing_.text(static_cast<std::size_t>(index.row()),
                                              static_cast<std::size_t>(index.column())));
}

QVariant VariantListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
      section >= columnCount()) {
    return {};
  }
  return QString::fromStdString(listing_.headings()[static_cast<std::size_t>(section)]);
}
