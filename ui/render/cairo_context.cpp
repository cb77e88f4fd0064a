#include "cairo_context.h"

#include "qm/ui/pango_layout.h"
#include "qm/ui/text_measurer.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>

namespace qm::ui::render {

namespace {

cairo_operator_t cairoOp(CompositeOp op) {
  switch (op) {
    case CompositeOp::SourceOver: return CAIRO_OPERATOR_OVER;
    case CompositeOp::SourceAtop: return CAIRO_OPERATOR_ATOP;
    case CompositeOp::DestinationIn: return CAIRO_OPERATOR_DEST_IN;
    case CompositeOp::DestinationOut: return CAIRO_OPERATOR_DEST_OUT;
    case CompositeOp::Copy: return CAIRO_OPERATOR_SOURCE;
    case CompositeOp::Clear: return CAIRO_OPERATOR_CLEAR;
  }
  return CAIRO_OPERATOR_OVER;
}

void setColor(cairo_t* cr, const Color& c, double alphaScale = 1.0) {
  const RGBA v = c.rgba();
  cairo_set_source_rgba(cr, v.red, v.green, v.blue, v.alpha * alphaScale);
}

// Three box blurs of an A8 buffer approximate a Gaussian of the given sigma (pixels); the
// border pixels repeat beyond the edges. Both passes walk rows, so the vertical one stays in
// cache, and divide by multiplying (exact for every sum of up to 2^16 bytes).
void blurA8(unsigned char* data, int w, int h, int stride, double sigma) {
  if (!(sigma >= 0.5) || w <= 0 || h <= 0) return;
  const int r = static_cast<int>(std::clamp(std::lround(std::min(sigma, 1e6) * 0.93), 1L, 16384L));
  const uint64_t d = static_cast<uint64_t>(2 * r + 1);
  const uint64_t reciprocal = ((uint64_t{1} << 40) + d - 1) / d;
  auto divide = [reciprocal](uint32_t sum) { return static_cast<unsigned char>((sum * reciprocal) >> 40); };
  const auto width = static_cast<size_t>(w);
  std::vector<unsigned char> line(width);
  std::vector<unsigned char> source(width * static_cast<size_t>(h));
  std::vector<uint32_t> sums(width);
  auto rowAt = [&](int y) { return data + static_cast<ptrdiff_t>(y) * stride; };
  auto sourceRow = [&](int y) { return source.data() + static_cast<size_t>(std::clamp(y, 0, h - 1)) * width; };
  for (int pass = 0; pass < 3; ++pass) {
    for (int y = 0; y < h; ++y) {
      unsigned char* row = rowAt(y);
      uint32_t sum = 0;
      for (int x = -r; x <= r; ++x) sum += row[std::clamp(x, 0, w - 1)];
      for (int x = 0; x < w; ++x) {
        line[static_cast<size_t>(x)] = divide(sum);
        sum += row[std::min(x + r + 1, w - 1)];
        sum -= row[std::max(x - r, 0)];
      }
      std::copy(line.begin(), line.end(), row);
      std::copy(line.begin(), line.end(), source.begin() + static_cast<ptrdiff_t>(y * width));
    }
    std::fill(sums.begin(), sums.end(), 0u);
    for (int y = -r; y <= r; ++y) {
      const unsigned char* in = sourceRow(y);
      for (size_t x = 0; x < width; ++x) sums[x] += in[x];
    }
    for (int y = 0; y < h; ++y) {
      unsigned char* row = rowAt(y);
      const unsigned char* in = sourceRow(y + r + 1);
      const unsigned char* out = sourceRow(y - r);
      for (size_t x = 0; x < width; ++x) {
        row[x] = divide(sums[x]);
        sums[x] += in[x];
        sums[x] -= out[x];
      }
    }
  }
}

// Shadow masks larger than this many device pixels a side are not drawn.
constexpr int kMaxShadowPixels = 8192;

// Device pixels per unit of the current user space.
double deviceScale(cairo_t* cr) {
  double sx = 1, sy = 0;
  cairo_user_to_device_distance(cr, &sx, &sy);
  return std::hypot(sx, sy);
}

// The device-space box (x0, y0, x1, y1) that holds a user-space rectangle.
std::array<double, 4> deviceBounds(cairo_t* cr, double x0, double y0, double x1, double y1) {
  std::array<double, 4> box{1e18, 1e18, -1e18, -1e18};
  for (Point p : {Point{x0, y0}, Point{x1, y0}, Point{x0, y1}, Point{x1, y1}}) {
    cairo_user_to_device(cr, &p.x, &p.y);
    box = {std::min(box[0], p.x), std::min(box[1], p.y), std::max(box[2], p.x), std::max(box[3], p.y)};
  }
  return box;
}

// Paints `color` through a blurred mask over the device pixels x, y, w, h: `draw` puts the
// shape into the mask's context `m` (in the user space of `cr`), the blur has the given sigma
// (pixels), and the mask lands moved by dx, dy device pixels.
template <class Draw>
void paintBlurredMask(cairo_t* cr, int x, int y, int w, int h, double sigma, const Color& color, double dx, double dy,
                      Draw draw) {
  cairo_matrix_t ctm;
  cairo_get_matrix(cr, &ctm);
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
  cairo_t* m = cairo_create(mask);
  cairo_translate(m, -x, -y);
  cairo_transform(m, &ctm);
  draw(m);
  cairo_destroy(m);
  cairo_surface_flush(mask);
  blurA8(cairo_image_surface_get_data(mask), w, h, cairo_image_surface_get_stride(mask), sigma);
  cairo_surface_mark_dirty(mask);
  cairo_save(cr);
  cairo_identity_matrix(cr);
  setColor(cr, color);
  cairo_mask_surface(cr, mask, x + dx, y + dy);
  cairo_restore(cr);
  cairo_surface_destroy(mask);
}

struct SurfaceHolder {
  cairo_surface_t* surface = nullptr;
  ~SurfaceHolder() {
    if (surface) cairo_surface_destroy(surface);
  }
};

cairo_surface_t* decodedSurface(const Image& image) {
  if (auto holder = std::static_pointer_cast<SurfaceHolder>(image.rendererCache)) return holder->surface;
  auto holder = std::make_shared<SurfaceHolder>();
  if (image.kind() == Image::Kind::PNGFile) {
    cairo_surface_t* s = cairo_image_surface_create_from_png(image.filePath().c_str());
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS)
      holder->surface = s;
    else
      cairo_surface_destroy(s);
  } else if (const Bitmap* b = image.bitmap()) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, b->width, b->height);
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < b->height; ++y)
      std::copy_n(b->pixels.begin() + static_cast<long>(y) * b->width, b->width, reinterpret_cast<uint32_t*>(data + y * stride));
    cairo_surface_mark_dirty(s);
    holder->surface = s;
  }
  image.rendererCache = holder;
  return holder->surface;
}

// Strikethrough lines of `text` laid out in `layout`, in the layout's coordinates (y downwards
// from its top): through the middle of the lower-case letters, in the strikethrough colour (else
// the text colour), one point thick at 13 points.
void drawStrikethrough(cairo_t* cr, const PangoTextLayout& layout, const AttributedString& text) {
  struct Struck {
    int startByte, endByte;
    double size;
    Color color;
  };
  std::vector<Struck> struck;
  text.enumerateRuns(Range{0, text.length()}, [&](Range r, const TextAttributes& a) {
    if (!a.strikethroughStyle || *a.strikethroughStyle == 0) return;
    const Color color = a.strikethroughColor.value_or(a.foregroundColor.value_or(Color::black()));
    struck.push_back(Struck{layout.byteOfUnit[r.location], layout.byteOfUnit[r.end()], a.font ? a.font->pointSize() : 13.0, color});
  });
  if (struck.empty()) return;
  PangoLayoutIter* it = pango_layout_get_iter(layout.layout);
  do {
    PangoLayoutLine* line = pango_layout_iter_get_line_readonly(it);
    PangoRectangle extents{};
    pango_layout_iter_get_line_extents(it, nullptr, &extents);
    const double baseline = double(pango_layout_iter_get_baseline(it)) / PANGO_SCALE;
    const int lineStart = line->start_index, lineEnd = line->start_index + line->length;
    for (const Struck& s : struck) {
      const int a = std::max(s.startByte, lineStart), b = std::min(s.endByte, lineEnd);
      if (a >= b) continue;
      int x0 = 0, x1 = 0;
      pango_layout_line_index_to_x(line, a, FALSE, &x0);
      pango_layout_line_index_to_x(line, b, FALSE, &x1);
      if (b == lineEnd) x1 = extents.width;
      const double left = double(extents.x + std::min(x0, x1)) / PANGO_SCALE;
      const double width = double(std::abs(x1 - x0)) / PANGO_SCALE;
      const double thickness = std::max(0.5, s.size / 13.0);
      setColor(cr, s.color);
      cairo_rectangle(cr, left, baseline - 0.3 * s.size - thickness / 2, width, thickness);
      cairo_fill(cr);
    }
  } while (pango_layout_iter_next_line(it));
  pango_layout_iter_free(it);
}

}  // namespace

CairoContext::CairoContext(cairo_t* cr) : cr_(cr) {
  pango_ = pango_cairo_create_context(cr_);
  pango_cairo_context_set_resolution(pango_, 72);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(pango_, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(pango_, FALSE);
}

CairoContext::~CairoContext() {
  while (!groups_.empty()) endGroup();
  g_object_unref(pango_);
}

void CairoContext::onConcat(const AffineTransform& t) {
  cairo_matrix_t m;
  cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
  cairo_transform(cr_, &m);
}

void CairoContext::buildPath(const Path& path) {
  cairo_new_path(cr_);
  for (const auto& e : path.elements()) {
    switch (e.kind) {
      case Path::ElementKind::Move: cairo_move_to(cr_, e.points[0].x, e.points[0].y); break;
      case Path::ElementKind::Line: cairo_line_to(cr_, e.points[0].x, e.points[0].y); break;
      case Path::ElementKind::Curve:
        cairo_curve_to(cr_, e.points[0].x, e.points[0].y, e.points[1].x, e.points[1].y, e.points[2].x, e.points[2].y);
        break;
      case Path::ElementKind::Close: cairo_close_path(cr_); break;
    }
  }
}

void CairoContext::clip(const Path& path) {
  buildPath(path);
  cairo_clip(cr_);
}

void CairoContext::fillPath(const Path& path, const Color& color, CompositeOp op) {
  cairo_save(cr_);
  cairo_set_operator(cr_, cairoOp(op));
  setColor(cr_, color);
  buildPath(path);
  cairo_fill(cr_);
  cairo_restore(cr_);
}

void CairoContext::strokePath(const Path& path, const Color& color) {
  cairo_save(cr_);
  setColor(cr_, color);
  cairo_set_line_width(cr_, path.lineWidth());
  cairo_set_line_cap(cr_, path.lineCap() == LineCap::Round ? CAIRO_LINE_CAP_ROUND
                          : path.lineCap() == LineCap::Square ? CAIRO_LINE_CAP_SQUARE
                                                              : CAIRO_LINE_CAP_BUTT);
  cairo_set_line_join(cr_, path.lineJoin() == LineJoin::Round ? CAIRO_LINE_JOIN_ROUND
                           : path.lineJoin() == LineJoin::Bevel ? CAIRO_LINE_JOIN_BEVEL
                                                                : CAIRO_LINE_JOIN_MITER);
  buildPath(path);
  cairo_stroke(cr_);
  cairo_restore(cr_);
}

void CairoContext::drawLinearGradient(const Gradient& gradient, const Path& path, double angleDegrees) {
  const Rect b = path.bounds();
  const double a = angleDegrees * M_PI / 180.0;
  const double dx = std::cos(a), dy = std::sin(a);
  const double half = (std::abs(b.width() * dx) + std::abs(b.height() * dy)) / 2;
  drawLinearGradient(gradient, path, Point{b.midX() - dx * half, b.midY() - dy * half}, Point{b.midX() + dx * half, b.midY() + dy * half});
}

void CairoContext::drawLinearGradient(const Gradient& gradient, const Path& path, Point start, Point end) {
  if (gradient.colors.empty()) return;
  cairo_pattern_t* p = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
  const size_t n = gradient.colors.size();
  for (size_t i = 0; i < n; ++i) {
    const double at = i < gradient.locations.size() ? gradient.locations[i] : (n == 1 ? 0.0 : double(i) / double(n - 1));
    const RGBA c = gradient.colors[i].rgba();
    cairo_pattern_add_color_stop_rgba(p, at, c.red, c.green, c.blue, c.alpha);
  }
  cairo_save(cr_);
  cairo_set_source(cr_, p);
  buildPath(path);
  cairo_fill(cr_);
  cairo_restore(cr_);
  cairo_pattern_destroy(p);
}

void CairoContext::paintImageContent(const Image& image, const Rect& dest) {
  const Size s = image.size();
  if (!(s.width > 0) || !(s.height > 0) || dest.isEmpty()) return;
  cairo_save(cr_);
  // Upright: move to the image's top-left corner with y downwards.
  if (isFlipped())
    cairo_translate(cr_, dest.minX(), dest.minY());
  else {
    cairo_translate(cr_, dest.minX(), dest.maxY());
    cairo_scale(cr_, 1, -1);
  }
  cairo_scale(cr_, dest.width() / s.width, dest.height() / s.height);
  if (image.kind() == Image::Kind::Handler) {
    if (image.handler()) {
      // The handler draws in the image's own space: y upwards from its lower left.
      cairo_translate(cr_, 0, s.height);
      cairo_scale(cr_, 1, -1);
      CairoContext inner(cr_);
      image.handler()(inner, Rect{0, 0, s.width, s.height});
    }
  } else if (cairo_surface_t* surface = decodedSurface(image)) {
    const int pw = cairo_image_surface_get_width(surface), ph = cairo_image_surface_get_height(surface);
    if (pw > 0 && ph > 0) {
      cairo_scale(cr_, s.width / pw, s.height / ph);
      cairo_set_source_surface(cr_, surface, 0, 0);
      cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_GOOD);
      cairo_paint(cr_);
    }
  }
  cairo_restore(cr_);
}

void CairoContext::drawImage(const Image& image, const Rect& dest, CompositeOp op, double fraction) {
  cairo_push_group(cr_);
  paintImageContent(image, dest);
  cairo_pop_group_to_source(cr_);
  cairo_save(cr_);
  cairo_set_operator(cr_, cairoOp(op));
  cairo_paint_with_alpha(cr_, std::clamp(fraction, 0.0, 1.0));
  cairo_restore(cr_);
  cairo_set_source_rgb(cr_, 0, 0, 0);
}

void CairoContext::drawTemplateImage(const Image& image, const Rect& dest, const Color& tint, double fraction) {
  cairo_push_group(cr_);
  paintImageContent(image, dest);
  cairo_pattern_t* mask = cairo_pop_group(cr_);
  cairo_save(cr_);
  setColor(cr_, tint, std::clamp(fraction, 0.0, 1.0));
  cairo_mask(cr_, mask);
  cairo_restore(cr_);
  cairo_pattern_destroy(mask);
}

void CairoContext::drawText(const AttributedString& text, const Rect& rect) {
  if (text.empty()) return;
  ParagraphStyle paragraph;
  if (text.attributesAt(0).paragraphStyle) paragraph = *text.attributesAt(0).paragraphStyle;
  const bool wraps = paragraph.lineBreakMode == LineBreakMode::WordWrapping || paragraph.lineBreakMode == LineBreakMode::CharWrapping;
  const bool truncates = paragraph.lineBreakMode == LineBreakMode::TruncatingHead ||
                         paragraph.lineBreakMode == LineBreakMode::TruncatingMiddle ||
                         paragraph.lineBreakMode == LineBreakMode::TruncatingTail;
  // Wrapped and truncated text lays out in the rectangle's width; a single line is placed by
  // its alignment here, so that its measured width (and so its position) stays as measured.
  const Size measured = textMeasurer().measure(text, 0);
  const bool fits = measured.width <= rect.width() + 0.01;
  const double width = (wraps || truncates) && rect.width() > 0 && !(truncates && fits) && !(wraps && fits) ? rect.width() : 0;
  pango_cairo_update_context(cr_, pango_);
  PangoTextLayout layout;
  buildPangoLayout(layout, pango_, text, width, true);
  const double dx = width == 0 && rect.width() > 0 ? alignedLineOffset(layout, rect.width()) : 0;
  cairo_save(cr_);
  if (isFlipped())
    cairo_translate(cr_, rect.minX() + dx, rect.minY());
  else {
    cairo_translate(cr_, rect.minX() + dx, rect.maxY());
    cairo_scale(cr_, 1, -1);
  }
  // A text shadow (the first run's) under the text.
  const auto& shadow = text.attributesAt(0).shadow;
  if (shadow && shadow->color.alpha() > 0) {
    cairo_save(cr_);
    // The offset is given with y upwards.
    cairo_translate(cr_, shadow->offset.width, -shadow->offset.height);
    pango_cairo_layout_path(cr_, layout.layout);
    cairo_path_t* glyphs = cairo_copy_path(cr_);
    cairo_new_path(cr_);
    double x0, y0, x1, y1;
    cairo_append_path(cr_, glyphs);
    cairo_fill_extents(cr_, &x0, &y0, &x1, &y1);
    cairo_new_path(cr_);
    double ux = x0 - shadow->blurRadius * 2, uy = y0 - shadow->blurRadius * 2;
    double ux1 = x1 + shadow->blurRadius * 2, uy1 = y1 + shadow->blurRadius * 2;
    cairo_user_to_device(cr_, &ux, &uy);
    cairo_user_to_device(cr_, &ux1, &uy1);
    const int dx0 = static_cast<int>(std::floor(std::min(ux, ux1))), dy0 = static_cast<int>(std::floor(std::min(uy, uy1)));
    const int dw = static_cast<int>(std::ceil(std::max(ux, ux1))) - dx0, dh = static_cast<int>(std::ceil(std::max(uy, uy1))) - dy0;
    if (dw > 0 && dh > 0 && dw < kMaxShadowPixels && dh < kMaxShadowPixels) {
      paintBlurredMask(cr_, dx0, dy0, dw, dh, shadow->blurRadius * deviceScale(cr_) / 2, shadow->color, 0, 0, [&](cairo_t* m) {
        cairo_append_path(m, glyphs);
        cairo_set_source_rgba(m, 0, 0, 0, 1);
        cairo_fill(m);
      });
    }
    cairo_path_destroy(glyphs);
    cairo_restore(cr_);
  }
  pango_cairo_show_layout(cr_, layout.layout);
  drawStrikethrough(cr_, layout, text);
  cairo_restore(cr_);
}

void CairoContext::drawShadow(const Path& shape, const Color& color, double blurRadius, Size offset, double strokeWidth) {
  if (shape.isEmpty() || color.alpha() <= 0) return;
  cairo_save(cr_);
  cairo_translate(cr_, offset.width, offset.height);
  buildPath(shape);
  double x0, y0, x1, y1;
  if (strokeWidth > 0) {
    cairo_set_line_width(cr_, strokeWidth);
    cairo_stroke_extents(cr_, &x0, &y0, &x1, &y1);
  } else {
    cairo_fill_extents(cr_, &x0, &y0, &x1, &y1);
  }
  const double pad = blurRadius * 2 + 1;
  const auto [dx0, dy0, dx1, dy1] = deviceBounds(cr_, x0 - pad, y0 - pad, x1 + pad, y1 + pad);
  const int ix = static_cast<int>(std::floor(dx0)), iy = static_cast<int>(std::floor(dy0));
  const int w = static_cast<int>(std::ceil(dx1)) - ix, h = static_cast<int>(std::ceil(dy1)) - iy;
  if (w <= 0 || h <= 0 || w > kMaxShadowPixels || h > kMaxShadowPixels) {
    cairo_new_path(cr_);
    cairo_restore(cr_);
    return;
  }
  cairo_path_t* path = cairo_copy_path(cr_);
  cairo_new_path(cr_);
  paintBlurredMask(cr_, ix, iy, w, h, blurRadius * deviceScale(cr_) / 2, color, 0, 0, [&](cairo_t* m) {
    cairo_append_path(m, path);
    cairo_set_source_rgba(m, 0, 0, 0, 1);
    if (strokeWidth > 0) {
      cairo_set_line_width(m, strokeWidth);
      cairo_stroke(m);
    } else {
      cairo_fill(m);
    }
  });
  cairo_path_destroy(path);
  cairo_restore(cr_);
}

namespace {

// How far a shadow of that radius reaches beyond what casts it, in device pixels.
int shadowPad(double blurRadius, double scale) {
  return static_cast<int>(std::ceil((std::max(0.0, blurRadius) * 2 + 1) * scale));
}

}  // namespace

void CairoContext::beginShadowedContent(const LayerShadow& shadow, const Rect& extents) {
  Group g;
  g.shadowed = true;
  g.shadow.color = shadow.color;
  g.shadow.blurRadius = shadow.blurRadius;
  g.shadow.offset = shadow.offset;
  // The drawing's extents in whole device pixels (a clip on pixel edges changes no coverage),
  // limited to what can cast a shadow into the visible part.
  const auto [x0, y0, x1, y1] = deviceBounds(cr_, extents.minX(), extents.minY(), extents.maxX(), extents.maxY());
  double ox = shadow.offset.width, oy = shadow.offset.height;
  cairo_user_to_device_distance(cr_, &ox, &oy);
  const double reach = shadowPad(shadow.blurRadius, deviceScale(cr_)) + std::max(std::abs(ox), std::abs(oy));
  cairo_matrix_t ctm;
  cairo_get_matrix(cr_, &ctm);
  cairo_save(cr_);
  cairo_identity_matrix(cr_);
  double cx0, cy0, cx1, cy1;
  cairo_clip_extents(cr_, &cx0, &cy0, &cx1, &cy1);
  g.x = static_cast<int>(std::floor(std::max(x0, cx0 - reach))) - 1;
  g.y = static_cast<int>(std::floor(std::max(y0, cy0 - reach))) - 1;
  g.width = std::max(0, static_cast<int>(std::ceil(std::min(x1, cx1 + reach))) + 1 - g.x);
  g.height = std::max(0, static_cast<int>(std::ceil(std::min(y1, cy1 + reach))) + 1 - g.y);
  // Drawing just outside the clip still casts its shadow into it.
  cairo_reset_clip(cr_);
  cairo_rectangle(cr_, g.x, g.y, g.width, g.height);
  cairo_clip(cr_);
  cairo_set_matrix(cr_, &ctm);
  cairo_push_group(cr_);
  groups_.push_back(std::move(g));
}

void CairoContext::endShadowedContent() {
  if (!groups_.empty() && groups_.back().shadowed) endGroup();
}

void CairoContext::paintShadow(cairo_pattern_t* content, const Group& g) {
  if (g.width <= 0 || g.height <= 0 || g.shadow.color.alpha() <= 0) return;
  const double scale = deviceScale(cr_);
  const int pad = shadowPad(g.shadow.blurRadius, scale);
  const int w = g.width + 2 * pad, h = g.height + 2 * pad;
  if (w > kMaxShadowPixels || h > kMaxShadowPixels) return;
  double ox = g.shadow.offset.width, oy = g.shadow.offset.height;
  cairo_user_to_device_distance(cr_, &ox, &oy);
  // The drawing's alpha, with room for the blur around it.
  paintBlurredMask(cr_, g.x - pad, g.y - pad, w, h, g.shadow.blurRadius * scale / 2, g.shadow.color, ox, oy,
                   [&](cairo_t* m) {
                     cairo_set_source(m, content);
                     cairo_paint(m);
                   });
}

void CairoContext::beginTransparencyGroup(double alpha) {
  cairo_push_group(cr_);
  Group g;
  g.alpha = std::clamp(alpha, 0.0, 1.0);
  groups_.push_back(std::move(g));
}

void CairoContext::endTransparencyGroup() {
  if (!groups_.empty() && !groups_.back().shadowed) endGroup();
}

void CairoContext::endGroup() {
  const Group g = std::move(groups_.back());
  groups_.pop_back();
  cairo_pattern_t* content = cairo_pop_group(cr_);
  if (g.shadowed) {
    cairo_restore(cr_);  // the clip from before the group
    paintShadow(content, g);
  }
  cairo_set_source(cr_, content);
  cairo_paint_with_alpha(cr_, g.alpha);
  cairo_pattern_destroy(content);
  cairo_set_source_rgb(cr_, 0, 0, 0);
}

}  // namespace qm::ui::render
