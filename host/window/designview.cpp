#include "window/designview.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "window/highlightclick.h"
#include "window/highlightcolors.h"

namespace dbxhost {

namespace {

constexpr double kFitMargin = 24;       // pixels around the fitted scene
constexpr double kClickTolerance = 3;   // pixels around an outline that still hit it
constexpr double kWheelStep = 1.25;     // zoom per wheel notch
constexpr double kUnitsPerMm = 100000;  // database units per millimetre
constexpr double kPadLabelSize = 16;    // pads at least this big on screen show their designator
constexpr double kPinMark = 3;          // half the side of a pin mark, pixels
constexpr double kDesignatorHeight = 120000;  // schematic designators, database units

QColor colourOf(const Rgb& rgb, int alpha = 255) {
  return QColor(rgb.red, rgb.green, rgb.blue, alpha);
}

QPolygonF onScreen(const ViewTransform& transform, const std::vector<ViewPoint>& points) {
  QPolygonF polygon;
  for (ViewPoint p : points) {
    const ViewPoint s = transform.toScreen(p);
    polygon << QPointF(s.x, s.y);
  }
  return polygon;
}

QRectF onScreen(const ViewTransform& transform, const ViewBox& box) {
  const ViewPoint topLeft = transform.toScreen({box.left, box.top});
  const ViewPoint bottomRight = transform.toScreen({box.right, box.bottom});
  return QRectF(QPointF(topLeft.x, topLeft.y), QPointF(bottomRight.x, bottomRight.y));
}

// A highlighted item is filled lightly in its highlight colour ...
void fillHighlight(QPainter& painter, const QPolygonF& outline, int32_t highlight) {
  const std::optional<Rgb> rgb = highlightRgb(highlight);
  if (!rgb) return;
  painter.setPen(Qt::NoPen);
  painter.setBrush(colourOf(*rgb, 90));
  painter.drawPolygon(outline);
}

// ... and outlined thick in it; other items thin in their normal colour.
void drawOutline(QPainter& painter, const QPolygonF& outline, int32_t highlight,
                 const QColor& normal, Qt::PenStyle style) {
  const std::optional<Rgb> rgb = highlightRgb(highlight);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(rgb ? QPen(colourOf(*rgb), 3, style) : QPen(normal, 1.5, style));
  painter.drawPolygon(outline);
}

// Text centred in a box, mirrored left-right for the bottom side.
void paintLabel(QPainter& painter, const QRectF& box, const QString& text, bool mirrored) {
  painter.save();
  painter.translate(box.center());
  if (mirrored) painter.scale(-1, 1);
  const QRectF centred(-box.width() / 2 - 200, -box.height() / 2, box.width() + 400, box.height());
  painter.drawText(centred, Qt::AlignCenter, text);
  painter.restore();
}

void setPixelFont(QPainter& painter, double pixels) {
  QFont font = painter.font();
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
  painter.setFont(font);
}

}  // namespace

DesignView::DesignView(HostDbx& host, DBX::Tool tool, Style style, SceneBuilder build,
                       QWidget* parent)
    : QWidget(parent), host_(host), tool_(tool), style_(style), build_(std::move(build)) {
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(200, 150);
  refresh();
}

void DesignView::refresh() {
  const uint64_t revision = host_.revision();
  if (haveScene_ && revision == sceneRevision_) return;
  // The revision is taken first: a change made while reading shows next time.
  scene_ = host_.readDesign([&](const Design& design) { return build_(design); });
  sceneRevision_ = revision;
  haveScene_ = true;
  update();
}

void DesignView::fitToView() {
  transform_.fit(scene_.bounds, width(), height(), kFitMargin);
  autoFit_ = true;
  update();
}

void DesignView::zoomBy(double factor) {
  autoFit_ = false;
  transform_.zoomAt({width() / 2.0, height() / 2.0}, factor);
  update();
}

void DesignView::clickAt(QPointF position, bool additive) {
  const ViewPoint point = transform_.toDesign({position.x(), position.y()});
  const double tolerance = kClickTolerance / transform_.scale();
  // Hit and plan on one reading of the design, so that they agree.
  const std::vector<HighlightChange> changes = host_.readDesign([&](const Design& design) {
    const Scene scene = build_(design);
    const SceneItem* item = itemAt(scene, point, tolerance);
    return item == nullptr ? std::vector<HighlightChange>{}
                           : planClick(design, tool_, item->id, additive);
  });
  if (changes.empty()) return;
  host_.withDesign([&](Design& design) { applyHighlightChanges(design, changes); });
  refresh();
  emit designChanged();
}

void DesignView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (autoFit_) fitToView();
}

void DesignView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    clickAt(event->position(), event->modifiers().testFlag(Qt::ControlModifier));
  } else if (event->button() == Qt::MiddleButton || event->button() == Qt::RightButton) {
    panning_ = true;
    panFrom_ = event->position();
    setCursor(Qt::ClosedHandCursor);
  }
}

void DesignView::mouseMoveEvent(QMouseEvent* event) {
  if (panning_) {
    const QPointF delta = event->position() - panFrom_;
    panFrom_ = event->position();
    transform_.pan(delta.x(), delta.y());
    autoFit_ = false;
    update();
  }
  const ViewPoint at = transform_.toDesign({event->position().x(), event->position().y()});
  emit cursorMoved(at.x / kUnitsPerMm, at.y / kUnitsPerMm);
}

void DesignView::mouseReleaseEvent(QMouseEvent* event) {
  if (panning_ && (event->button() == Qt::MiddleButton || event->button() == Qt::RightButton)) {
    panning_ = false;
    unsetCursor();
  }
}

void DesignView::wheelEvent(QWheelEvent* event) {
  const double notches = event->angleDelta().y() / 120.0;
  if (notches == 0) return;
  autoFit_ = false;
  transform_.zoomAt({event->position().x(), event->position().y()}, std::pow(kWheelStep, notches));
  update();
}

void DesignView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  if (style_ == Style::kPcb) {
    paintPcb(painter);
  } else {
    paintSchematic(painter);
  }
}

namespace {

// Copper colours by layer: top red, bottom blue (dimmer, as seen through the
// board), inner layers in turn.
QColor layerColour(const SceneCopper& item) {
  static const QColor kInner[] = {QColor(200, 180, 40), QColor(60, 180, 120), QColor(180, 90, 200),
                                  QColor(230, 130, 40)};
  if (item.kind == SceneCopper::kVia) return QColor(200, 200, 200, 230);
  if (item.depth == 0) return QColor(210, 60, 60, 200);
  if (item.bottom) return QColor(70, 110, 220, 130);
  return kInner[(item.depth - 1) % 4];
}

}  // namespace

void DesignView::paintCopper(QPainter& painter) const {
  const double scale = transform_.scale();
  for (const SceneCopper& item : scene_.copper) {
    const QColor colour = layerColour(item);
    if (item.kind == SceneCopper::kZone) {
      QColor fill = colour;
      fill.setAlpha(colour.alpha() / 5);
      painter.setPen(QPen(colour, 1.5));
      painter.setBrush(fill);
      painter.drawPolygon(onScreen(transform_, item.points));
    } else if (item.kind == SceneCopper::kVia) {
      const ViewPoint centre = transform_.toScreen(item.points.front());
      const double radius = std::max(item.width * scale / 2, 1.5);
      painter.setPen(Qt::NoPen);
      painter.setBrush(colour);
      painter.drawEllipse(QPointF(centre.x, centre.y), radius, radius);
    } else {
      QPen pen(colour, std::max(item.width * scale, 1.0), Qt::SolidLine, Qt::RoundCap,
               Qt::RoundJoin);
      painter.setPen(pen);
      painter.setBrush(Qt::NoBrush);
      painter.drawPolyline(onScreen(transform_, item.points));
    }
  }
}

void DesignView::paintPcb(QPainter& painter) const {
  painter.fillRect(rect(), QColor(16, 20, 24));
  if (!scene_.boardOutline.empty()) {
    painter.setPen(QPen(QColor(220, 200, 80), 2));
    painter.setBrush(QColor(18, 48, 32));
    painter.drawPolygon(onScreen(transform_, scene_.boardOutline));
  }
  paintCopper(painter);
  // The bottom side lies under the top side: drawn first, in blue, dashed,
  // with mirrored designators, as seen through the board from above.
  for (const bool bottom : {true, false}) {
    const QColor outlineColour = bottom ? QColor(110, 150, 255) : QColor(215, 215, 215);
    const QColor padColour = bottom ? QColor(60, 100, 200, 200) : QColor(200, 155, 60);
    for (const SceneItem& item : scene_.items) {
      if (item.bottom != bottom) continue;
      const QPolygonF outline = onScreen(transform_, item.outline);
      fillHighlight(painter, outline, item.highlight);
      painter.setPen(Qt::NoPen);
      painter.setBrush(padColour);
      for (const SceneMark& pad : item.marks) {
        const QPolygonF shape = onScreen(transform_, pad.outline);
        painter.drawPolygon(shape);
        const QRectF box = shape.boundingRect();
        if (std::min(box.width(), box.height()) < kPadLabelSize) continue;
        setPixelFont(painter, std::min(std::min(box.width(), box.height()) * 0.45, 28.0));
        painter.setPen(QColor(20, 20, 20));
        paintLabel(painter, box, QString::fromStdString(pad.label), bottom);
        painter.setPen(Qt::NoPen);
      }
      drawOutline(painter, outline, item.highlight, outlineColour,
                  bottom ? Qt::DashLine : Qt::SolidLine);
      const QRectF box = onScreen(transform_, item.box);
      const double size = std::min(box.width(), box.height());
      if (size < 8) continue;  // too small to read at this zoom
      setPixelFont(painter, std::clamp(size * 0.3, 9.0, 18.0));
      painter.setPen(bottom ? QColor(170, 195, 255) : QColor(255, 255, 255));
      paintLabel(painter, box, QString::fromStdString(item.refDes), bottom);
    }
  }
  // Legend: how the sides are told apart.
  setPixelFont(painter, 12);
  const QString top = tr("Top"), bottom = tr("Bottom (seen through the board)");
  const double bottomAt = 40 + painter.fontMetrics().horizontalAdvance(top);
  const double end = bottomAt + 20 + painter.fontMetrics().horizontalAdvance(bottom);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(16, 20, 24, 220));
  painter.drawRect(QRectF(4, 4, end + 2, 22));
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(215, 215, 215), 1.5));
  painter.drawRect(QRectF(10, 10, 14, 10));
  painter.drawText(QPointF(30, 20), top);
  painter.setPen(QPen(QColor(110, 150, 255), 1.5, Qt::DashLine));
  painter.drawRect(QRectF(bottomAt, 10, 14, 10));
  painter.drawText(QPointF(bottomAt + 20, 20), bottom);
}

void DesignView::paintSchematic(QPainter& painter) const {
  painter.fillRect(rect(), QColor(255, 255, 250));
  for (const SceneItem& item : scene_.items) {
    const QPolygonF outline = onScreen(transform_, item.outline);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 250, 220));
    painter.drawPolygon(outline);
    fillHighlight(painter, outline, item.highlight);
    drawOutline(painter, outline, item.highlight, QColor(128, 0, 0), Qt::SolidLine);

    const QRectF box = outline.boundingRect();
    const double size = std::min(box.width(), box.height());
    const bool pinLabels = size >= 40;
    setPixelFont(painter, 9);
    for (const SceneMark& pin : item.marks) {
      const ViewPoint at = transform_.toScreen(pin.centre);
      painter.setPen(Qt::NoPen);
      painter.setBrush(QColor(0, 110, 0));
      painter.drawRect(QRectF(at.x - kPinMark, at.y - kPinMark, 2 * kPinMark, 2 * kPinMark));
      if (pinLabels && !pin.label.empty()) {
        painter.setPen(QColor(0, 90, 0));
        painter.drawText(QPointF(at.x + kPinMark + 1, at.y - kPinMark - 1),
                         QString::fromStdString(pin.label));
      }
    }
    if (size < 6) continue;
    // Designators share one height on a sheet, as in a schematic editor.
    setPixelFont(painter, std::clamp(kDesignatorHeight * transform_.scale(), 9.0, 16.0));
    painter.setPen(QColor(0, 0, 140));
    const QRectF above(box.left(), box.top() - painter.fontMetrics().height() - 2,
                       std::max(box.width(), 200.0), painter.fontMetrics().height());
    painter.drawText(above, Qt::AlignLeft | Qt::AlignBottom, QString::fromStdString(item.refDes));
  }
}

}  // namespace dbxhost
