#pragma once
// Plain geometry in points. Coordinates grow to the right and upwards: a frame's origin is its
// lower-left corner in the coordinate system of the superview.

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
  double width() const { return size.width; }
  double height() const { return size.height; }
  // Half-open on the upper and right edges, so adjacent frames never both contain a point.
  bool contains(Point p) const { return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }

  friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace qm::ui
