#include "qm/ui/attributed_string.h"

namespace qm::ui {

void TextAttributes::merge(const TextAttributes& o) {
  if (o.foregroundColor) foregroundColor = o.foregroundColor;
  if (o.font) font = o.font;
  if (o.backgroundColor) backgroundColor = o.backgroundColor;
  if (o.strikethroughStyle) strikethroughStyle = o.strikethroughStyle;
  if (o.strikethroughColor) strikethroughColor = o.strikethroughColor;
  if (o.paragraphStyle) paragraphStyle = o.paragraphStyle;
  if (o.kern) kern = o.kern;
  if (o.shadow) shadow = o.shadow;
  if (o.link) link = o.link;
  if (o.underlineStyle) underlineStyle = o.underlineStyle;
  for (const auto& [k, v] : o.custom) custom[k] = v;
}

void TextAttributes::remove(AttributeKey key) {
  switch (key) {
    case AttributeKey::ForegroundColor: foregroundColor.reset(); break;
    case AttributeKey::Font: font.reset(); break;
    case AttributeKey::BackgroundColor: backgroundColor.reset(); break;
    case AttributeKey::StrikethroughStyle: strikethroughStyle.reset(); break;
    case AttributeKey::StrikethroughColor: strikethroughColor.reset(); break;
    case AttributeKey::ParagraphStyle: paragraphStyle.reset(); break;
    case AttributeKey::Kern: kern.reset(); break;
    case AttributeKey::Shadow: shadow.reset(); break;
    case AttributeKey::Link: link.reset(); break;
    case AttributeKey::UnderlineStyle: underlineStyle.reset(); break;
  }
}

bool TextAttributes::empty() const { return *this == TextAttributes{}; }

std::u16string utf16FromUTF8(const std::string& s) {
  std::u16string out;
  out.reserve(s.size());
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  for (size_t i = 0; i < n;) {
    const unsigned c = p[i];
    unsigned cp = 0xFFFD;
    size_t len = 1;
    auto cont = [&](size_t k) { return i + k < n && (p[i + k] & 0xC0) == 0x80; };
    if (c < 0x80) {
      cp = c;
    } else if (c >= 0xC2 && c < 0xE0 && cont(1)) {
      cp = ((c & 0x1F) << 6) | (p[i + 1] & 0x3F);
      len = 2;
    } else if (c >= 0xE0 && c < 0xF0 && cont(1) && cont(2)) {
      cp = ((c & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F);
      len = 3;
      if (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000)) cp = 0xFFFD;
    } else if (c >= 0xF0 && c < 0xF5 && cont(1) && cont(2) && cont(3)) {
      cp = ((c & 0x07) << 18) | ((p[i + 1] & 0x3F) << 12) | ((p[i + 2] & 0x3F) << 6) | (p[i + 3] & 0x3F);
      len = 4;
      if (cp < 0x10000 || cp > 0x10FFFF) cp = 0xFFFD;
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string utf8FromUTF16(const std::u16string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;  // a lone surrogate
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

AttributedString::AttributedString(const std::string& utf8, const TextAttributes& attributes)
    : AttributedString(utf16FromUTF8(utf8), attributes) {}

AttributedString::AttributedString(std::u16string text, const TextAttributes& attributes) : text_(std::move(text)) {
  if (!text_.empty()) runs_.push_back(Run{text_.size(), attributes});
}

void AttributedString::check(Range range) const {
  if (range.location > text_.size() || range.length > text_.size() - range.location)
    throw RangeError("range {" + std::to_string(range.location) + ", " + std::to_string(range.length) +
                     "} out of bounds; length " + std::to_string(text_.size()));
}

const TextAttributes& AttributedString::attributesAt(std::size_t index, Range* effectiveRange) const {
  if (index >= text_.size())
    throw RangeError("index " + std::to_string(index) + " out of bounds; length " + std::to_string(text_.size()));
  std::size_t start = 0;
  for (const auto& run : runs_) {
    if (index < start + run.length) {
      if (effectiveRange) *effectiveRange = Range{start, run.length};
      return run.attributes;
    }
    start += run.length;
  }
  throw RangeError("attribute runs do not cover the text");  // not reached: runs cover the text
}

std::size_t AttributedString::splitAt(std::size_t at) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < runs_.size(); ++i) {
    if (at == start) return i;
    if (at < start + runs_[i].length) {
      Run tail{start + runs_[i].length - at, runs_[i].attributes};
      runs_[i].length = at - start;
      runs_.insert(runs_.begin() + static_cast<long>(i) + 1, std::move(tail));
      return i + 1;
    }
    start += runs_[i].length;
  }
  return runs_.size();
}

void AttributedString::coalesce() {
  std::vector<Run> merged;
  for (auto& run : runs_) {
    if (run.length == 0) continue;
    if (!merged.empty() && merged.back().attributes == run.attributes)
      merged.back().length += run.length;
    else
      merged.push_back(std::move(run));
  }
  runs_ = std::move(merged);
}

void AttributedString::editAttributes(Range range, const std::function<void(TextAttributes&)>& edit) {
  check(range);
  if (range.length == 0) return;
  const std::size_t a = splitAt(range.location);
  const std::size_t b = splitAt(range.end());
  for (std::size_t i = a; i < b; ++i) edit(runs_[i].attributes);
  coalesce();
}

void AttributedString::setAttributes(const TextAttributes& attributes, Range range) {
  editAttributes(range, [&](TextAttributes& t) { t = attributes; });
}

void AttributedString::addAttributes(const TextAttributes& attributes, Range range) {
  editAttributes(range, [&](TextAttributes& t) { t.merge(attributes); });
}

void AttributedString::removeAttribute(AttributeKey key, Range range) {
  editAttributes(range, [&](TextAttributes& t) { t.remove(key); });
}

void AttributedString::removeCustomAttribute(const std::string& key, Range range) {
  editAttributes(range, [&](TextAttributes& t) { t.custom.erase(key); });
}

void AttributedString::addDefaultAttributes(const TextAttributes& defaults) {
  for (auto& run : runs_) {
    TextAttributes filled = defaults;
    filled.merge(run.attributes);
    run.attributes = std::move(filled);
  }
  coalesce();
}

void AttributedString::replaceCharacters(Range range, const std::u16string& text) {
  check(range);
  TextAttributes inherit;
  if (range.location > 0)
    inherit = attributesAt(range.location - 1);
  else if (!text_.empty())
    inherit = attributesAt(0);
  replaceCharacters(range, AttributedString(text, inherit));
}

void AttributedString::replaceCharacters(Range range, const AttributedString& text) {
  check(range);
  const std::size_t a = splitAt(range.location);
  const std::size_t b = splitAt(range.end());
  runs_.erase(runs_.begin() + static_cast<long>(a), runs_.begin() + static_cast<long>(b));
  runs_.insert(runs_.begin() + static_cast<long>(a), text.runs_.begin(), text.runs_.end());
  text_.replace(range.location, range.length, text.text_);
  coalesce();
}

void AttributedString::append(const AttributedString& text) { replaceCharacters(Range{text_.size(), 0}, text); }

AttributedString AttributedString::attributedSubstring(Range range) const {
  check(range);
  AttributedString out;
  out.text_ = text_.substr(range.location, range.length);
  enumerateRuns(range, [&](Range r, const TextAttributes& t) { out.runs_.push_back(Run{r.length, t}); });
  return out;
}

void AttributedString::enumerateRuns(Range range, const std::function<void(Range, const TextAttributes&)>& visit) const {
  check(range);
  // A copy: the visitor may change this string's attributes (filling in defaults run by run).
  const std::vector<Run> runs = runs_;
  std::size_t start = 0;
  for (const auto& run : runs) {
    const std::size_t s = std::max(start, range.location);
    const std::size_t e = std::min(start + run.length, range.end());
    if (s < e) visit(Range{s, e - s}, run.attributes);
    start += run.length;
    if (start >= range.end()) break;
  }
}

}  // namespace qm::ui
