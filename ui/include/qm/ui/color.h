#pragma once
// Colours as values: a colour space and its components. Device and generic RGB, sRGB and device
// white are the spaces the window uses; every colour converts to device RGB and to sRGB (the
// stand-in keeps the numbers: device, generic and sRGB share one profile here). Pattern colours
// stand for colours that have no components and do not convert.

#include <optional>

namespace qm::ui {

enum class ColorSpace { DeviceRGB, GenericRGB, SRGB, DeviceWhite, Pattern };

struct RGBA {
  double red = 0, green = 0, blue = 0, alpha = 0;
  friend bool operator==(const RGBA&, const RGBA&) = default;
};

class Color {
 public:
  // Components are clamped to 0...1.
  static Color deviceRGB(double r, double g, double b, double a = 1.0);
  // n/255 channels, as the look tables give them.
  static Color deviceRGB255(double r, double g, double b, double a = 1.0) {
    return deviceRGB(r / 255.0, g / 255.0, b / 255.0, a);
  }
  static Color genericRGB(double r, double g, double b, double a = 1.0);
  static Color sRGB(double r, double g, double b, double a = 1.0);
  static Color deviceWhite(double white, double a = 1.0);
  static Color pattern(const char* name);
  static Color clear() { return deviceWhite(0, 0); }
  static Color black() { return deviceWhite(0, 1); }
  static Color white() { return deviceWhite(1, 1); }

  ColorSpace space() const { return space_; }
  // For the RGB spaces; device white gives its grey level in all three.
  double red() const { return r_; }
  double green() const { return g_; }
  double blue() const { return b_; }
  double alpha() const { return a_; }

  Color withAlpha(double alpha) const;
  // None for a pattern colour.
  std::optional<Color> toDeviceRGB() const;
  std::optional<Color> toSRGB() const;
  // The components for drawing (a pattern colour draws as opaque mid grey).
  RGBA rgba() const;

  friend bool operator==(const Color&, const Color&) = default;

 private:
  Color(ColorSpace space, double r, double g, double b, double a) : space_(space), r_(r), g_(g), b_(b), a_(a) {}
  ColorSpace space_ = ColorSpace::DeviceWhite;
  double r_ = 0, g_ = 0, b_ = 0, a_ = 0;
};

}  // namespace qm::ui
