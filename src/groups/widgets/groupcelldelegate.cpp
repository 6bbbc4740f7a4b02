#include "groups/widgets/groupcelldelegate.h"

#include <QApplication>
#include <QBrush>
#include <QPainter>
#include <QStyle>

#include "groups/view/celllook.h"
#include "groups/widgets/grouptablemodel.h"

namespace {

QColor toColor(Rgb rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

Rgb toRgb(const QColor& color) {
  return {static_cast<uint8_t>(color.red()), static_cast<uint8_t>(color.green()),
          static_cast<uint8_t>(color.blue())};
}

Qt::BrushStyle brushStyle(CellHatch hatch) {
  switch (hatch) {
    case CellHatch::BackwardDiagonal:
      return Qt::BDiagPattern;
    case CellHatch::Cross:
      return Qt::CrossPattern;
    case CellHatch::None:
      break;
  }
  return Qt::SolidPattern;
}

}  // namespace

void GroupCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  const CellLook look =
      GroupCellLook(page_, GroupTableModel::tableRow(index), GroupTableModel::tableColumn(index),
                    toRgb(option.palette.color(QPalette::Base)));
  painter->save();
  painter->fillRect(option.rect, toColor(look.fill));
  if (look.hatch != CellHatch::None) {
    painter->fillRect(option.rect, QBrush(toColor(look.hatchLines), brushStyle(look.hatch)));
  }
  if (look.showText) {
    painter->setPen(toColor(look.text));
    painter->drawText(option.rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                      index.data(Qt::DisplayRole).toString());
  }
  // The current cell, which Delete clears, keeps its focus frame.
  if (option.state.testFlag(QStyle::State_HasFocus)) {
    QStyleOptionFocusRect focus;
    focus.rect = option.rect.adjusted(1, 1, -1, -1);
    focus.state = option.state;
    focus.backgroundColor = toColor(look.fill);
    const QStyle* style = option.widget != nullptr ? option.widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
  }
  painter->restore();
}
