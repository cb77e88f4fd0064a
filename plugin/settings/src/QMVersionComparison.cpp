#include "QMVersionComparison.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>

namespace {

struct ParsedVersion {
  std::vector<int32_t> parts;
  std::string suffix;
};

ParsedVersion parseVersion(std::string_view text) {
  std::string numeric;
  ParsedVersion v;
  bool inSuffix = false;
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (!inSuffix) {
      if ((c >= '0' && c <= '9') || c == '.') {
        numeric.push_back(ch);
        continue;
      }
      if (numeric.empty()) continue;  // leading letters such as "v"
      inSuffix = true;
    }
    if (!std::isspace(c)) v.suffix.push_back(static_cast<char>(std::tolower(c)));
  }
  while (!numeric.empty() && numeric.back() == '.') numeric.pop_back();
  for (const auto& segment : QMSplitString(numeric, '.')) {
    int32_t value = 0;
    const auto [end, error] = std::from_chars(segment.data(), segment.data() + segment.size(), value);
    // An empty segment, or one too large for 32 bits, counts as 0.
    v.parts.push_back(error == std::errc() && end == segment.data() + segment.size() ? value : 0);
  }
  return v;
}

}  // namespace

std::vector<std::string> QMSplitString(std::string_view text, char separator) {
  std::vector<std::string> segments;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(separator, start);
    if (at == std::string_view::npos) {
      segments.emplace_back(text.substr(start));
      return segments;
    }
    segments.emplace_back(text.substr(start, at - start));
    start = at + 1;
  }
}

int QMCompareVersionWithSuffix(std::string_view a, std::string_view b) {
  const ParsedVersion va = parseVersion(a);
  const ParsedVersion vb = parseVersion(b);
  const size_t count = std::max(va.parts.size(), vb.parts.size());
  for (size_t i = 0; i < count; ++i) {
    const int32_t pa = i < va.parts.size() ? va.parts[i] : 0;
    const int32_t pb = i < vb.parts.size() ? vb.parts[i] : 0;
    if (pa != pb) return pa < pb ? -1 : 1;
  }
  if (va.suffix.empty() != vb.suffix.empty()) return va.suffix.empty() ? -1 : 1;
  // Byte order as unsigned bytes, a proper prefix first.
  const int c = va.suffix.compare(vb.suffix);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}
