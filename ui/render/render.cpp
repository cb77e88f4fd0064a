#include "qm/ui/render.h"

#include "cairo_context.h"
#include "qm/ui/display.h"

#include <cmath>

namespace qm::ui::render {

namespace {

Bitmap toBitmap(cairo_surface_t* surface) {
  cairo_surface_flush(surface);
  Bitmap b;
  b.width = cairo_image_surface_get_width(surface);
  b.height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  b.pixels.resize(static_cast<size_t>(b.width) * static_cast<size_t>(b.height));
  for (int y = 0; y < b.height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
    std::copy(row, row + b.width, b.pixels.begin() + static_cast<long>(y) * b.width);
  }
  return b;
}

template <class Draw>
Bitmap renderSized(Size size, double scale, const Color& background, Draw draw) {
  const int w = std::max(1, static_cast<int>(std::ceil(size.width * scale - 1e-9)));
  const int h = std::max(1, static_cast<int>(std::ceil(size.height * scale - 1e-9)));
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(surface);
  const RGBA bg = background.rgba();
  if (bg.alpha > 0) {
    cairo_set_source_rgba(cr, bg.red, bg.green, bg.blue, bg.alpha);
    cairo_paint(cr);
  }
  // Points with y upwards onto pixels with y downwards.
  cairo_scale(cr, scale, -scale);
  cairo_translate(cr, 0, -size.height);
  {
    CairoContext context(cr);
    draw(context);
  }
  cairo_destroy(cr);
  Bitmap out = toBitmap(surface);
  cairo_surface_destroy(surface);
  return out;
}

}  // namespace

Bitmap renderView(View& view, double scale, const Color& background) {
  view.layoutSubtreeIfNeeded();
  return renderSized(view.frame().size, scale, background, [&](GraphicsContext& c) { drawViewTree(view, c); });
}

Bitmap renderWindow(Window& window, double scale, const Color& background) {
  if (window.contentView()) window.contentView()->layoutSubtreeIfNeeded();
  return renderSized(window.frame().size, scale, background, [&](GraphicsContext& c) { drawWindow(window, c); });
}

Bitmap rasterize(const Image& image, double scale) {
  return renderSized(image.size(), scale, Color::clear(), [&](GraphicsContext& c) {
    c.drawImage(image, Rect{Point{}, image.size()}, CompositeOp::SourceOver, 1.0);
  });
}

bool writePNG(const Bitmap& bitmap, const std::string& path, std::string* error) {
  if (bitmap.width <= 0 || bitmap.height <= 0) {
    if (error) *error = "empty picture";
    return false;
  }
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, bitmap.width, bitmap.height);
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < bitmap.height; ++y)
    std::copy_n(bitmap.pixels.begin() + static_cast<long>(y) * bitmap.width, bitmap.width,
                reinterpret_cast<uint32_t*>(data + y * stride));
  cairo_surface_mark_dirty(surface);
  const cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    if (error) *error = std::string("cannot write ") + path + ": " + cairo_status_to_string(status);
    return false;
  }
  return true;
}

namespace {
std::vector<GalleryPage>& pages() {
  static auto* list = new std::vector<GalleryPage>;
  return *list;
}
}  // namespace

void registerGalleryPages(std::vector<GalleryPage> more) {
  for (auto& p : more) pages().push_back(std::move(p));
}

const std::vector<GalleryPage>& galleryPages() { return pages(); }

namespace {
std::vector<ToolCommand>& commands() {
  static auto* list = new std::vector<ToolCommand>;
  return *list;
}
}  // namespace

void registerToolCommand(ToolCommand command) { commands().push_back(std::move(command)); }

const std::vector<ToolCommand>& toolCommands() { return commands(); }

}  // namespace qm::ui::render
