#include "qm/ui/color.h"
#include "qm/ui/font.h"
#include "qm/ui/text_measurer.h"

#include <algorithm>

namespace qm::ui {

namespace {
double unit(double v) { return v != v ? 0.0 : std::clamp(v, 0.0, 1.0); }
}  // namespace

Color Color::deviceRGB(double r, double g, double b, double a) {
  return Color(ColorSpace::DeviceRGB, unit(r), unit(g), unit(b), unit(a));
}
Color Color::genericRGB(double r, double g, double b, double a) {
  return Color(ColorSpace::GenericRGB, unit(r), unit(g), unit(b), unit(a));
}
Color Color::sRGB(double r, double g, double b, double a) { return Color(ColorSpace::SRGB, unit(r), unit(g), unit(b), unit(a)); }
Color Color::deviceWhite(double white, double a) {
  const double w = unit(white);
  return Color(ColorSpace::DeviceWhite, w, w, w, unit(a));
}
Color Color::pattern(const char*) { return Color(ColorSpace::Pattern, 0.5, 0.5, 0.5, 1.0); }

Color Color::withAlpha(double alpha) const {
  Color c = *this;
  c.a_ = unit(alpha);
  return c;
}

std::optional<Color> Color::toDeviceRGB() const {
  if (space_ == ColorSpace::Pattern) return std::nullopt;
  return Color(ColorSpace::DeviceRGB, r_, g_, b_, a_);
}

std::optional<Color> Color::toSRGB() const {
  if (space_ == ColorSpace::Pattern) return std::nullopt;
  return Color(ColorSpace::SRGB, r_, g_, b_, a_);
}

RGBA Color::rgba() const { return RGBA{r_, g_, b_, a_}; }

Font Font::system(double size, FontWeight weight) { return Font("", size > 0 ? size : 13.0, weight); }

std::optional<Font> Font::named(const std::string& name, double size) {
  if (name.empty() || !textMeasurer().hasFontNamed(name)) return std::nullopt;
  return Font(name, size > 0 ? size : 13.0, FontWeight::Regular);
}

}  // namespace qm::ui
