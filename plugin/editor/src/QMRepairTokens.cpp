#include "QMRepairTokens.h"

#include <bitset>
#include <charconv>
#include <cctype>
#include <climits>
#include <cmath>
#include <memory>

using qm::platform::TextRange;

namespace {

constexpr char16_t kRightSingleQuote = u'\u2019';

bool IsExtraWordCharacter(char16_t unit) {
  return unit == u'_' || unit == u'\'' || unit == kRightSingleQuote || unit == u'-';
}

bool IsAscii(std::u16string_view text) {
  for (const char16_t unit : text)
    if (unit >= 0x80) return false;
  return true;
}

// The normalised form of an all-ASCII token without the fold, which leaves ASCII as it is: the
// letters, digits and "_", "'", "-" kept, A-Z lower-cased.
template <typename String>
void NormalizeAscii(std::u16string_view token, String& out) {
  out.resize(token.size());
  std::size_t kept = 0;
  for (const char16_t unit : token) {
    const bool upper = unit >= u'A' && unit <= u'Z';
    if (upper || (unit >= u'a' && unit <= u'z') || (unit >= u'0' && unit <= u'9') || IsExtraWordCharacter(unit))
      out[kept++] = static_cast<typename String::value_type>(upper ? unit + (u'a' - u'A') : unit);
  }
  out.resize(kept);
}

// One bit per UTF-16 code unit, built on first use. A plain static, not a heap object: the
// bundle can be unloaded, and what it allocated for good would then be lost.
const std::bitset<0x10000>& WordCharacterSet() {
  static const std::bitset<0x10000> set = [] {
    std::bitset<0x10000> bits;
    for (std::uint32_t unit = 0; unit < 0x10000; ++unit) {
      const auto c = static_cast<char16_t>(unit);
      if (qm::platform::isAlphanumeric(c) || IsExtraWordCharacter(c)) bits.set(unit);
    }
    return bits;
  }();
  return set;
}

// ---- Numbers too large for a double ----------------------------------------------------------

// True when `n` follows the JSON number grammar.
bool IsJsonNumber(std::string_view n) {
  std::size_t p = 0;
  auto digits = [&] {
    const std::size_t from = p;
    while (p < n.size() && n[p] >= '0' && n[p] <= '9') ++p;
    return p - from;
  };
  if (p < n.size() && n[p] == '-') ++p;
  if (p < n.size() && n[p] == '0') ++p;
  else if (digits() == 0) return false;
  if (p < n.size() && n[p] == '.') {
    ++p;
    if (digits() == 0) return false;
  }
  if (p < n.size() && (n[p] == 'e' || n[p] == 'E')) {
    ++p;
    if (p < n.size() && (n[p] == '+' || n[p] == '-')) ++p;
    if (digits() == 0) return false;
  }
  return p == n.size();
}

// True when `n` is a well-formed JSON number literal too large to be a finite double.
// Decides on the decimal order of magnitude, so underflow (which reads as 0) is not counted.
bool IsOverflowingNumber(std::string_view n) {
  if (!IsJsonNumber(n)) return false;  // left for the reader to refuse
  double value = 0.0;
  const std::size_t from = (!n.empty() && n[0] == '-') ? 1 : 0;
  const auto result = std::from_chars(n.data() + from, n.data() + n.size(), value);
  if (result.ec != std::errc::result_out_of_range) return false;
  const std::size_t e = n.find_first_of("eE");
  const std::string_view mantissa = n.substr(0, e);
  long long exponent = 0;
  if (e != std::string_view::npos) {
    std::size_t p = e + 1;
    bool negative = false;
    if (p < n.size() && (n[p] == '+' || n[p] == '-')) negative = n[p++] == '-';
    for (; p < n.size() && n[p] >= '0' && n[p] <= '9'; ++p)
      if (exponent < 1000000) exponent = exponent * 10 + (n[p] - '0');
    if (negative) exponent = -exponent;
  }
  // Order of magnitude of the mantissa: digits before the point from the first non-zero digit,
  // or minus the zeros after the point before it.
  const std::size_t point = mantissa.find('.');
  const std::string_view whole = mantissa.substr(from, point == std::string_view::npos
                                                           ? std::string_view::npos
                                                           : point - from);
  long long order = 0;
  const std::size_t firstWhole = whole.find_first_of("123456789");
  if (firstWhole != std::string_view::npos) {
    order = static_cast<long long>(whole.size() - firstWhole);
  } else if (point != std::string_view::npos) {
    const std::string_view fraction = mantissa.substr(point + 1);
    const std::size_t firstFraction = fraction.find_first_of("123456789");
    if (firstFraction == std::string_view::npos) return false;  // zero
    order = -static_cast<long long>(firstFraction);
  } else {
    return false;
  }
  return order + exponent > 0;
}

// The JSON reader refuses number literals that overflow a double. A payload time such as 1e999
// counts as absent instead: such literals (outside strings) become null before reading.
// Returns nothing when the text holds no such literal.
std::optional<std::string> NullOverflowingNumbers(const std::string& json) {
  std::optional<std::string> out;
  std::size_t copied = 0;
  bool inString = false;
  for (std::size_t p = 0; p < json.size();) {
    const char c = json[p];
    if (inString) {
      if (c == '\\') p += 2;
      else {
        if (c == '"') inString = false;
        ++p;
      }
      continue;
    }
    if (c == '"') {
      inString = true;
      ++p;
      continue;
    }
    if (c != '-' && (c < '0' || c > '9')) {
      ++p;
      continue;
    }
    std::size_t end = p + 1;
    while (end < json.size() && (std::isdigit(static_cast<unsigned char>(json[end])) ||
                                 json[end] == '.' || json[end] == 'e' || json[end] == 'E' ||
                                 json[end] == '+' || json[end] == '-'))
      ++end;
    if (IsOverflowingNumber(std::string_view(json).substr(p, end - p))) {
      if (!out) out.emplace();
      out->append(json, copied, p - copied);
      out->append("null");
      copied = end;
    }
    p = end;
  }
  if (out) out->append(json, copied, std::string::npos);
  return out;
}

// ---- Loose values of a word element, read as the platform's integer and double requests ----

bool IsScannerSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// Integer value of a string: leading white space, an optional sign and digits; 0 when it does
// not start with a number; saturates at the 32-bit limits.
std::int32_t IntFromString(const std::string& s) {
  std::size_t p = 0;
  while (p < s.size() && IsScannerSpace(s[p])) ++p;
  bool negative = false;
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) negative = s[p++] == '-';
  std::int64_t value = 0;
  for (; p < s.size() && s[p] >= '0' && s[p] <= '9'; ++p) {
    value = value * 10 + (s[p] - '0');
    if (value > std::int64_t{INT32_MAX} + 1) break;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

// Double value of a string: the longest decimal number at its start (after white space);
// 0 when there is none.
double DoubleFromString(const std::string& s) {
  std::size_t p = 0;
  while (p < s.size() && IsScannerSpace(s[p])) ++p;
  const std::size_t begin = p;
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
  const std::size_t digitsStart = p;
  while (p < s.size() && s[p] >= '0' && s[p] <= '9') ++p;
  bool any = p > digitsStart;
  if (p < s.size() && s[p] == '.') {
    const std::size_t fraction = ++p;
    while (p < s.size() && s[p] >= '0' && s[p] <= '9') ++p;
    any = any || p > fraction;
  }
  if (!any) return 0.0;
  if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
    std::size_t q = p + 1;
    if (q < s.size() && (s[q] == '+' || s[q] == '-')) ++q;
    const std::size_t expDigits = q;
    while (q < s.size() && s[q] >= '0' && s[q] <= '9') ++q;
    if (q > expDigits) p = q;
  }
  // from_chars takes no leading '+'.
  std::size_t from = begin;
  if (s[from] == '+') ++from;
  double value = 0.0;
  const auto result = std::from_chars(s.data() + from, s.data() + p, value);
  // Out of range either way ends as 0: too large is not finite (absent), too small is 0.
  return result.ec == std::errc() ? value : 0.0;
}

// The index of a word: numbers (booleans included) and strings answer; anything else gives -1.
std::int32_t IndexValue(const nlohmann::json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end()) return -1;
  const nlohmann::json& v = *it;
  if (v.is_boolean()) return v.get<bool>() ? 1 : 0;
  if (v.is_number_unsigned()) {
    const auto u = v.get<std::uint64_t>();
    return u > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(u);
  }
  if (v.is_number_integer()) {
    const auto i = v.get<std::int64_t>();
    return i > INT32_MAX ? INT32_MAX : i < INT32_MIN ? INT32_MIN : static_cast<std::int32_t>(i);
  }
  if (v.is_number_float()) {
    const double d = v.get<double>();
    if (!std::isfinite(d)) return -1;  // no usable index
    if (d >= 2147483647.0) return INT32_MAX;
    if (d <= -2147483648.0) return INT32_MIN;
    return static_cast<std::int32_t>(d);
  }
  if (v.is_string()) return IntFromString(v.get_ref<const std::string&>());
  return -1;
}

// A time in seconds: numbers and strings answer; anything else, and any value that is not
// finite, counts as absent (0).
double TimeValue(const nlohmann::json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end()) return 0.0;
  const nlohmann::json& v = *it;
  double d = 0.0;
  if (v.is_boolean()) d = v.get<bool>() ? 1.0 : 0.0;
  else if (v.is_number()) d = v.get<double>();
  else if (v.is_string()) d = DoubleFromString(v.get_ref<const std::string&>());
  return std::isfinite(d) ? d : 0.0;
}

}  // namespace

bool QMIsRepairWordCharacter(char16_t unit) { return WordCharacterSet().test(unit); }

std::vector<TextRange> QMTokenizeRepairWordRanges(std::u16string_view text) {
  std::vector<TextRange> ranges;
  const std::bitset<0x10000>& words = WordCharacterSet();
  const std::size_t n = text.size();
  ranges.reserve(n / 2 + 1);  // runs are at least one unit apart
  std::size_t p = 0;
  while (p < n) {
    while (p < n && !words.test(text[p])) ++p;
    if (p >= n) break;
    const std::size_t start = p;
    while (p < n && words.test(text[p])) ++p;
    ranges.push_back(TextRange{start, p - start});
  }
  return ranges;
}

std::u16string QMNormalizeRepairTokenString(std::u16string_view token) {
  if (token.empty()) return {};
  if (IsAscii(token)) {
    std::u16string out;
    NormalizeAscii(token, out);
    return out;
  }
  const std::u16string folded = qm::platform::foldDiacriticsAndWidth(token);
  std::u16string out;
  out.reserve(folded.size());
  for (const char16_t unit : folded) {
    if (!qm::platform::isAlphanumeric(unit) && !IsExtraWordCharacter(unit)) continue;
    out += qm::platform::toLower(std::u16string_view(&unit, 1));
  }
  return out;
}

std::vector<QMRepairTokenInfo> QMTokenizeRepairTokens(std::u16string_view text) {
  const std::vector<TextRange> ranges = QMTokenizeRepairWordRanges(text);
  std::vector<QMRepairTokenInfo> tokens;
  tokens.reserve(ranges.size());
  for (const TextRange& range : ranges) {
    if (range.location == qm::platform::kTextNotFound || range.length == 0) continue;
    const std::u16string_view token = text.substr(range.location, range.length);
    QMRepairTokenInfo& info = tokens.emplace_back();
    info.range = range;
    // Written in place: a short normalised form is not copied again.
    if (IsAscii(token)) NormalizeAscii(token, info.normalized);
    else info.normalized = qm::platform::utf16ToUtf8(QMNormalizeRepairTokenString(token));
    if (info.normalized.empty()) tokens.pop_back();
  }
  return tokens;
}

std::vector<QMRepairTokenInfo> QMTokenizeRepairTokensUTF8(const std::string& text) {
  return QMTokenizeRepairTokens(qm::platform::utf8ToUtf16(text));
}

std::vector<const QuillomancerTranscriptWordTiming*> QMMapRepairSourceTokensToTimings(
    const std::vector<QMRepairTokenInfo>& tokens,
    const std::vector<QuillomancerTranscriptWordTiming>& timings) {
  std::vector<const QuillomancerTranscriptWordTiming*> map(tokens.size(), nullptr);
  for (std::size_t t = 0; t < tokens.size(); ++t) {
    for (const QuillomancerTranscriptWordTiming& timing : timings) {
      if (timing.IsTimed() && qm::platform::rangesIntersect(timing.textRange, tokens[t].range)) {
        map[t] = &timing;
        break;
      }
    }
  }
  return map;
}

bool QMHasRecoverableRepairTimingCoverage(
    const std::vector<QMRepairTokenInfo>& tokens,
    const std::vector<QuillomancerTranscriptWordTiming>& timings, unsigned long* longestGap) {
  const auto map = QMMapRepairSourceTokensToTimings(tokens, timings);
  unsigned long run = 0;
  unsigned long longest = 0;
  for (const auto* timing : map) {
    run = timing ? 0 : run + 1;
    if (run > longest) longest = run;
  }
  if (longestGap) *longestGap = longest;
  return !tokens.empty() && longest < 2;
}

std::optional<nlohmann::json> QMParseJSONDictionaryFromStdString(const std::string& bytes) {
  if (bytes.empty()) return std::nullopt;
  try {
    const std::optional<std::string> nulled = NullOverflowingNumbers(bytes);
    nlohmann::json value =
        nlohmann::json::parse(nulled ? *nulled : bytes, nullptr, /*allow_exceptions=*/false);
    if (!value.is_object()) return std::nullopt;  // a parse error gives a discarded value
    return value;
  } catch (...) {
    return std::nullopt;
  }
}

std::string QMTranscriptPayloadFromBlock(std::string_view block) {
  return std::string(block.substr(0, qm::platform::utf8PrefixLength(block, kQMTranscriptPayloadMaxBytes)));
}

bool QMParseTranscriptPayloadJSON(const std::string& payload, std::string* text,
                                  std::vector<QuillomancerTranscriptWordTiming>* timings) {
  if (text) text->clear();
  if (timings) timings->clear();
  if (payload.empty() || payload.size() > kQMTranscriptPayloadMaxBytes) return false;
  try {
    const std::optional<nlohmann::json> root = QMParseJSONDictionaryFromStdString(payload);
    if (!root) return false;
    const auto textIt = root->find("text");
    if (textIt == root->end() || !textIt->is_string()) return false;
    const std::string& textBytes = textIt->get_ref<const std::string&>();
    // The reader hands out well-formed UTF-8 only, so a non-empty string has UTF-16 units.
    const std::u16string wide = qm::platform::utf8ToUtf16(textBytes);
    if (wide.empty()) return false;
    if (text) *text = textBytes;

    const auto wordsIt = root->find("words");
    if (wordsIt == root->end() || !wordsIt->is_array() || !timings) return true;

    const std::vector<TextRange> ranges = QMTokenizeRepairWordRanges(wide);
    // Each range is normalised once, on first need.
    std::vector<std::optional<std::u16string>> normalizedRanges(ranges.size());
    std::size_t cursor = 0;
    std::vector<QuillomancerTranscriptWordTiming> parsed;
    for (const nlohmann::json& element : *wordsIt) {
      if (!element.is_object()) continue;
      QuillomancerTranscriptWordTiming timing;
      const auto wordIt = element.find("word");
      if (wordIt != element.end() && wordIt->is_string())
        timing.word = wordIt->get_ref<const std::string&>();
      timing.index = IndexValue(element, "index");
      timing.start = TimeValue(element, "start");
      timing.end = TimeValue(element, "end");

      const std::u16string wanted =
          QMNormalizeRepairTokenString(qm::platform::utf8ToUtf16(timing.word));
      for (std::size_t r = cursor; r < ranges.size(); ++r) {
        if (!normalizedRanges[r])
          normalizedRanges[r] = QMNormalizeRepairTokenString(
              std::u16string_view(wide).substr(ranges[r].location, ranges[r].length));
        if (*normalizedRanges[r] == wanted) {
          timing.textRange = ranges[r];
          timing.hasTextRange = true;
          cursor = r + 1;
          break;
        }
      }
      parsed.push_back(std::move(timing));
    }
    *timings = std::move(parsed);
    return true;
  } catch (...) {
    if (text) text->clear();
    if (timings) timings->clear();
    return false;
  }
}
