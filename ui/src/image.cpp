#include "qm/ui/image.h"

#include "qm/ui/graphics.h"
#include "qm/ui/symbols.h"

#include <dlfcn.h>

#include <fstream>
#include <set>
#include <sys/stat.h>

namespace qm::ui {

namespace {

std::set<std::string>& missingSymbols() {
  static auto* names = new std::set<std::string>;
  return *names;
}

constexpr double kDefaultSymbolPointSize = 15.0;
constexpr const char* kActionImageName = "qm.action";

bool fileSize(const std::string& path, long long& size) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  size = st.st_size;
  return true;
}

// A template image that draws the named symbol; none for an unknown name.
std::shared_ptr<Image> makeSymbol(const std::string& name, const SymbolConfiguration& config) {
  auto size = symbolSize(name, config);
  if (!size) return nullptr;
  auto image = Image::withHandler(*size, [name, config](GraphicsContext& context, const Rect& rect) {
    return drawSymbol(name, config, context, rect, Color::black());
  });
  image->setTemplate(true);
  return image;
}

}  // namespace

std::shared_ptr<Image> Image::withHandler(Size size, DrawHandler handler) {
  auto image = std::shared_ptr<Image>(new Image());
  image->kind_ = Kind::Handler;
  image->size_ = size;
  image->handler_ = std::move(handler);
  return image;
}

std::optional<Size> pngPixelSize(const std::string& path) {
  long long size = 0;
  if (!fileSize(path, size) || size < 24) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  unsigned char h[24] = {};
  if (!in.read(reinterpret_cast<char*>(h), sizeof h)) return std::nullopt;
  static const unsigned char sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  for (int i = 0; i < 8; ++i)
    if (h[i] != sig[i]) return std::nullopt;
  if (h[12] != 'I' || h[13] != 'H' || h[14] != 'D' || h[15] != 'R') return std::nullopt;
  auto be = [&](int at) { return (uint32_t(h[at]) << 24) | (uint32_t(h[at + 1]) << 16) | (uint32_t(h[at + 2]) << 8) | uint32_t(h[at + 3]); };
  const uint32_t w = be(16), hgt = be(20);
  if (w == 0 || hgt == 0 || w > 16384 || hgt > 16384) return std::nullopt;
  return Size{double(w), double(hgt)};
}

std::shared_ptr<Image> Image::fromPNGFile(const std::string& path) {
  long long bytes = 0;
  if (!fileSize(path, bytes) || bytes > 64ll * 1024 * 1024) return nullptr;
  auto pixels = pngPixelSize(path);
  if (!pixels) return nullptr;
  auto image = std::shared_ptr<Image>(new Image());
  image->kind_ = Kind::PNGFile;
  image->path_ = path;
  // A file named like "name@2x.png" holds two pixels per point; others one.
  const bool twoX = path.find("@2x.") != std::string::npos;
  image->size_ = twoX ? Size{pixels->width / 2, pixels->height / 2} : *pixels;
  return image;
}

std::shared_ptr<Image> Image::fromBitmap(Bitmap bitmap, Size pointSize) {
  if (bitmap.width <= 0 || bitmap.height <= 0 ||
      bitmap.pixels.size() != static_cast<size_t>(bitmap.width) * static_cast<size_t>(bitmap.height))
    return nullptr;
  auto image = std::shared_ptr<Image>(new Image());
  image->kind_ = Kind::Bitmap;
  image->size_ = pointSize;
  image->bitmap_ = std::move(bitmap);
  return image;
}

std::shared_ptr<Image> Image::systemSymbol(const std::string& name, const std::string& accessibilityDescription) {
  if (name == kActionImageName || missingSymbols().count(name)) return nullptr;
  SymbolConfiguration config{kDefaultSymbolPointSize, FontWeight::Regular};
  auto image = makeSymbol(name, config);
  if (!image) return nullptr;
  image->description_ = accessibilityDescription;
  image->symbolName_ = name;
  image->symbolConfiguration_ = config;
  return image;
}

std::shared_ptr<Image> Image::standardActionImage() {
  SymbolConfiguration config{kDefaultSymbolPointSize, FontWeight::Regular};
  auto image = makeSymbol(kActionImageName, config);
  if (image) image->description_ = "Action";
  return image;
}

void Image::setSymbolMissingForTesting(const std::string& name, bool missing) {
  if (missing)
    missingSymbols().insert(name);
  else
    missingSymbols().erase(name);
}

void Image::clearMissingSymbolsForTesting() { missingSymbols().clear(); }

std::vector<std::string> Image::symbolNames() {
  return {"paintbrush", "paintbrush.fill", "xmark", "arrow.counterclockwise", "chevron.down",
          "gearshape.fill", "hand.thumbsup.fill", "hand.thumbsdown.fill", "scissors"};
}

std::shared_ptr<Image> Image::withSymbolConfiguration(const SymbolConfiguration& configuration) const {
  if (symbolName_.empty()) return nullptr;
  auto image = makeSymbol(symbolName_, configuration);
  if (!image) return nullptr;
  image->description_ = description_;
  image->symbolName_ = symbolName_;
  image->symbolConfiguration_ = configuration;
  image->template_ = template_;
  return image;
}

Bundle Bundle::containing(const void* address) {
  Dl_info info{};
  std::string file;
  if (address && dladdr(address, &info) && info.dli_fname) file = info.dli_fname;
  if (file.empty()) return Bundle(".");
  const auto slash = file.rfind('/');
  std::string dir = slash == std::string::npos ? "." : file.substr(0, slash);
  // <bundle>/Contents/<arch>/<module>
  const std::string marker = "/Contents/";
  const auto at = dir.rfind(marker);
  if (at != std::string::npos && dir.find('/', at + marker.size()) == std::string::npos) return Bundle(dir.substr(0, at));
  return Bundle(dir);
}

std::string Bundle::resourcePath() const {
  struct stat st {};
  const std::string contents = root_ + "/Contents/Resources";
  if (::stat((root_ + "/Contents").c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return contents;
  return root_ + "/Resources";
}

std::optional<std::string> Bundle::pathForResource(const std::string& name, const std::string& type) const {
  if (name.empty() || name.find('/') != std::string::npos || name.find("..") != std::string::npos) return std::nullopt;
  const std::string path = resourcePath() + "/" + name + (type.empty() ? "" : "." + type);
  long long size = 0;
  if (!fileSize(path, size)) return std::nullopt;
  return path;
}

std::shared_ptr<Image> Bundle::imageForResource(const std::string& name) const {
  auto path = pathForResource(name, "png");
  return path ? Image::fromPNGFile(*path) : nullptr;
}

}  // namespace qm::ui
