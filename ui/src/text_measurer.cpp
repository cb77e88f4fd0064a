#include "qm/ui/text_measurer.h"

#include "qm/ui/pango_layout.h"

#include <pango/pango.h>
#include <pango/pangoft2.h>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace qm::ui {

namespace {

std::shared_ptr<const TextMeasurer>& current() {
  static auto* measurer = new std::shared_ptr<const TextMeasurer>();
  return *measurer;
}

}  // namespace

const TextMeasurer& textMeasurer() {
  auto& m = current();
  if (!m) m = makePangoTextMeasurer();
  return *m;
}

void setTextMeasurer(std::shared_ptr<const TextMeasurer> measurer) { current() = std::move(measurer); }

ScopedTextMeasurer::ScopedTextMeasurer(std::shared_ptr<const TextMeasurer> measurer) : previous_(current()) {
  setTextMeasurer(std::move(measurer));
}
ScopedTextMeasurer::~ScopedTextMeasurer() { setTextMeasurer(std::move(previous_)); }

// ---- line layout defaults: one line, measured prefix by prefix ----

namespace {

bool isTrailingSurrogate(const std::u16string& s, std::size_t i) {
  return i > 0 && i < s.size() && s[i] >= 0xDC00 && s[i] < 0xE000 && s[i - 1] >= 0xD800 && s[i - 1] < 0xDC00;
}

}  // namespace

std::vector<LineFragment> TextMeasurer::lineFragments(const AttributedString& text, double wrapWidth) const {
  if (text.empty()) return {};
  const Size size = measure(text, wrapWidth);
  return {LineFragment{Range{0, text.length()}, 0, size.height, size.width}};
}

CaretPosition TextMeasurer::caretPosition(const AttributedString& text, double, std::size_t index) const {
  index = std::min(index, text.length());
  CaretPosition c;
  if (text.empty()) return c;
  c.height = measure(text, 0).height;
  if (index > 0) c.x = measure(text.attributedSubstring(Range{0, index}), 0).width;
  return c;
}

CaretPosition TextMeasurer::otherCaretPosition(const AttributedString& text, double wrapWidth, std::size_t index) const {
  return caretPosition(text, wrapWidth, index);
}

std::vector<Rect> TextMeasurer::rangeRects(const AttributedString& text, double wrapWidth, Range range) const {
  std::vector<Rect> out;
  for (const auto& line : lineFragments(text, wrapWidth)) {
    const std::size_t s = std::max(range.location, line.range.location);
    const std::size_t e = std::min(range.end(), line.range.end());
    if (s >= e) continue;
    // A line's own end is measured by its width: the caret there stands on the next line.
    const double x0 = s == line.range.location ? 0 : caretPosition(text, wrapWidth, s).x;
    const double x1 = e == line.range.end() ? line.width : caretPosition(text, wrapWidth, e).x;
    out.push_back(Rect{std::min(x0, x1), line.top, std::abs(x1 - x0), line.height});
  }
  return out;
}

std::size_t TextMeasurer::insertionIndexAt(const AttributedString& text, double wrapWidth, Point point) const {
  std::size_t best = 0;
  double bestDistance = std::abs(point.x);
  for (std::size_t i = 1; i <= text.length(); ++i) {
    if (isTrailingSurrogate(text.string(), i)) continue;
    const double d = std::abs(caretPosition(text, wrapWidth, i).x - point.x);
    if (d < bestDistance) {
      best = i;
      bestDistance = d;
    }
  }
  return best;
}

// ---- fixed width ----

double FixedWidthTextMeasurer::fontSize(const AttributedString& text, std::size_t i) const {
  const auto& f = text.attributesAt(i).font;
  return f ? f->pointSize() : 13.0;
}

double FixedWidthTextMeasurer::advance(const AttributedString& text, std::size_t i) const {
  const auto& a = text.attributesAt(i);
  return fontSize(text, i) * widthFactor_ + a.kern.value_or(0.0);
}

std::vector<FixedWidthTextMeasurer::Line> FixedWidthTextMeasurer::layout(const AttributedString& text, double wrapWidth) const {
  std::vector<Line> lines;
  const auto& s = text.string();
  bool wraps = false;
  if (wrapWidth > 0 && !s.empty()) {
    const auto& p = text.attributesAt(0).paragraphStyle;
    const LineBreakMode mode = p ? p->lineBreakMode : LineBreakMode::WordWrapping;
    wraps = mode == LineBreakMode::WordWrapping || mode == LineBreakMode::CharWrapping;
  }
  auto finish = [&](std::size_t start, std::size_t end) {
    Line l{start, end, 0, 0};
    double size = 0;
    for (std::size_t i = start; i < end; ++i) {
      l.width += advance(text, i);
      size = std::max(size, fontSize(text, i));
    }
    if (size == 0) size = s.empty() ? 13.0 : fontSize(text, std::min(start, s.size() - 1));
    l.height = size * heightFactor_;
    lines.push_back(l);
  };
  std::size_t start = 0;
  for (std::size_t i = 0; i <= s.size(); ++i) {
    if (i == s.size() || s[i] == u'\n') {
      // Wrap this paragraph [start, i) greedily at spaces.
      std::size_t lineStart = start;
      while (wraps) {
        double w = 0;
        std::size_t k = lineStart, lastSpace = std::string::npos;
        for (; k < i; ++k) {
          if (s[k] == u' ') lastSpace = k;
          w += advance(text, k);
          if (w > wrapWidth && k > lineStart) break;
        }
        if (k >= i) break;
        const std::size_t cut = lastSpace != std::string::npos && lastSpace > lineStart ? lastSpace : k;
        finish(lineStart, cut);
        lineStart = cut < i && s[cut] == u' ' ? cut + 1 : cut;
      }
      finish(lineStart, i);
      start = i + 1;
    }
  }
  return lines;
}

Size FixedWidthTextMeasurer::measure(const AttributedString& text, double wrapWidth) const {
  if (text.empty()) return Size{};
  Size size;
  for (const auto& l : layout(text, wrapWidth)) {
    size.width = std::max(size.width, l.width);
    size.height += l.height;
  }
  return size;
}

std::optional<std::size_t> FixedWidthTextMeasurer::characterIndexAt(const AttributedString& text, double wrapWidth, Point p) const {
  if (text.empty() || p.x < 0 || p.y < 0) return std::nullopt;
  double top = 0;
  for (const auto& l : layout(text, wrapWidth)) {
    if (p.y < top + l.height) {
      double x = 0;
      for (std::size_t i = l.start; i < l.end; ++i) {
        x += advance(text, i);
        if (p.x < x) return i;
      }
      return std::nullopt;
    }
    top += l.height;
  }
  return std::nullopt;
}

std::vector<LineFragment> FixedWidthTextMeasurer::lineFragments(const AttributedString& text, double wrapWidth) const {
  std::vector<LineFragment> out;
  if (text.empty()) return out;
  const auto lines = layout(text, wrapWidth);
  double top = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    // A line owns the units up to the next line's start: its break or wrapping space too.
    const std::size_t end = i + 1 < lines.size() ? lines[i + 1].start : text.length();
    out.push_back(LineFragment{Range{lines[i].start, end - lines[i].start}, top, lines[i].height, lines[i].width});
    top += lines[i].height;
  }
  return out;
}

CaretPosition FixedWidthTextMeasurer::caretPosition(const AttributedString& text, double wrapWidth, std::size_t index) const {
  index = std::min(index, text.length());
  if (text.empty()) return CaretPosition{0, 0, 13.0 * heightFactor_};
  const auto lines = layout(text, wrapWidth);
  double top = 0;
  std::size_t k = 0;
  for (std::size_t i = 1; i < lines.size() && lines[i].start <= index; ++i) {
    top += lines[i - 1].height;
    k = i;
  }
  double x = 0;
  for (std::size_t i = lines[k].start; i < std::min(index, lines[k].end); ++i) x += advance(text, i);
  return CaretPosition{x, top, lines[k].height};
}

std::size_t FixedWidthTextMeasurer::insertionIndexAt(const AttributedString& text, double wrapWidth, Point p) const {
  if (text.empty()) return 0;
  const auto lines = layout(text, wrapWidth);
  double top = 0;
  std::size_t k = 0;
  while (k + 1 < lines.size() && p.y >= top + lines[k].height) top += lines[k++].height;
  double x = 0;
  for (std::size_t i = lines[k].start; i < lines[k].end; ++i) {
    const double w = advance(text, i);
    if (p.x < x + w / 2) return i;
    x += w;
  }
  return lines[k].end;
}

// ---- Pango ----

PangoTextLayout::~PangoTextLayout() {
  if (layout) g_object_unref(layout);
}

std::size_t PangoTextLayout::unitOfByte(int byte) const {
  // Both units of a surrogate pair map to the character's first byte: answer the first unit.
  auto it = std::upper_bound(byteOfUnit.begin(), byteOfUnit.end(), byte);
  if (it == byteOfUnit.begin()) return 0;
  const int found = *(it - 1);
  return static_cast<std::size_t>(std::lower_bound(byteOfUnit.begin(), it, found) - byteOfUnit.begin());
}

const char* systemFontFamily() { return "DejaVu Sans"; }

namespace {

PangoWeight pangoWeight(FontWeight w) {
  switch (w) {
    case FontWeight::UltraLight: return PANGO_WEIGHT_ULTRALIGHT;
    case FontWeight::Thin: return PANGO_WEIGHT_THIN;
    case FontWeight::Light: return PANGO_WEIGHT_LIGHT;
    case FontWeight::Regular: return PANGO_WEIGHT_NORMAL;
    case FontWeight::Medium: return PANGO_WEIGHT_MEDIUM;
    case FontWeight::Semibold: return PANGO_WEIGHT_SEMIBOLD;
    case FontWeight::Bold: return PANGO_WEIGHT_BOLD;
    case FontWeight::Heavy: return PANGO_WEIGHT_ULTRABOLD;
    case FontWeight::Black: return PANGO_WEIGHT_HEAVY;
  }
  return PANGO_WEIGHT_NORMAL;
}

guint16 channel(double v) { return static_cast<guint16>(std::lround(std::clamp(v, 0.0, 1.0) * 65535.0)); }

void insert(PangoAttrList* list, PangoAttribute* a, int start, int end) {
  a->start_index = static_cast<guint>(start);
  a->end_index = static_cast<guint>(end);
  pango_attr_list_insert(list, a);
}

}  // namespace

bool firstLineIsRightToLeft(const PangoTextLayout& layout) {
  PangoLayoutLine* line = layout.layout ? pango_layout_get_line_readonly(layout.layout, 0) : nullptr;
  return line && pango_layout_line_get_resolved_direction(line) == PANGO_DIRECTION_RTL;
}

double alignedLineOffset(const PangoTextLayout& layout, double width) {
  PangoRectangle logical{};
  pango_layout_get_extents(layout.layout, nullptr, &logical);
  const double free = width - double(logical.width) / PANGO_SCALE;
  PangoAlignment alignment = pango_layout_get_alignment(layout.layout);
  if (pango_layout_get_auto_dir(layout.layout) && firstLineIsRightToLeft(layout))
    alignment = alignment == PANGO_ALIGN_LEFT ? PANGO_ALIGN_RIGHT : alignment == PANGO_ALIGN_RIGHT ? PANGO_ALIGN_LEFT : alignment;
  switch (alignment) {
    case PANGO_ALIGN_CENTER: return free / 2;
    case PANGO_ALIGN_RIGHT: return free;
    default: return 0;
  }
}

void buildPangoLayout(PangoTextLayout& out, PangoContext* context, const AttributedString& text, double wrapWidth, bool drawing) {
  out.layout = pango_layout_new(context);
  const auto& units = text.string();
  out.byteOfUnit.assign(units.size() + 1, 0);
  out.utf8.clear();
  for (std::size_t i = 0; i < units.size(); ++i) {
    out.byteOfUnit[i] = static_cast<int>(out.utf8.size());
    // Surrogate pairs become one character; its second unit maps to the same byte.
    if (units[i] >= 0xD800 && units[i] < 0xDC00 && i + 1 < units.size()) {
      out.utf8 += utf8FromUTF16(units.substr(i, 2));
      out.byteOfUnit[i + 1] = out.byteOfUnit[i];
      ++i;
    } else {
      out.utf8 += utf8FromUTF16(units.substr(i, 1));
    }
  }
  out.byteOfUnit[units.size()] = static_cast<int>(out.utf8.size());
  pango_layout_set_text(out.layout, out.utf8.c_str(), static_cast<int>(out.utf8.size()));

  PangoAttrList* list = pango_attr_list_new();
  ParagraphStyle paragraph;
  if (!text.empty() && text.attributesAt(0).paragraphStyle) paragraph = *text.attributesAt(0).paragraphStyle;
  text.enumerateRuns(Range{0, text.length()}, [&](Range r, const TextAttributes& a) {
    const int s = out.byteOfUnit[r.location], e = out.byteOfUnit[r.end()];
    const Font font = a.font.value_or(Font::system(13));
    PangoFontDescription* desc = pango_font_description_new();
    pango_font_description_set_family(desc, font.isSystem() ? systemFontFamily() : font.family().c_str());
    pango_font_description_set_weight(desc, pangoWeight(font.weight()));
    pango_font_description_set_absolute_size(desc, font.pointSize() * PANGO_SCALE);
    insert(list, pango_attr_font_desc_new(desc), s, e);
    pango_font_description_free(desc);
    if (a.kern && *a.kern != 0) insert(list, pango_attr_letter_spacing_new(static_cast<int>(*a.kern * PANGO_SCALE)), s, e);
    if (drawing) {
      const RGBA fg = a.foregroundColor.value_or(Color::black()).rgba();
      insert(list, pango_attr_foreground_new(channel(fg.red), channel(fg.green), channel(fg.blue)), s, e);
      insert(list, pango_attr_foreground_alpha_new(std::max<guint16>(1, channel(fg.alpha))), s, e);
      if (a.backgroundColor) {
        const RGBA bg = a.backgroundColor->rgba();
        insert(list, pango_attr_background_new(channel(bg.red), channel(bg.green), channel(bg.blue)), s, e);
        insert(list, pango_attr_background_alpha_new(std::max<guint16>(1, channel(bg.alpha))), s, e);
      }
      if (a.underlineStyle && *a.underlineStyle != 0) insert(list, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE), s, e);
    }
  });
  pango_layout_set_attributes(out.layout, list);
  pango_attr_list_unref(list);

  // Pango swaps left and right on a right-to-left line: its left is the natural alignment, and an
  // explicit side is asked for as the other one there.
  const bool rightToLeft = firstLineIsRightToLeft(out);
  switch (paragraph.alignment) {
    case TextAlignment::Center: pango_layout_set_alignment(out.layout, PANGO_ALIGN_CENTER); break;
    case TextAlignment::Right: pango_layout_set_alignment(out.layout, rightToLeft ? PANGO_ALIGN_LEFT : PANGO_ALIGN_RIGHT); break;
    case TextAlignment::Left: pango_layout_set_alignment(out.layout, rightToLeft ? PANGO_ALIGN_RIGHT : PANGO_ALIGN_LEFT); break;
    case TextAlignment::Justified: pango_layout_set_justify(out.layout, TRUE); break;
    case TextAlignment::Natural: pango_layout_set_alignment(out.layout, PANGO_ALIGN_LEFT); break;
  }
  if (paragraph.lineSpacing > 0) pango_layout_set_spacing(out.layout, static_cast<int>(paragraph.lineSpacing * PANGO_SCALE));
  if (wrapWidth > 0) {
    pango_layout_set_width(out.layout, static_cast<int>(wrapWidth * PANGO_SCALE));
    switch (paragraph.lineBreakMode) {
      case LineBreakMode::WordWrapping: pango_layout_set_wrap(out.layout, PANGO_WRAP_WORD_CHAR); break;
      case LineBreakMode::CharWrapping: pango_layout_set_wrap(out.layout, PANGO_WRAP_CHAR); break;
      case LineBreakMode::TruncatingHead: pango_layout_set_ellipsize(out.layout, PANGO_ELLIPSIZE_START); break;
      case LineBreakMode::TruncatingMiddle: pango_layout_set_ellipsize(out.layout, PANGO_ELLIPSIZE_MIDDLE); break;
      case LineBreakMode::TruncatingTail: pango_layout_set_ellipsize(out.layout, PANGO_ELLIPSIZE_END); break;
      case LineBreakMode::Clipping: pango_layout_set_width(out.layout, -1); break;
    }
  }
}

namespace {

class PangoMeasurer : public TextMeasurer {
 public:
  PangoMeasurer() {
    fontMap_ = pango_ft2_font_map_new();
    pango_ft2_font_map_set_resolution(PANGO_FT2_FONT_MAP(fontMap_), 72, 72);
    context_ = pango_font_map_create_context(fontMap_);
    cairoLikeOptions();
  }
  ~PangoMeasurer() override {
    g_object_unref(context_);
    g_object_unref(fontMap_);
  }

  Size measure(const AttributedString& text, double wrapWidth) const override {
    if (text.empty()) return Size{};
    std::lock_guard<std::mutex> lock(mutex_);
    PangoTextLayout l;
    buildPangoLayout(l, context_, text, wrapWidth, false);
    PangoRectangle logical{};
    pango_layout_get_extents(l.layout, nullptr, &logical);
    return Size{double(logical.width) / PANGO_SCALE, double(logical.height) / PANGO_SCALE};
  }

  std::optional<std::size_t> characterIndexAt(const AttributedString& text, double wrapWidth, Point p) const override {
    if (text.empty()) return std::nullopt;
    std::lock_guard<std::mutex> lock(mutex_);
    PangoTextLayout l;
    buildPangoLayout(l, context_, text, wrapWidth, false);
    int index = 0, trailing = 0;
    if (!pango_layout_xy_to_index(l.layout, static_cast<int>(p.x * PANGO_SCALE), static_cast<int>(p.y * PANGO_SCALE), &index, &trailing))
      return std::nullopt;
    return l.unitOfByte(index);
  }

  std::vector<LineFragment> lineFragments(const AttributedString& text, double wrapWidth) const override {
    std::vector<LineFragment> out;
    if (text.empty()) return out;
    std::lock_guard<std::mutex> lock(mutex_);
    PangoTextLayout l;
    buildPangoLayout(l, context_, text, wrapWidth, false);
    PangoLayoutIter* iter = pango_layout_get_iter(l.layout);
    do {
      PangoRectangle logical{};
      pango_layout_iter_get_line_extents(iter, nullptr, &logical);
      const PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
      LineFragment f;
      f.range.location = l.unitOfByte(line->start_index);
      f.top = double(logical.y) / PANGO_SCALE;
      f.height = double(logical.height) / PANGO_SCALE;
      f.width = double(logical.width) / PANGO_SCALE;
      if (!out.empty()) out.back().range.length = f.range.location - out.back().range.location;
      out.push_back(f);
    } while (pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);
    out.back().range.length = text.length() - out.back().range.location;
    return out;
  }

  CaretPosition caretPosition(const AttributedString& text, double wrapWidth, std::size_t index) const override {
    return cursor(text, wrapWidth, index, /*strong=*/true);
  }

  CaretPosition otherCaretPosition(const AttributedString& text, double wrapWidth, std::size_t index) const override {
    return cursor(text, wrapWidth, index, /*strong=*/false);
  }

  std::vector<Rect> rangeRects(const AttributedString& text, double wrapWidth, Range range) const override {
    std::vector<Rect> out;
    if (text.empty() || range.location >= text.length() || range.length == 0) return out;
    const std::size_t end = std::min(range.end(), text.length());
    std::lock_guard<std::mutex> lock(mutex_);
    PangoTextLayout l;
    buildPangoLayout(l, context_, text, wrapWidth, false);
    const int startByte = l.byteOfUnit[range.location], endByte = l.byteOfUnit[end];
    PangoLayoutIter* iter = pango_layout_get_iter(l.layout);
    do {
      PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
      const int lineEnd = line->start_index + line->length;
      const int s = std::max(startByte, line->start_index);
      // A range that goes on past the line's end (its break) covers the line to its edge.
      const int e = endByte > lineEnd ? endByte : std::min(endByte, lineEnd);
      if (s < e && s <= lineEnd) {
        PangoRectangle logical{};
        pango_layout_iter_get_line_extents(iter, nullptr, &logical);
        int* ranges = nullptr;
        int n = 0;
        pango_layout_line_get_x_ranges(line, s, e, &ranges, &n);
        for (int i = 0; i < n; ++i) {
          const double x0 = double(ranges[2 * i]) / PANGO_SCALE, x1 = double(ranges[2 * i + 1]) / PANGO_SCALE;
          if (x1 > x0) out.push_back(Rect{x0, double(logical.y) / PANGO_SCALE, x1 - x0, double(logical.height) / PANGO_SCALE});
        }
        g_free(ranges);
      }
    } while (pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);
    return out;
  }

  std::size_t insertionIndexAt(const AttributedString& text, double wrapWidth, Point p) const override {
    if (text.empty()) return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    PangoTextLayout l;
    buildPangoLayout(l, context_, text, wrapWidth, false);
    int index = 0, trailing = 0;
    pango_layout_xy_to_index(l.layout, static_cast<int>(p.x * PANGO_SCALE), static_cast<int>(p.y * PANGO_SCALE), &index, &trailing);
    // `trailing` counts characters past the grapheme's start: the caret goes after them.
    const char* start = l.utf8.c_str() + index;
    const char* after = g_utf8_offset_to_pointer(start, trailing);
    const int byte = std::min(static_cast<int>(after - l.utf8.c_str()), static_cast<int>(l.utf8.size()));
    return byte >= static_cast<int>(l.utf8.size()) ? text.length() : l.unitOfByte(byte);
  }

  bool hasFontNamed(const std::string& name) const override {
    std::lock_guard<std::mutex> lock(mutex_);
    PangoFontFamily** families = nullptr;
    int n = 0;
    pango_font_map_list_families(fontMap_, &families, &n);
    bool found = false;
    for (int i = 0; i < n && !found; ++i) found = g_ascii_strcasecmp(pango_font_family_get_name(families[i]), name.c_str()) == 0;
    g_free(families);
    return found;
  }

 private:
  // The strong cursor (where text of the paragraph's direction goes) or the weak one.
  CaretPosition cursor(const AttributedString& text, double wrapWidth, std::size_t index, bool strong) const {
    if (text.empty()) return CaretPosition{};
    index = std::min(index, text.length());
    std::lock_guard<std::mutex> lock(mutex_);
    PangoTextLayout l;
    buildPangoLayout(l, context_, text, wrapWidth, false);
    PangoRectangle at{};
    pango_layout_get_cursor_pos(l.layout, l.byteOfUnit[index], strong ? &at : nullptr, strong ? nullptr : &at);
    return CaretPosition{double(at.x) / PANGO_SCALE, double(at.y) / PANGO_SCALE, double(at.height) / PANGO_SCALE};
  }
  void cairoLikeOptions() {
    // Unhinted metrics, so that sizes scale with the drawing scale like the renderer's.
    pango_context_set_round_glyph_positions(context_, FALSE);
  }
  PangoFontMap* fontMap_ = nullptr;
  PangoContext* context_ = nullptr;
  mutable std::mutex mutex_;
};

}  // namespace

std::shared_ptr<const TextMeasurer> makePangoTextMeasurer() { return std::make_shared<PangoMeasurer>(); }

}  // namespace qm::ui
