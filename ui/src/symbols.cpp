#include "qm/ui/symbols.h"

#include <cmath>
#include <map>

namespace qm::ui {

namespace {

// Width and height of each symbol per point of size.
struct Shape {
  double width;
  double height;
};

const std::map<std::string, Shape>& shapes() {
  static const std::map<std::string, Shape> table = {
      {"xmark", {0.8, 0.8}},
      {"chevron.down", {0.95, 0.6}},
      {"arrow.counterclockwise", {0.95, 1.0}},
      {"paintbrush", {1.0, 1.0}},
      {"paintbrush.fill", {1.0, 1.0}},
      {"gearshape.fill", {1.0, 1.0}},
      {"hand.thumbsup.fill", {1.0, 1.0}},
      {"hand.thumbsdown.fill", {1.0, 1.0}},
      {"scissors", {0.85, 1.0}},
      {"qm.action", {1.35, 1.0}},
  };
  return table;
}

// Stroke width as a share of the symbol's height.
double strokeShare(FontWeight w) {
  switch (w) {
    case FontWeight::UltraLight: return 0.045;
    case FontWeight::Thin: return 0.055;
    case FontWeight::Light: return 0.07;
    case FontWeight::Regular: return 0.085;
    case FontWeight::Medium: return 0.1;
    case FontWeight::Semibold: return 0.115;
    case FontWeight::Bold: return 0.13;
    case FontWeight::Heavy: return 0.15;
    case FontWeight::Black: return 0.17;
  }
  return 0.085;
}

// Draws in a unit box mapped onto the target rectangle (y upwards).
class Pen {
 public:
  Pen(GraphicsContext& c, const Rect& r, const Color& color, double stroke)
      : c_(c), r_(r), color_(color), stroke_(stroke) {}
  Point at(double x, double y) const { return {r_.minX() + x * r_.width(), r_.minY() + y * r_.height()}; }
  double sx(double v) const { return v * r_.width(); }
  double sy(double v) const { return v * r_.height(); }

  void strokeLine(std::initializer_list<Point> unitPoints, bool closed = false) {
    stroke(polyline(unitPoints, closed));
  }
  void stroke(Path p) {
    p.setLineWidth(stroke_);
    p.setLineCap(LineCap::Round);
    p.setLineJoin(LineJoin::Round);
    c_.strokePath(p, color_);
  }
  void fill(const Path& p, CompositeOp op = CompositeOp::SourceOver) { c_.fillPath(p, color_, op); }
  // An arc of the unit box's circle of centre (cx, cy) and radius rr (share of height).
  Path arc(double cx, double cy, double rr, double fromDeg, double toDeg, int steps = 48) const {
    Path p;
    for (int i = 0; i <= steps; ++i) {
      const double a = (fromDeg + (toDeg - fromDeg) * i / steps) * M_PI / 180.0;
      Point q{r_.minX() + cx * r_.width() + std::cos(a) * rr * r_.height(), r_.minY() + cy * r_.height() + std::sin(a) * rr * r_.height()};
      if (i == 0)
        p.moveTo(q);
      else
        p.lineTo(q);
    }
    return p;
  }
  Path polygon(std::initializer_list<Point> unitPoints) const { return polyline(unitPoints, true); }
  // Straight segments through points of the unit box, closed back to the first when asked.
  Path polyline(std::initializer_list<Point> unitPoints, bool closed) const {
    Path p;
    bool first = true;
    for (Point u : unitPoints) {
      if (first)
        p.moveTo(at(u.x, u.y));
      else
        p.lineTo(at(u.x, u.y));
      first = false;
    }
    if (closed) p.close();
    return p;
  }
  Path unitRoundedRect(double x, double y, double w, double h, double radiusShareOfHeight) const {
    return Path::roundedRect(Rect{at(x, y), Size{sx(w), sy(h)}}, radiusShareOfHeight * r_.height(), radiusShareOfHeight * r_.height());
  }
  Path circle(double cx, double cy, double rr) const {
    const double rad = rr * r_.height();
    Point c = at(cx, cy);
    return Path::oval(Rect{c.x - rad, c.y - rad, 2 * rad, 2 * rad});
  }
  double strokeWidth() const { return stroke_; }

 private:
  GraphicsContext& c_;
  Rect r_;
  Color color_;
  double stroke_;
};

void gear(Pen& pen, double cx, double cy, double outer, double inner, double hole, int teeth) {
  Path p;
  const int steps = teeth * 4;
  for (int i = 0; i < steps; ++i) {
    // Each tooth: two points on the outer circle, two on the inner one.
    const double a0 = (i * 360.0 / steps - 360.0 / steps / 2.0) * M_PI / 180.0;
    const double a1 = ((i + 1) * 360.0 / steps - 360.0 / steps / 2.0) * M_PI / 180.0;
    const double rad = (i % 4 == 0 || i % 4 == 1) ? outer : inner;
    Point q0 = pen.at(cx, cy), q1 = q0;
    q0.x += std::cos(a0) * rad * pen.sy(1);
    q0.y += std::sin(a0) * rad * pen.sy(1);
    q1.x += std::cos(a1) * rad * pen.sy(1);
    q1.y += std::sin(a1) * rad * pen.sy(1);
    if (i == 0)
      p.moveTo(q0);
    else
      p.lineTo(q0);
    p.lineTo(q1);
  }
  p.close();
  pen.fill(p);
  pen.fill(pen.circle(cx, cy, hole), CompositeOp::DestinationOut);
}

void thumb(Pen& pen, bool down) {
  auto Y = [down](double y) { return down ? 1.0 - y : y; };
  // Sleeve.
  pen.fill(pen.unitRoundedRect(0.04, down ? 1 - 0.08 - 0.48 : 0.08, 0.2, 0.48, 0.05));
  // Palm with fingers.
  pen.fill(pen.unitRoundedRect(0.3, down ? 1 - 0.06 - 0.56 : 0.06, 0.64, 0.56, 0.12));
  // Thumb rising from the palm.
  Path t;
  t.moveTo(pen.at(0.32, Y(0.55)));
  t.lineTo(pen.at(0.5, Y(0.9)));
  t.curveTo(pen.at(0.68, Y(0.86)), pen.at(0.56, Y(1.0)), pen.at(0.7, Y(0.96)));
  t.lineTo(pen.at(0.64, Y(0.6)));
  t.close();
  pen.fill(t);
}

void brush(Pen& pen, bool filled) {
  // Handle from the top right to the ferrule.
  Path handle;
  handle.moveTo(pen.at(0.9, 0.92));
  handle.lineTo(pen.at(0.5, 0.5));
  pen.stroke(handle);
  // Ferrule.
  pen.fill(pen.polygon({{0.55, 0.38}, {0.62, 0.45}, {0.45, 0.62}, {0.38, 0.55}}));
  // Bristles: a blob to the lower left.
  Path b;
  b.moveTo(pen.at(0.4, 0.5));
  b.curveTo(pen.at(0.06, 0.06), pen.at(0.3, 0.3), pen.at(0.2, 0.02));
  b.curveTo(pen.at(0.5, 0.4), pen.at(0.08, 0.22), pen.at(0.36, 0.3));
  b.close();
  if (filled)
    pen.fill(b);
  else
    pen.stroke(b);
}

}  // namespace

std::optional<Size> symbolSize(const std::string& name, const SymbolConfiguration& configuration) {
  auto it = shapes().find(name);
  if (it == shapes().end()) return std::nullopt;
  const double p = configuration.pointSize > 0 ? configuration.pointSize : 13.0;
  return Size{std::round(it->second.width * p * 100) / 100, std::round(it->second.height * p * 100) / 100};
}

bool drawSymbol(const std::string& name, const SymbolConfiguration& configuration, GraphicsContext& c, const Rect& rect,
                const Color& color) {
  if (!shapes().count(name) || rect.isEmpty()) return false;
  Pen pen(c, rect, color, std::max(0.6, strokeShare(configuration.weight) * rect.height()));
  if (name == "xmark") {
    pen.strokeLine({{0.12, 0.12}, {0.88, 0.88}});
    pen.strokeLine({{0.12, 0.88}, {0.88, 0.12}});
  } else if (name == "chevron.down") {
    pen.strokeLine({{0.1, 0.78}, {0.5, 0.22}, {0.9, 0.78}});
  } else if (name == "arrow.counterclockwise") {
    // An open circle, gap at the upper left, the head at its top end pointing left.
    pen.stroke(pen.arc(0.5, 0.45, 0.36, 100, -170));
    const double a = 100 * M_PI / 180.0;
    const Point tip{0.5 + std::cos(a) * 0.36 / 0.95 - 0.1, 0.45 + std::sin(a) * 0.36};
    pen.fill(pen.polygon({{tip.x, tip.y}, {tip.x + 0.24, tip.y + 0.16}, {tip.x + 0.22, tip.y - 0.18}}));
  } else if (name == "paintbrush" || name == "paintbrush.fill") {
    brush(pen, name == "paintbrush.fill");
  } else if (name == "gearshape.fill") {
    gear(pen, 0.5, 0.5, 0.48, 0.36, 0.15, 8);
  } else if (name == "qm.action") {
    // A gear with a small menu chevron to its right.
    Pen box(c, Rect{rect.minX(), rect.minY(), rect.height(), rect.height()}, color, pen.strokeWidth());
    gear(box, 0.5, 0.5, 0.46, 0.34, 0.14, 8);
    Pen right(c, Rect{rect.minX() + rect.height() * 1.02, rect.minY(), rect.width() - rect.height() * 1.02, rect.height()}, color,
              pen.strokeWidth() * 0.8);
    right.fill(right.polygon({{0.0, 0.55}, {1.0, 0.55}, {0.5, 0.3}}));
  } else if (name == "hand.thumbsup.fill" || name == "hand.thumbsdown.fill") {
    thumb(pen, name == "hand.thumbsdown.fill");
  } else if (name == "scissors") {
    // Blades crossing above two finger rings.
    pen.strokeLine({{0.38, 0.36}, {0.82, 0.96}});
    pen.strokeLine({{0.62, 0.36}, {0.18, 0.96}});
    pen.stroke(pen.circle(0.27, 0.2, 0.15));
    pen.stroke(pen.circle(0.73, 0.2, 0.15));
    pen.fill(pen.circle(0.5, 0.52, 0.045), CompositeOp::DestinationOut);
  }
  return true;
}

}  // namespace qm::ui
