// One view of the host's design: the PCB or one schematic sheet. Draws what
// the scene rules give, pans with the middle or right mouse button, zooms with
// the wheel, and turns clicks into highlight changes in the host.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>

#include "engine/hostdbx.h"
#include "window/designscene.h"
#include "window/viewtransform.h"

class QPainter;

namespace dbxhost {

class DesignView : public QWidget {
  Q_OBJECT

 public:
  using SceneBuilder = std::function<Scene(const Design&)>;
  enum class Style { kPcb, kSchematic };

  // tool: whose items a click highlights (PCB components or symbols).
  DesignView(HostDbx& host, DBX::Tool tool, Style style, SceneBuilder build,
             QWidget* parent = nullptr);

  // Reads the design again when it changed since the last look.
  void refresh();
  // Shows the whole scene, and keeps doing so as the view is resized until
  // the user pans or zooms.
  void fitToView();
  void zoomBy(double factor);
  // Highlights what lies under a point of the view, as a click does.
  void clickAt(QPointF position, bool additive);

  const Scene& scene() const { return scene_; }
  const ViewTransform& transform() const { return transform_; }

 signals:
  // The design point under the mouse, in millimetres.
  void cursorMoved(double x, double y);
  // A click changed the design.
  void designChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void paintPcb(QPainter& painter) const;
  void paintCopper(QPainter& painter) const;
  void paintSchematic(QPainter& painter) const;

  HostDbx& host_;
  DBX::Tool tool_;
  Style style_;
  SceneBuilder build_;
  Scene scene_;
  bool haveScene_ = false;
  uint64_t sceneRevision_ = 0;
  ViewTransform transform_;
  bool autoFit_ = true;
  bool panning_ = false;
  QPointF panFrom_;
};

}  // namespace dbxhost
