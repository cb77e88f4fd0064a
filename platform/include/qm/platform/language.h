#pragma once
// Language and locale data (ICU underneath, kept out of this header): the ISO language codes,
// language names in a locale, upper case in a locale, collation order and the letter class.
//
// Results depend only on the arguments, never on the machine's own locale: where the locale data
// has no name, the answer is "", not a name taken from the default locale.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qm::platform {

// The ISO 639 language codes of the locale data, in its order, in lower case: the two-letter
// code where a language has one, else its three-letter code. Deprecated codes are left out.
// [any-thread]
std::vector<std::string> isoLanguageCodes();

// The name of the language `code` in the locale `localeId` (e.g. "en_US_POSIX", "fr"), UTF-8,
// as the locale data writes it (no change of case). "" when either is empty, or when the data
// of `localeId` and its parents have no name for the code.
// [any-thread]
std::string languageDisplayName(std::string_view code, std::string_view localeId);

// Upper case of a text by the rules of `localeId` ("" for the root rules); one unit may become
// several ('ß' -> "SS"). The empty string for an empty text; the text unchanged should ICU fail.
// [any-thread]
std::u16string toUpperInLocale(std::u16string_view text, std::string_view localeId);

// The text with its first character in title case by the rules of `localeId` ("" for the
// root rules) and the rest unchanged: 'français' -> "Français", 'ǆ' -> "ǅ"; scripts without
// capitals, and Georgian, whose title case is the letter itself, stay as they are.
// [any-thread]
std::u16string capitalizeFirstInLocale(std::u16string_view text, std::string_view localeId);

// Letters and marks (general categories L* and M*), of any script; one UTF-16 unit, so the
// halves of a surrogate pair belong to no class.
// [any-thread]
bool isLetter(char16_t unit);

// Case-insensitive comparison in the collation order of a locale: case is ignored, accents
// and every other difference count. Build one and use it for a whole sort.
class Collator {
 public:
  // `localeId` "" is the root order, which puts every script in one sensible sequence.
  explicit Collator(std::string_view localeId = {});
  ~Collator();
  Collator(const Collator&) = delete;
  Collator& operator=(const Collator&) = delete;

  // <0, 0 or >0 as `a` sorts before, with or after `b` (UTF-8 texts; an ill-formed sequence
  // counts as U+FFFD). Should the locale's collator fail to build, byte order is used.
  // [any-thread]
  int compare(std::string_view a, std::string_view b) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qm::platform
