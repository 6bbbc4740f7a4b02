// The "Place Groups" page. It shows the placement page's state (TPlacer) and
// forwards the user's edits and clicks to it; the page carries no controls
// yet.
#pragma once

#include <QWidget>

#include "placement/placer.h"

class PlacerWidget : public QWidget {
  Q_OBJECT

 public:
  // placer must outlive the widget.
  explicit PlacerWidget(placement::TPlacer& placer, QWidget* parent = nullptr);

  placement::TPlacer& placer() { return placer_; }

 private:
  placement::TPlacer& placer_;
};
