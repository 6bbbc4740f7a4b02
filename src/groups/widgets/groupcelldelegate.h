// Draws the data cells of the group table by the page's drag marks (see
// celllook.h).
#pragma once

#include <QStyledItemDelegate>

class TGroupSelector;

class GroupCellDelegate : public QStyledItemDelegate {
 public:
  explicit GroupCellDelegate(const TGroupSelector& page, QObject* parent = nullptr)
      : QStyledItemDelegate(parent), page_(page) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

 private:
  const TGroupSelector& page_;
};
