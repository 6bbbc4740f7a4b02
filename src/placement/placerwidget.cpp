#include "placement/placerwidget.h"

PlacerWidget::PlacerWidget(placement::TPlacer& placer, QWidget* parent)
    : QWidget(parent), placer_(placer) {
  setObjectName("Placer1");
}
