#pragma once
// Images: a size in points and one representation: a drawing handler (drawn afresh at whatever
// scale the context has, like a vector image), a PNG file (decoded by the renderer; its size is
// read from the file's header here), or a bitmap of premultiplied ARGB pixels at 2x. Template
// images are masks that controls tint. System symbols are our own drawn images under the names
// the window asks for; a test may mark a name missing to exercise the callers' fallbacks.
// Bundles find the resources that lie beside the code that asks.

#include "qm/ui/color.h"
#include "qm/ui/geometry.h"
#include "qm/ui/font.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qm::ui {

class GraphicsContext;

// Premultiplied ARGB, one 32-bit value per pixel, rows from the top.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

struct SymbolConfiguration {
  double pointSize = 13.0;
  FontWeight weight = FontWeight::Regular;
  friend bool operator==(const SymbolConfiguration&, const SymbolConfiguration&) = default;
};

class Image {
 public:
  // Draws the image into `rect` of the context (the image's own rectangle, origin at zero).
  // Returns false when nothing could be drawn.
  using DrawHandler = std::function<bool(GraphicsContext&, const Rect&)>;
  enum class Kind { Handler, PNGFile, Bitmap };

  static std::shared_ptr<Image> withHandler(Size size, DrawHandler handler);
  // None when the file is missing, too large (64 MiB) or not a PNG.
  static std::shared_ptr<Image> fromPNGFile(const std::string& path);
  // `pointSize` is the bitmap's size divided by its scale (2 for our 2x bitmaps).
  static std::shared_ptr<Image> fromBitmap(Bitmap bitmap, Size pointSize);

  // A system symbol by name, a template image; none for an unknown or missing name.
  static std::shared_ptr<Image> systemSymbol(const std::string& name, const std::string& accessibilityDescription);
  // The standard action image (a template image of a gear with a small arrow).
  static std::shared_ptr<Image> standardActionImage();
  // Test hooks: a name marked missing is not found by systemSymbol.
  static void setSymbolMissingForTesting(const std::string& name, bool missing);
  static void clearMissingSymbolsForTesting();
  // The names systemSymbol knows.
  static std::vector<std::string> symbolNames();

  // A symbol image at the configuration's size and weight; none when this is not a symbol.
  std::shared_ptr<Image> withSymbolConfiguration(const SymbolConfiguration& configuration) const;

  Kind kind() const { return kind_; }
  Size size() const { return size_; }
  void setSize(Size size) { size_ = size; }
  bool isTemplate() const { return template_; }
  void setTemplate(bool on) { template_ = on; }
  const std::string& accessibilityDescription() const { return description_; }
  const std::string& symbolName() const { return symbolName_; }
  const std::optional<SymbolConfiguration>& symbolConfiguration() const { return symbolConfiguration_; }

  const DrawHandler& handler() const { return handler_; }
  const std::string& filePath() const { return path_; }
  const Bitmap* bitmap() const { return bitmap_ ? &*bitmap_ : nullptr; }

  // Scratch space for a renderer (a decoded file); not part of the image's value.
  mutable std::shared_ptr<void> rendererCache;

 private:
  Image() = default;
  Kind kind_ = Kind::Handler;
  Size size_;
  bool template_ = false;
  std::string description_;
  std::string symbolName_;
  std::optional<SymbolConfiguration> symbolConfiguration_;
  DrawHandler handler_;
  std::string path_;
  std::optional<Bitmap> bitmap_;
};

// Reads the pixel size from a PNG file's header without decoding it; none for anything else.
std::optional<Size> pngPixelSize(const std::string& path);

// The folder layout of a plug-in bundle: <bundle>/Contents/<arch>/<module>.so, resources in
// <bundle>/Contents/Resources.
class Bundle {
 public:
  explicit Bundle(std::string rootPath) : root_(std::move(rootPath)) {}
  // The bundle that holds the code at `address` (a function of the caller); for code outside a
  // bundle, the folder of the program or library.
  static Bundle containing(const void* address);
  const std::string& rootPath() const { return root_; }
  std::string resourcePath() const;
  // "<resources>/<name>.png", or none when there is no such file.
  std::optional<std::string> pathForResource(const std::string& name, const std::string& type = "png") const;
  std::shared_ptr<Image> imageForResource(const std::string& name) const;

 private:
  std::string root_;
};

}  // namespace qm::ui
