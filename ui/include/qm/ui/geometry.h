#pragma once
// Plain geometry in points: points, sizes, rectangles, ranges of text and affine transforms.
// Coordinates grow to the right and upwards: a frame's origin is its lower-left corner in the
// coordinate system of the superview (a flipped view lets y grow downwards inside itself).

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace qm::ui {

struct Point {
  double x = 0.0;
  double y = 0.0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  double width = 0.0;
  double height = 0.0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  Point origin;
  Size size;

  constexpr Rect() = default;
  constexpr Rect(double x, double y, double width, double height)
      : origin{x, y}, size{width, height} {}
  constexpr Rect(Point o, Size s) : origin(o), size(s) {}

  double minX() const { return origin.x; }
  double minY() const { return origin.y; }
  double maxX() const { return origin.x + size.width; }
  double maxY() const { return origin.y + size.height; }
  double midX() const { return origin.x + size.width * 0.5; }
  double midY() const { return origin.y + size.height * 0.5; }
  double width() const { return size.width; }
  double height() const { return size.height; }
  bool isEmpty() const { return !(size.width > 0) || !(size.height > 0); }
  // Half-open on the upper and right edges, so adjacent frames never both contain a point.
  bool contains(Point p) const { return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }
  // Grows (negative values) or shrinks (positive values) every side.
  Rect insetBy(double dx, double dy) const {
    return Rect{origin.x + dx, origin.y + dy, size.width - 2 * dx, size.height - 2 * dy};
  }
  Rect offsetBy(double dx, double dy) const { return Rect{origin.x + dx, origin.y + dy, size.width, size.height}; }
  // The common part; an empty rectangle at the origin when they do not meet.
  Rect intersection(const Rect& o) const {
    const double x0 = std::max(minX(), o.minX()), y0 = std::max(minY(), o.minY());
    const double x1 = std::min(maxX(), o.maxX()), y1 = std::min(maxY(), o.maxY());
    if (x1 <= x0 || y1 <= y0) return Rect{};
    return Rect{x0, y0, x1 - x0, y1 - y0};
  }
  bool intersects(const Rect& o) const { return !intersection(o).isEmpty(); }

  friend bool operator==(const Rect&, const Rect&) = default;
};

// A range of UTF-16 units (text) or of items.
struct Range {
  static constexpr std::size_t kNotFound = std::numeric_limits<std::size_t>::max();
  std::size_t location = 0;
  std::size_t length = 0;
  std::size_t end() const { return location + length; }
  bool isValid() const { return location != kNotFound; }
  bool contains(std::size_t index) const { return index >= location && index < end(); }
  friend bool operator==(const Range&, const Range&) = default;
};

// x' = a x + c y + tx, y' = b x + d y + ty.
struct AffineTransform {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

  static AffineTransform translation(double x, double y) { return {1, 0, 0, 1, x, y}; }
  static AffineTransform scaling(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
  static AffineTransform rotationDegrees(double degrees) {
    const double r = degrees * M_PI / 180.0;
    return {std::cos(r), std::sin(r), -std::sin(r), std::cos(r), 0, 0};
  }
  // The transform that applies `first` and then this one.
  AffineTransform after(const AffineTransform& first) const {
    return {a * first.a + c * first.b,   b * first.a + d * first.b,   a * first.c + c * first.d,
            b * first.c + d * first.d,   a * first.tx + c * first.ty + tx, b * first.tx + d * first.ty + ty};
  }
  Point apply(Point p) const { return Point{a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
  friend bool operator==(const AffineTransform&, const AffineTransform&) = default;
};

}  // namespace qm::ui
