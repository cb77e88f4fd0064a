#pragma once
// Unicode text helpers (ICU underneath, kept out of this header).
//
// Texts travel as UTF-8 byte strings and are worked on as UTF-16, because positions in the
// editor and the repair code are UTF-16 code-unit ranges. Conversions are strict: ill-formed
// input (bad UTF-8, a lone surrogate) gives the empty string, never a replacement character.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm::platform {

// A range of UTF-16 code units: `location` is the first unit, `length` the number of units.
struct TextRange {
  std::size_t location = 0;
  std::size_t length = 0;

  std::size_t end() const { return location + length; }
  friend bool operator==(const TextRange&, const TextRange&) = default;
};

// The location of a range that points nowhere.
inline constexpr std::size_t kTextNotFound = static_cast<std::size_t>(PTRDIFF_MAX);

// Length of the overlap of two ranges (0 when they only touch or do not meet).
std::size_t intersectionLength(TextRange a, TextRange b);
inline bool rangesIntersect(TextRange a, TextRange b) { return intersectionLength(a, b) != 0; }

// ---- Conversions ---------------------------------------------------------------------------

// True when `bytes` is well-formed UTF-8 (no overlong forms, no encoded surrogates).
bool isValidUtf8(std::string_view bytes);

// UTF-8 to UTF-16; the empty string for ill-formed input.
std::u16string utf8ToUtf16(std::string_view bytes);

// UTF-16 to UTF-8; the empty string when the text holds a lone surrogate.
std::string utf16ToUtf8(std::u16string_view text);

// Number of UTF-16 units of a UTF-8 text (0 for ill-formed input).
std::size_t utf16Length(std::string_view bytes);

// Longest prefix of `bytes` of at most `maxBytes` bytes that ends on a code-point boundary:
// a multi-byte sequence that would be cut is left out whole. Only the bytes around the cut
// are looked at, so ill-formed text elsewhere is not an error here.
std::size_t utf8PrefixLength(std::string_view bytes, std::size_t maxBytes);

// Longest prefix of `text` of at most `maxUnits` units that does not split a surrogate pair.
std::size_t utf16PrefixLength(std::u16string_view text, std::size_t maxUnits);

// ---- Characters as the user sees them (grapheme clusters) -------------------------------------
// A base with its marks, a flag, an emoji sequence joined by U+200D: one character. Where ICU
// cannot make its iterator, these step over code points. Indexes past the end count as the end.

// The character boundary before `index` (0 at the start).
std::size_t previousCharacterBoundary(std::u16string_view text, std::size_t index);
// The character boundary after `index` (the length at the end).
std::size_t nextCharacterBoundary(std::u16string_view text, std::size_t index);
// The start of the character that holds unit `index` (index itself on a boundary).
std::size_t characterStartAt(std::u16string_view text, std::size_t index);

// ---- Character classes (one UTF-16 code unit; surrogate halves belong to no class) ---------

// C0 and C1 controls and DEL.
bool isControlCharacter(char16_t unit);

// Letters, marks and numbers (general categories L*, M*, N*).
bool isAlphanumeric(char16_t unit);

// Space separators and tab.
bool isWhitespace(char16_t unit);

// isWhitespace plus line and paragraph separators, LF, VT, FF, CR and NEL.
bool isWhitespaceOrNewline(char16_t unit);

// ---- Folding and case ----------------------------------------------------------------------

// Diacritic- and width-insensitive fold: full-width and half-width forms become their ordinary
// forms and combining accents are removed ('Café' -> 'Cafe', 'Ａ' -> 'A'). Case is kept.
std::u16string foldDiacriticsAndWidth(std::u16string_view text);

// Lower case of a text, context-free (root locale); one unit may become several.
std::u16string toLower(std::u16string_view text);

// Whitespace and newlines removed at both ends.
std::u16string_view trimWhitespaceAndNewlines(std::u16string_view text);

// ---- Regular expressions (ICU syntax; "$1" in a replacement is group 1) --------------------

// Replaces every match of `pattern` in `text`. Returns false, leaving `text` untouched, when the
// pattern does not compile or the replacement fails.
bool regexReplaceAll(std::u16string& text, std::u16string_view pattern,
                     std::u16string_view replacement);

}  // namespace qm::platform
