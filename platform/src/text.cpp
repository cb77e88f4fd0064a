// Unicode text helpers on ICU.

#include "qm/platform/text.h"

#include <unicode/normalizer2.h>
#include <unicode/ubrk.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace qm::platform {

namespace {

const UChar* asUChars(const char16_t* p) { return reinterpret_cast<const UChar*>(p); }
UChar* asUChars(char16_t* p) { return reinterpret_cast<UChar*>(p); }

icu::UnicodeString toUnicodeString(std::u16string_view text) {
  return icu::UnicodeString(asUChars(text.data()), static_cast<int32_t>(text.size()));
}

std::u16string fromUnicodeString(const icu::UnicodeString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.getBuffer()),
                        static_cast<std::size_t>(text.length()));
}

// ICU takes int32_t lengths; longer texts are refused rather than cut.
bool fitsInt32(std::size_t n) { return n <= static_cast<std::size_t>(INT32_MAX / 4); }

}  // namespace

std::size_t intersectionLength(TextRange a, TextRange b) {
  if (a.location == kTextNotFound || b.location == kTextNotFound) return 0;
  const std::size_t lo = std::max(a.location, b.location);
  const std::size_t hi = std::min(a.end(), b.end());
  return hi > lo ? hi - lo : 0;
}

bool isValidUtf8(std::string_view bytes) {
  if (bytes.empty()) return true;
  if (!fitsInt32(bytes.size())) return false;
  UErrorCode err = U_ZERO_ERROR;
  int32_t length = 0;
  u_strFromUTF8(nullptr, 0, &length, bytes.data(), static_cast<int32_t>(bytes.size()), &err);
  return err == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(err);
}

std::u16string utf8ToUtf16(std::string_view bytes) {
  if (bytes.empty() || !fitsInt32(bytes.size())) return {};
  // A UTF-8 text never has more UTF-16 units than bytes.
  std::u16string out(bytes.size(), u'\0');
  UErrorCode err = U_ZERO_ERROR;
  int32_t length = 0;
  u_strFromUTF8(asUChars(out.data()), static_cast<int32_t>(out.size()), &length, bytes.data(),
                static_cast<int32_t>(bytes.size()), &err);
  if (U_FAILURE(err)) return {};
  out.resize(static_cast<std::size_t>(length));
  return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
  if (text.empty() || !fitsInt32(text.size())) return {};
  std::string out(text.size() * 3, '\0');
  UErrorCode err = U_ZERO_ERROR;
  int32_t length = 0;
  u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &length, asUChars(text.data()),
              static_cast<int32_t>(text.size()), &err);
  if (U_FAILURE(err)) return {};
  out.resize(static_cast<std::size_t>(length));
  return out;
}

std::size_t utf16Length(std::string_view bytes) {
  if (bytes.empty() || !fitsInt32(bytes.size())) return 0;
  UErrorCode err = U_ZERO_ERROR;
  int32_t length = 0;
  u_strFromUTF8(nullptr, 0, &length, bytes.data(), static_cast<int32_t>(bytes.size()), &err);
  if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return 0;
  return static_cast<std::size_t>(length);
}

std::size_t utf8PrefixLength(std::string_view bytes, std::size_t maxBytes) {
  if (maxBytes >= bytes.size()) return bytes.size();
  // Step back over continuation bytes to the lead byte of the sequence the cut falls in.
  std::size_t cut = maxBytes;
  std::size_t back = 0;
  while (cut > 0 && back < 3 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80) {
    --cut;
    ++back;
  }
  if (back == 0) return maxBytes;  // the byte after the cut starts a new character
  const unsigned char lead = static_cast<unsigned char>(bytes[cut]);
  std::size_t need = 1;
  if (lead >= 0xF0 && lead <= 0xF4) need = 4;
  else if (lead >= 0xE0) need = 3;
  else if (lead >= 0xC2) need = 2;
  // The byte after the cut continues the sequence at `cut` unless that sequence is ill-formed
  // and already ended: then the cut itself is as good a boundary as any.
  return cut + need <= maxBytes ? maxBytes : cut;
}

std::size_t utf16PrefixLength(std::u16string_view text, std::size_t maxUnits) {
  if (maxUnits >= text.size()) return text.size();
  if (maxUnits > 0 && U16_IS_LEAD(text[maxUnits - 1]) && U16_IS_TRAIL(text[maxUnits]))
    return maxUnits - 1;
  return maxUnits;
}

bool isAlphanumeric(char16_t unit) {
  return (U_GET_GC_MASK(unit) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

bool isWhitespace(char16_t unit) {
  return unit == u'\t' || (U_GET_GC_MASK(unit) & U_GC_ZS_MASK) != 0;
}

bool isWhitespaceOrNewline(char16_t unit) {
  return (unit >= 0x09 && unit <= 0x0D) || unit == 0x85 || (U_GET_GC_MASK(unit) & U_GC_Z_MASK) != 0;
}

std::u16string foldDiacriticsAndWidth(std::u16string_view text) {
  if (text.empty() || !fitsInt32(text.size())) return {};
  UErrorCode err = U_ZERO_ERROR;
  const icu::Normalizer2* nfkd = icu::Normalizer2::getNFKDInstance(err);
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(err);
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(err);
  if (U_FAILURE(err)) return std::u16string(text);

  // 1. Width: only the <wide> and <narrow> compatibility mappings, nothing else of NFKD.
  icu::UnicodeString widthFolded;
  const icu::UnicodeString source = toUnicodeString(text);
  for (int32_t i = 0; i < source.length();) {
    const UChar32 c = source.char32At(i);
    const int32_t type = u_getIntPropertyValue(c, UCHAR_DECOMPOSITION_TYPE);
    icu::UnicodeString mapped;
    if ((type == U_DT_WIDE || type == U_DT_NARROW) && nfkd->getDecomposition(c, mapped))
      widthFolded.append(mapped);
    else
      widthFolded.append(c);
    i += U16_LENGTH(c);
  }

  // 2. Diacritics: decompose, drop the combining marks, compose again.
  icu::UnicodeString decomposed = nfd->normalize(widthFolded, err);
  if (U_FAILURE(err)) return std::u16string(text);
  icu::UnicodeString stripped;
  for (int32_t i = 0; i < decomposed.length();) {
    const UChar32 c = decomposed.char32At(i);
    if (u_getCombiningClass(c) == 0) stripped.append(c);
    i += U16_LENGTH(c);
  }
  icu::UnicodeString composed = nfc->normalize(stripped, err);
  if (U_FAILURE(err)) return fromUnicodeString(stripped);
  return fromUnicodeString(composed);
}

std::u16string toLower(std::u16string_view text) {
  if (text.empty() || !fitsInt32(text.size())) return {};
  std::u16string out(text.size() * 3 + 4, u'\0');
  UErrorCode err = U_ZERO_ERROR;
  const int32_t length = u_strToLower(asUChars(out.data()), static_cast<int32_t>(out.size()),
                                      asUChars(text.data()), static_cast<int32_t>(text.size()),
                                      "", &err);
  if (U_FAILURE(err)) return std::u16string(text);
  out.resize(static_cast<std::size_t>(length));
  return out;
}

std::u16string_view trimWhitespaceAndNewlines(std::u16string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && isWhitespaceOrNewline(text[first])) ++first;
  while (last > first && isWhitespaceOrNewline(text[last - 1])) --last;
  return text.substr(first, last - first);
}

bool regexReplaceAll(std::u16string& text, std::u16string_view pattern,
                     std::u16string_view replacement) {
  if (!fitsInt32(text.size()) || !fitsInt32(pattern.size()) || !fitsInt32(replacement.size()))
    return false;
  UErrorCode err = U_ZERO_ERROR;
  UParseError parseError{};
  std::unique_ptr<icu::RegexPattern> compiled(
      icu::RegexPattern::compile(toUnicodeString(pattern), 0, parseError, err));
  if (U_FAILURE(err) || !compiled) return false;
  const icu::UnicodeString input = toUnicodeString(text);
  std::unique_ptr<icu::RegexMatcher> matcher(compiled->matcher(input, err));
  if (U_FAILURE(err) || !matcher) return false;
  const icu::UnicodeString result = matcher->replaceAll(toUnicodeString(replacement), err);
  if (U_FAILURE(err)) return false;
  text = fromUnicodeString(result);
  return true;
}

namespace {

bool isHighSurrogateUnit(char16_t u) { return u >= 0xD800 && u < 0xDC00; }
bool isLowSurrogateUnit(char16_t u) { return u >= 0xDC00 && u < 0xE000; }

// ICU's character break iterator over `text`: one per thread, given each text anew; null when
// ICU cannot make one. The text must outlive the answers asked of it.
UBreakIterator* characterBreaks(std::u16string_view text) {
  struct Held {
    UBreakIterator* iterator = nullptr;
    bool failed = false;
    ~Held() {
      if (iterator) ubrk_close(iterator);
    }
  };
  thread_local Held held;
  if (held.failed || text.size() > static_cast<std::size_t>(INT32_MAX)) return nullptr;
  UErrorCode status = U_ZERO_ERROR;
  if (!held.iterator) {
    held.iterator = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
    if (U_FAILURE(status)) {
      held.iterator = nullptr;
      held.failed = true;
      return nullptr;
    }
  }
  ubrk_setText(held.iterator, reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()), &status);
  return U_SUCCESS(status) ? held.iterator : nullptr;
}

}  // namespace

std::size_t previousCharacterBoundary(std::u16string_view text, std::size_t index) {
  index = std::min(index, text.size());
  if (index == 0) return 0;
  if (UBreakIterator* breaks = characterBreaks(text)) {
    const int32_t at = ubrk_preceding(breaks, static_cast<int32_t>(index));
    return at == UBRK_DONE ? 0 : static_cast<std::size_t>(at);
  }
  if (index >= 2 && isLowSurrogateUnit(text[index - 1]) && isHighSurrogateUnit(text[index - 2])) return index - 2;
  return index - 1;
}

std::size_t nextCharacterBoundary(std::u16string_view text, std::size_t index) {
  if (index >= text.size()) return text.size();
  if (UBreakIterator* breaks = characterBreaks(text)) {
    const int32_t at = ubrk_following(breaks, static_cast<int32_t>(index));
    return at == UBRK_DONE ? text.size() : static_cast<std::size_t>(at);
  }
  if (index + 1 < text.size() && isHighSurrogateUnit(text[index]) && isLowSurrogateUnit(text[index + 1])) return index + 2;
  return index + 1;
}

std::size_t characterStartAt(std::u16string_view text, std::size_t index) {
  if (index == 0 || index >= text.size()) return std::min(index, text.size());
  if (UBreakIterator* breaks = characterBreaks(text)) {
    if (ubrk_isBoundary(breaks, static_cast<int32_t>(index))) return index;
    // From the end of the character back to its start: asked for what precedes a unit inside a
    // surrogate pair, ICU would answer the boundary before the pair's own character.
    ubrk_following(breaks, static_cast<int32_t>(index));
    const int32_t start = ubrk_previous(breaks);
    return start == UBRK_DONE ? 0 : static_cast<std::size_t>(start);
  }
  return isLowSurrogateUnit(text[index]) && isHighSurrogateUnit(text[index - 1]) ? index - 1 : index;
}

bool isControlCharacter(char16_t unit) { return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F); }

}  // namespace qm::platform
