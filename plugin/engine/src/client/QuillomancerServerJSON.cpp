// JSON readers of the service client: typed accessors that never throw, the timed-transcript
// readers, response-header lookup and the UTC timestamp.

#include "QuillomancerServerPrivate.h"

#include "qm/platform/json.h"
#include "qm/platform/time.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

namespace {

using nlohmann::json;

// The value under `key`, or null when the object is absent, not an object or lacks the key.
const json* findValue(const json* object, std::string_view key) {
  if (object == nullptr || !object->is_object()) return nullptr;
  const auto it = object->find(key);
  if (it == object->end()) return nullptr;
  return &*it;
}

int32_t saturate(long double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<long double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  if (value <= static_cast<long double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);  // truncates toward zero
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// Skips the white space and the optional sign before a number; returns where its digits begin.
size_t skipSpaceAndSign(const std::string& text, bool* negative) {
  size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  *negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    *negative = text[i] == '-';
    ++i;
  }
  return i;
}

// Leading integer of a text: white space, an optional sign, decimal digits; no digits gives 0.
// Values past 32 bits saturate.
int32_t leadingInteger(const std::string& text) {
  bool negative = false;
  size_t i = skipSpaceAndSign(text, &negative);
  int64_t magnitude = 0;
  constexpr int64_t kCap = int64_t{1} << 32;  // anything past this saturates either way
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > kCap) magnitude = kCap;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

// Leading decimal number of a text (white space and a sign allowed before it); 0.0 when there is
// none or it is not finite.
double leadingDouble(const std::string& text) {
  bool negative = false;
  const size_t i = skipSpaceAndSign(text, &negative);
  // Only digits and a point may begin the number (no "inf", "nan" or hexadecimal forms).
  if (i >= text.size() || !((text[i] >= '0' && text[i] <= '9') || text[i] == '.')) return 0.0;
  double value = 0.0;
  const auto [ptr, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value,
                                         std::chars_format::general);
  (void)ptr;
  if (ec != std::errc() || !std::isfinite(value)) return 0.0;
  return negative ? -value : value;
}

// The frame of the typed readers: `convert` gives the value as a T, or nothing when its JSON type
// does not convert. `present` says whether it did; the answer is T{} when not.
template <typename T, typename Convert>
T readTyped(const json* object, std::string_view key, bool* present, Convert convert) {
  if (present) *present = false;
  const json* value = findValue(object, key);
  const std::optional<T> result = value == nullptr ? std::nullopt : convert(*value);
  if (!result) return T{};
  if (present) *present = true;
  return *result;
}

}  // namespace

size_t QMUtf8SequenceLength(std::string_view s, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = byte(i);
  if (c < 0x80) return 1;
  size_t n;
  unsigned min;
  unsigned cp;
  if ((c & 0xE0) == 0xC0) {
    n = 2, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    n = 3, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    n = 4, cp = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

namespace {

// One character of `text` at `i` as a JSON string holds it: the bytes it is sent as and the bytes
// of `text` it takes. The body is written with the JSON library's escapes (a quote, a backslash
// and the five short control escapes take two bytes, other control bytes "\u00XX") and a byte
// that is not UTF-8 is replaced by U+FFFD.
struct JSONCharacter {
  size_t sent;
  size_t taken;
};
JSONCharacter jsonCharacterAt(std::string_view text, size_t i) {
  const auto c = static_cast<unsigned char>(text[i]);
  if (c >= 0x80) {
    const size_t n = QMUtf8SequenceLength(text, i);
    return n ? JSONCharacter{n, n} : JSONCharacter{3, 1};
  }
  switch (c) {
    case '"': case '\\': case '\b': case '\f': case '\n': case '\r': case '\t': return {2, 1};
    default: return {c < 0x20 ? size_t(6) : size_t(1), 1};
  }
}

}  // namespace

size_t QMJSONStringBytes(std::string_view text) {
  size_t sent = 0;
  for (size_t i = 0; i < text.size();) {
    const JSONCharacter ch = jsonCharacterAt(text, i);
    sent += ch.sent;
    i += ch.taken;
  }
  return sent;
}

size_t QMJSONStringPrefixLength(std::string_view text, size_t bytes) {
  size_t sent = 0, i = 0;
  while (i < text.size()) {
    const JSONCharacter ch = jsonCharacterAt(text, i);
    if (ch.sent > bytes - sent) break;
    sent += ch.sent;
    i += ch.taken;
  }
  return i;
}

std::optional<nlohmann::json> ParseJSONResponse(std::string_view body) { return qm::platform::parseJsonObject(body); }

std::string JSONString(const nlohmann::json* object, std::string_view key) {
  const json* value = findValue(object, key);
  if (value == nullptr || !value->is_string()) return {};
  return value->get_ref<const std::string&>();
}

bool JSONBool(const nlohmann::json* object, std::string_view key, bool* present) {
  return readTyped<bool>(object, key, present, [](const json& value) -> std::optional<bool> {
    if (value.is_boolean()) return value.get<bool>();
    if (value.is_number_unsigned()) return value.get<uint64_t>() != 0;
    if (value.is_number_integer()) return value.get<int64_t>() != 0;
    if (value.is_number_float()) return value.get<double>() != 0.0;
    return std::nullopt;
  });
}

int32_t JSONIntWithPresence(const nlohmann::json* object, std::string_view key, bool* present) {
  return readTyped<int32_t>(object, key, present, [](const json& value) -> std::optional<int32_t> {
    if (value.is_boolean()) return value.get<bool>() ? 1 : 0;
    if (value.is_number_unsigned()) return saturate(static_cast<long double>(value.get<uint64_t>()));
    if (value.is_number_integer()) return saturate(static_cast<long double>(value.get<int64_t>()));
    if (value.is_number_float()) return saturate(static_cast<long double>(value.get<double>()));
    if (value.is_string()) return leadingInteger(value.get_ref<const std::string&>());
    return std::nullopt;
  });
}

int32_t JSONInt(const nlohmann::json* object, std::string_view key) {
  return JSONIntWithPresence(object, key, nullptr);
}

double JSONDouble(const nlohmann::json* object, std::string_view key, bool* present) {
  return readTyped<double>(object, key, present, [](const json& value) -> std::optional<double> {
    if (value.is_boolean()) return value.get<bool>() ? 1.0 : 0.0;
    if (value.is_number()) {
      const double number = value.get<double>();
      return std::isfinite(number) ? number : 0.0;
    }
    if (value.is_string()) return leadingDouble(value.get_ref<const std::string&>());
    return std::nullopt;
  });
}

const nlohmann::json* JSONDict(const nlohmann::json* object, std::string_view key) {
  const json* value = findValue(object, key);
  if (value == nullptr || !value->is_object()) return nullptr;
  return value;
}

std::string HTTPHeaderValue(const qm::platform::HttpResponse* response, std::string_view name) {
  if (response == nullptr || name.empty()) return {};
  for (const auto& [headerName, headerValue] : response->headers) {
    if (headerName.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i) {
      const auto a = static_cast<unsigned char>(headerName[i]);
      const auto b = static_cast<unsigned char>(name[i]);
      same = std::tolower(a) == std::tolower(b);
    }
    if (same) return headerValue;
  }
  return {};
}

std::string SRVUTCNowISOString() { return qm::platform::utcNowISOString(); }

QuillomancerServer::TimedWord QuillomancerServer::ParseTimedWordFromJSON(const nlohmann::json* object) {
  TimedWord word;
  if (object == nullptr || !object->is_object()) return word;
  word.index = JSONInt(object, "index");
  word.word = JSONString(object, "word");
  if (word.word.empty()) word.word = JSONString(object, "text");
  bool present = false;
  word.start = JSONDouble(object, "start", &present);
  if (!present) word.start = JSONDouble(object, "start_seconds");
  word.end = JSONDouble(object, "end", &present);
  if (!present) word.end = JSONDouble(object, "end_seconds");
  return word;
}

QuillomancerServer::TimedTranscript QuillomancerServer::ParseTimedTranscriptFromJSON(
    const nlohmann::json* object) {
  TimedTranscript transcript;
  if (object == nullptr || !object->is_object()) return transcript;
  transcript.text = JSONString(object, "text");
  bool timingPresent = false;
  transcript.timingAvailable = JSONBool(object, "timing_available", &timingPresent);
  const auto words = object->find("words");
  if (words != object->end() && words->is_array()) {
    for (const json& element : *words) {
      if (!element.is_object()) continue;
      TimedWord word = ParseTimedWordFromJSON(&element);
      if (!word.word.empty()) transcript.words.push_back(std::move(word));
    }
  }
  if (!timingPresent) transcript.timingAvailable = !transcript.words.empty();
  return transcript;
}
