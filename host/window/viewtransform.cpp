#include "window/viewtransform.h"

#include <algorithm>

namespace dbxhost {

void ViewBox::add(ViewPoint p) {
  if (empty) {
    left = right = p.x;
    bottom = top = p.y;
    empty = false;
    return;
  }
  left = std::min(left, p.x);
  right = std::max(right, p.x);
  bottom = std::min(bottom, p.y);
  top = std::max(top, p.y);
}

void ViewBox::add(const ViewBox& other) {
  if (other.empty) return;
  add(ViewPoint{other.left, other.bottom});
  add(ViewPoint{other.right, other.top});
}

ViewPoint ViewTransform::toScreen(ViewPoint design) const {
  return {(design.x - origin_.x) * scale_, (origin_.y - design.y) * scale_};
}

ViewPoint ViewTransform::toDesign(ViewPoint screen) const {
  return {origin_.x + screen.x / scale_, origin_.y - screen.y / scale_};
}

void ViewTransform::pan(double dx, double dy) {
  origin_.x -= dx / scale_;
  origin_.y += dy / scale_;
}

void ViewTransform::zoomAt(ViewPoint screen, double factor) {
  if (!(factor > 0)) return;
  const ViewPoint anchor = toDesign(screen);
  scale_ = std::clamp(scale_ * factor, kMinScale, kMaxScale);
  origin_ = {anchor.x - screen.x / scale_, anchor.y + screen.y / scale_};
}

void ViewTransform::fit(const ViewBox& box, double viewWidth, double viewHeight, double margin) {
  if (viewWidth <= 0 || viewHeight <= 0 || box.empty) return;
  const double usableWidth = std::max(viewWidth - 2 * margin, 1.0);
  const double usableHeight = std::max(viewHeight - 2 * margin, 1.0);
  double fitted = kMaxScale;
  if (box.width() > 0) fitted = std::min(fitted, usableWidth / box.width());
  if (box.height() > 0) fitted = std::min(fitted, usableHeight / box.height());
  scale_ = std::clamp(fitted, kMinScale, kMaxScale);
  const ViewPoint centre{(box.left + box.right) / 2, (box.bottom + box.top) / 2};
  origin_ = {centre.x - viewWidth / 2 / scale_, centre.y + viewHeight / 2 / scale_};
}

}  // namespace dbxhost
