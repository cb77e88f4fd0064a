// Language and locale data on ICU.

#include "qm/platform/language.h"

#include <unicode/casemap.h>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstring>

namespace qm::platform {

namespace {

// ICU wants NUL-terminated identifiers of bounded length. Only the characters of plain locale
// identifiers pass, so no keyword ("@...") or stray byte can change what ICU looks up.
bool copyLocaleId(std::string_view id, std::string& out, bool lettersOnly) {
  if (id.empty() || id.size() >= ULOC_FULLNAME_CAPACITY) return false;
  for (char c : id) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool other = (c >= '0' && c <= '9') || c == '_' || c == '-';
    if (!letter && !(other && !lettersOnly)) return false;
  }
  out.assign(id);
  return true;
}

std::string toUtf8(const UChar* text, int32_t length) {
  if (length <= 0) return {};
  std::string out(static_cast<std::size_t>(length) * 3, '\0');
  UErrorCode err = U_ZERO_ERROR;
  int32_t written = 0;
  u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &written, text, length, &err);
  if (U_FAILURE(err)) return {};
  out.resize(static_cast<std::size_t>(written));
  return out;
}

}  // namespace

std::vector<std::string> isoLanguageCodes() {
  std::vector<std::string> codes;
  for (const char* const* code = uloc_getISOLanguages(); code && *code; ++code)
    codes.emplace_back(*code);
  return codes;
}

std::string languageDisplayName(std::string_view code, std::string_view localeId) {
  std::string language, locale;
  if (!copyLocaleId(code, language, true) || !copyLocaleId(localeId, locale, false)) return {};
  UChar buffer[256];
  UErrorCode err = U_ZERO_ERROR;
  const int32_t length = uloc_getDisplayLanguage(language.c_str(), locale.c_str(), buffer,
                                                 static_cast<int32_t>(std::size(buffer)), &err);
  // ICU answers U_USING_DEFAULT_WARNING both when it fell back to the default locale's data
  // (whose names would follow the machine) and when it found no name and returned the code.
  if (U_FAILURE(err) || err == U_USING_DEFAULT_WARNING || err == U_STRING_NOT_TERMINATED_WARNING)
    return {};
  return toUtf8(buffer, length);
}

namespace {

enum class CaseMapping { kUpper, kCapitalizeFirst };

std::u16string mapCase(std::u16string_view text, std::string_view localeId, CaseMapping mapping) {
  if (text.empty() || text.size() > static_cast<std::size_t>(INT32_MAX / 4)) return {};
  std::string locale;
  if (!localeId.empty() && !copyLocaleId(localeId, locale, false)) locale.clear();
  const auto* source = reinterpret_cast<const UChar*>(text.data());
  const auto sourceLength = static_cast<int32_t>(text.size());
  std::u16string out(text.size() + 8, u'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    UErrorCode err = U_ZERO_ERROR;
    auto* dest = reinterpret_cast<UChar*>(out.data());
    const auto capacity = static_cast<int32_t>(out.size());
    // The whole text is one word and only its very first character changes, so no word
    // break rules (which would be locale data of their own) are involved.
    constexpr uint32_t kFirstOnly =
        U_TITLECASE_WHOLE_STRING | U_TITLECASE_NO_LOWERCASE | U_TITLECASE_NO_BREAK_ADJUSTMENT;
    const int32_t length =
        mapping == CaseMapping::kUpper
            ? icu::CaseMap::toUpper(locale.c_str(), 0, source, sourceLength, dest, capacity,
                                    nullptr, err)
            : icu::CaseMap::toTitle(locale.c_str(), kFirstOnly, nullptr, source, sourceLength,
                                    dest, capacity, nullptr, err);
    if (err == U_BUFFER_OVERFLOW_ERROR) {  // a mapping may grow a text ('ß' -> "SS")
      out.assign(static_cast<std::size_t>(length), u'\0');
      continue;
    }
    if (U_FAILURE(err)) break;
    out.resize(static_cast<std::size_t>(length));
    return out;
  }
  return std::u16string(text);
}

}  // namespace

std::u16string toUpperInLocale(std::u16string_view text, std::string_view localeId) {
  return mapCase(text, localeId, CaseMapping::kUpper);
}

std::u16string capitalizeFirstInLocale(std::u16string_view text, std::string_view localeId) {
  return mapCase(text, localeId, CaseMapping::kCapitalizeFirst);
}

bool isLetter(char16_t unit) {
  return (U_GET_GC_MASK(unit) & (U_GC_L_MASK | U_GC_M_MASK)) != 0;
}

struct Collator::Impl {
  std::unique_ptr<icu::Collator> collator;
};

Collator::Collator(std::string_view localeId) : impl_(std::make_unique<Impl>()) {
  std::string locale;
  if (!copyLocaleId(localeId, locale, false)) locale.clear();
  UErrorCode err = U_ZERO_ERROR;
  // An empty identifier would mean the default locale to ICU; the root order is meant.
  const icu::Locale where = locale.empty() ? icu::Locale::getRoot() : icu::Locale(locale.c_str());
  std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(where, err));
  if (U_FAILURE(err) || !collator) return;
  // Secondary strength: base letters and accents count, case does not.
  collator->setStrength(icu::Collator::SECONDARY);
  impl_->collator = std::move(collator);
}

Collator::~Collator() = default;

int Collator::compare(std::string_view a, std::string_view b) const {
  if (impl_->collator && a.size() <= INT32_MAX && b.size() <= INT32_MAX) {
    UErrorCode err = U_ZERO_ERROR;
    const UCollationResult result = impl_->collator->compareUTF8(
        icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
        icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), err);
    if (U_SUCCESS(err)) return result == UCOL_LESS ? -1 : result == UCOL_GREATER ? 1 : 0;
  }
  return a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
}

}  // namespace qm::platform
