#pragma once
// Fonts as values: the system font at a size and weight, or a named face. Named faces are looked
// up in the fonts the text measurer knows, and the lookup fails for a face that is not installed,
// so that callers fall back to the system font the way they would on any machine.

#include <optional>
#include <string>

namespace qm::ui {

enum class FontWeight { UltraLight, Thin, Light, Regular, Medium, Semibold, Bold, Heavy, Black };

class Font {
 public:
  static Font system(double size, FontWeight weight = FontWeight::Regular);
  static Font boldSystem(double size) { return system(size, FontWeight::Bold); }
  // None when no installed face has that name.
  static std::optional<Font> named(const std::string& name, double size);

  // "" for the system font.
  const std::string& family() const { return family_; }
  bool isSystem() const { return family_.empty(); }
  double pointSize() const { return size_; }
  FontWeight weight() const { return weight_; }

  friend bool operator==(const Font&, const Font&) = default;

 private:
  Font(std::string family, double size, FontWeight weight) : family_(std::move(family)), size_(size), weight_(weight) {}
  std::string family_;
  double size_ = 13;
  FontWeight weight_ = FontWeight::Regular;
};

}  // namespace qm::ui
