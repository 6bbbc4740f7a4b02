// How a view shows the design: a scale in pixels per database unit and the
// design point at the view's top-left corner. The design's y axis points up,
// the screen's down.
#pragma once

namespace dbxhost {

struct ViewPoint {
  double x = 0;
  double y = 0;
  friend bool operator==(const ViewPoint&, const ViewPoint&) = default;
};

// An axis-aligned box in design units; empty while nothing was added.
struct ViewBox {
  double left = 0, bottom = 0, right = 0, top = 0;
  bool empty = true;

  void add(ViewPoint p);
  void add(const ViewBox& other);
  double width() const { return empty ? 0 : right - left; }
  double height() const { return empty ? 0 : top - bottom; }
};

class ViewTransform {
 public:
  // Pixels per database unit at the limits: closest about one pixel per 10 nm,
  // farthest the whole 32-bit coordinate range in a few hundred pixels.
  static constexpr double kMaxScale = 1.0;
  static constexpr double kMinScale = 1e-7;

  double scale() const { return scale_; }

  ViewPoint toScreen(ViewPoint design) const;
  ViewPoint toDesign(ViewPoint screen) const;

  // Moves the picture by the given pixels, as when dragging it.
  void pan(double dx, double dy);
  // Multiplies the scale by factor, keeping the design point under the given
  // screen point where it is. The scale stays within its limits.
  void zoomAt(ViewPoint screen, double factor);
  // Shows the whole box centred in a view of the given size, with a margin
  // in pixels on every side. A flat box is fitted by its other extent, a
  // single point shown at the closest scale; an empty box or a view without
  // area leaves the transform as it is.
  void fit(const ViewBox& box, double viewWidth, double viewHeight, double margin);

 private:
  double scale_ = 1e-4;  // 10 pixels per millimetre
  ViewPoint origin_;     // design point at the view's top-left corner
};

}  // namespace dbxhost
