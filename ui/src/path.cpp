#include "qm/ui/path.h"

#include <algorithm>
#include <limits>

namespace qm::ui {

namespace {
// Control-point distance for a quarter circle drawn with one cubic curve.
constexpr double kKappa = 0.5522847498307936;
}  // namespace

Path Path::rect(const Rect& r) {
  Path p;
  p.moveTo({r.minX(), r.minY()});
  p.lineTo({r.maxX(), r.minY()});
  p.lineTo({r.maxX(), r.maxY()});
  p.lineTo({r.minX(), r.maxY()});
  p.close();
  p.shape_ = RoundedRect{r, 0, 0};
  return p;
}

Path Path::roundedRect(const Rect& r, double radiusX, double radiusY) {
  const double rx = std::clamp(radiusX, 0.0, std::max(0.0, r.width() * 0.5));
  const double ry = std::clamp(radiusY, 0.0, std::max(0.0, r.height() * 0.5));
  if (rx <= 0 || ry <= 0) {
    Path p = rect(r);
    p.shape_ = RoundedRect{r, radiusX, radiusY};
    return p;
  }
  Path p;
  const double kx = rx * kKappa, ky = ry * kKappa;
  p.moveTo({r.minX() + rx, r.minY()});
  p.lineTo({r.maxX() - rx, r.minY()});
  p.curveTo({r.maxX(), r.minY() + ry}, {r.maxX() - rx + kx, r.minY()}, {r.maxX(), r.minY() + ry - ky});
  p.lineTo({r.maxX(), r.maxY() - ry});
  p.curveTo({r.maxX() - rx, r.maxY()}, {r.maxX(), r.maxY() - ry + ky}, {r.maxX() - rx + kx, r.maxY()});
  p.lineTo({r.minX() + rx, r.maxY()});
  p.curveTo({r.minX(), r.maxY() - ry}, {r.minX() + rx - kx, r.maxY()}, {r.minX(), r.maxY() - ry + ky});
  p.lineTo({r.minX(), r.minY() + ry});
  p.curveTo({r.minX() + rx, r.minY()}, {r.minX(), r.minY() + ry - ky}, {r.minX() + rx - kx, r.minY()});
  p.close();
  p.shape_ = RoundedRect{r, radiusX, radiusY};
  return p;
}

Path Path::oval(const Rect& r) {
  Path p = roundedRect(r, r.width() * 0.5, r.height() * 0.5);
  p.shape_.reset();
  return p;
}

Path Path::line(Point from, Point to) {
  Path p;
  p.moveTo(from);
  p.lineTo(to);
  return p;
}

void Path::moveTo(Point p) {
  shape_.reset();
  elements_.push_back({ElementKind::Move, {p, {}, {}}});
}
void Path::lineTo(Point p) {
  shape_.reset();
  elements_.push_back({ElementKind::Line, {p, {}, {}}});
}
void Path::curveTo(Point end, Point c1, Point c2) {
  shape_.reset();
  elements_.push_back({ElementKind::Curve, {c1, c2, end}});
}
void Path::close() {
  shape_.reset();
  elements_.push_back({ElementKind::Close, {}});
}

void Path::append(const Path& other) {
  shape_.reset();
  elements_.insert(elements_.end(), other.elements_.begin(), other.elements_.end());
}

Path Path::transformed(const AffineTransform& t) const {
  Path p = *this;
  p.shape_.reset();
  for (auto& e : p.elements_)
    for (auto& pt : e.points) pt = t.apply(pt);
  return p;
}

Rect Path::bounds() const {
  double x0 = std::numeric_limits<double>::max(), y0 = x0, x1 = -x0, y1 = -x0;
  bool any = false;
  for (const auto& e : elements_) {
    const int n = e.kind == ElementKind::Curve ? 3 : (e.kind == ElementKind::Close ? 0 : 1);
    for (int i = 0; i < n; ++i) {
      any = true;
      x0 = std::min(x0, e.points[i].x);
      y0 = std::min(y0, e.points[i].y);
      x1 = std::max(x1, e.points[i].x);
      y1 = std::max(y1, e.points[i].y);
    }
  }
  return any ? Rect{x0, y0, x1 - x0, y1 - y0} : Rect{};
}

}  // namespace qm::ui
