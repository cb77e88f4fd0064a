#pragma once
// Vector paths: moves, lines, cubic curves and closes, with a line width, cap and join for
// stroking. Rounded rectangles remember what they were built from, so that a test reading a
// recorded drawing can check the rectangle and radii.

#include "qm/ui/geometry.h"

#include <optional>
#include <vector>

namespace qm::ui {

enum class LineCap { Butt, Round, Square };
enum class LineJoin { Miter, Round, Bevel };

class Path {
 public:
  enum class ElementKind { Move, Line, Curve, Close };
  struct Element {
    ElementKind kind;
    Point points[3];  // Move/Line: [0]; Curve: control 1, control 2, end
  };
  struct RoundedRect {
    Rect rect;
    double radiusX = 0, radiusY = 0;
    friend bool operator==(const RoundedRect&, const RoundedRect&) = default;
  };

  Path() = default;
  static Path rect(const Rect& r);
  // Radii are limited to half the width and height.
  static Path roundedRect(const Rect& r, double radiusX, double radiusY);
  static Path oval(const Rect& r);
  static Path line(Point from, Point to);

  void moveTo(Point p);
  void lineTo(Point p);
  void curveTo(Point end, Point control1, Point control2);
  void close();
  void append(const Path& other);
  Path transformed(const AffineTransform& t) const;

  const std::vector<Element>& elements() const { return elements_; }
  bool isEmpty() const { return elements_.empty(); }
  // The smallest rectangle holding every point (control points included).
  Rect bounds() const;
  // Set when the path was made by roundedRect (or rect, with radii 0) and not changed since.
  const std::optional<RoundedRect>& roundedRectShape() const { return shape_; }

  double lineWidth() const { return lineWidth_; }
  void setLineWidth(double w) { lineWidth_ = w; }
  LineCap lineCap() const { return cap_; }
  void setLineCap(LineCap c) { cap_ = c; }
  LineJoin lineJoin() const { return join_; }
  void setLineJoin(LineJoin j) { join_ = j; }

 private:
  std::vector<Element> elements_;
  std::optional<RoundedRect> shape_;
  double lineWidth_ = 1.0;
  LineCap cap_ = LineCap::Butt;
  LineJoin join_ = LineJoin::Miter;
};

}  // namespace qm::ui
