#pragma once
// The language vocabulary of the window: the list of languages offered in the chooser, the map
// from every accepted name to a language choice, the lookup of a typed word, the test for a
// two-letter code and the removal of bracketed language tags such as "(fr)" from a text.
//
// The list and the map are built once per process on first use (from the locale data's ISO
// codes and language names) and are read-only afterwards, so any thread may use them.
// Every text is UTF-8.

#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// A language choice. Three values mean something of their own:
//   no choice:            all three empty (the chip is hidden);
//   no language hint:     prompt "", bubble "--", code "" (QMNoLanguageHintSelection());
//   a language:           prompt "", bubble its native name (or the code itself for a
//                         two-letter word that names no known language), code the code.
struct QMLanguageSelection {
  std::string prompt;
  std::string bubble;
  std::string code;

  friend bool operator==(const QMLanguageSelection&, const QMLanguageSelection&) = default;
};

// The bubble of the no-hint selection.
inline constexpr std::string_view kQMNoLanguageHintBubble = "--";

// prompt "", bubble "--", code "".
QMLanguageSelection QMNoLanguageHintSelection();

// One language of the list; immutable, shared by every window of the process.
struct QMFishLanguageEntry {
  std::string display;  // the native name, shown in the chooser
  std::string prompt;   // always ""
  std::string bubble;   // the native name again; the chip is derived from it
  std::string code;     // two letters, lower case
  // The English name, the native name and the code, in this order.
  std::array<std::string, 3> aliases;
  // The same three through QMNormalizeLanguageAlias, for matching typed text.
  std::array<std::string, 3> normalizedAliases;

  // The selection this entry stands for: prompt "", its bubble and code.
  QMLanguageSelection selection() const { return {prompt, bubble, code}; }
};

// From a normalised alias to the selection it names.
using QMFishLanguageAliasTable = std::unordered_map<std::string, QMLanguageSelection>;

// True for the five languages listed first: en, es, fr, de, it.
// [any-thread]
bool QMIsPriorityLanguageCode(std::string_view code);

// Trimmed at both ends (white space and line breaks), accents and width forms folded away,
// lower case, trimmed again. "" for an empty or blank text.
// [any-thread]
std::string QMNormalizeLanguageAlias(std::string_view text);

// True when the normalised text is exactly two UTF-16 units, both letters (of any script).
// [any-thread]
bool QMIsValidLanguageCodeString(std::string_view text);

// The name of the language `code` in the locale `localeId`, its first character in title case
// (upper case, for most scripts) by that locale's rules; "" for an empty code or locale, or
// when the locale data has no name.
// [any-thread]
std::string QMLocalizedLanguageNameForCode(std::string_view code, std::string_view localeId);

// Every language with a two-letter code: English, Spanish, French, German and Italian first,
// then the rest in the collation order of their native names (root order, case ignored).
// [any-thread]
const std::vector<QMFishLanguageEntry>& QMFishLanguageCanonicalEntries();

// Every entry's normalised English name, native name and code, each to the entry's selection.
// Where two entries share a normalised alias the later entry of the list has it.
// [any-thread]
const QMFishLanguageAliasTable& QMFishLanguageAliasMap();

// True when `text` names a language (by English name, native name or code, in any case,
// with or without accents), is any other two-letter word, or is one of the words that mean
// no language hint ("auto", "autodetect", "automatic", "default", "null", "undefined",
// "none", "--"). `selection`, when given, is filled only on true.
// [any-thread]
bool QMLookupFishLanguageAlias(std::string_view text, QMLanguageSelection* selection = nullptr);

// Removes every bracketed tag "(...)" whose inside names a listed language (by English name,
// native name or code, as QMLookupFishLanguageAlias matches them) or is a no-hint word, and
// returns true when at least one was removed. Any other two-letter word ("(uh)", "(ok)") is no
// tag: it stays in the text as typed. Then `cleaned` gets the text with runs of
// spaces collapsed to one and both ends trimmed, and `selection` the last resolved tag in
// reading order. Otherwise `cleaned` gets the text unchanged and the result is false; then
// `selection` is set to no choice when the text held brackets that did not resolve, and left
// untouched when it held no bracket pair (or is not valid UTF-8). Brackets that do not resolve
// (a stage direction, "()") stay. `positions`, when given, tells where each place of the text
// went: for every byte offset 0..size of `text`, the offset in the cleaned text after the bytes
// before it that stayed (a place inside or just after what was taken out lands where that was);
// the offsets unchanged when nothing was removed. Any output may be null. Cheap enough for
// every timer call: a text without a closing bracket costs one scan.
// [any-thread]
bool QMExtractFishLanguageTags(std::string_view text, std::string* cleaned,
                               QMLanguageSelection* selection,
                               std::vector<std::size_t>* positions = nullptr);

// The entries of the list, in its order, one of whose normalised aliases contains the
// normalised query; every entry for a blank query.
// [any-thread]
std::vector<const QMFishLanguageEntry*> QMFishLanguageMatches(std::string_view query);
