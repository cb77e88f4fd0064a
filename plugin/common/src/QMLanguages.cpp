// The language list, the alias lookup and the language tags of the editor text.

#include "QMLanguages.h"

#include "qm/platform/language.h"
#include "qm/platform/text.h"

#include <algorithm>

namespace {

namespace platform = qm::platform;

// The English names of the languages come from this locale.
constexpr std::string_view kEnglishLocale = "en_US_POSIX";

constexpr std::array<std::string_view, 5> kPriorityCodes = {"en", "es", "fr", "de", "it"};

constexpr std::array<std::string_view, 8> kNoHintWords = {
    "auto", "autodetect", "automatic", "default", "null", "undefined", "none", "--"};

// The position of `code` in the priority group, or -1.
int PriorityOf(std::string_view code) {
  const auto it = std::find(kPriorityCodes.begin(), kPriorityCodes.end(), code);
  return it == kPriorityCodes.end() ? -1 : static_cast<int>(it - kPriorityCodes.begin());
}

// The validity test on a text that is already normalised.
bool IsTwoLetterCode(std::string_view normalized) {
  // Two UTF-16 units take at most six UTF-8 bytes.
  if (normalized.size() < 2 || normalized.size() > 6) return false;
  const std::u16string units = platform::utf8ToUtf16(normalized);
  return units.size() == 2 && platform::isLetter(units[0]) && platform::isLetter(units[1]);
}

std::string UpperCase(std::string_view text) {
  return platform::utf16ToUtf8(platform::toUpperInLocale(platform::utf8ToUtf16(text), {}));
}

std::vector<QMFishLanguageEntry> BuildCanonicalEntries() {
  std::vector<QMFishLanguageEntry> entries;
  for (const std::string& systemCode : platform::isoLanguageCodes()) {
    const std::string code = QMNormalizeLanguageAlias(systemCode);
    if (!IsTwoLetterCode(code)) continue;
    std::string english = QMLocalizedLanguageNameForCode(code, kEnglishLocale);
    std::string native = QMLocalizedLanguageNameForCode(code, code);
    if (english.empty()) english = UpperCase(code);
    if (native.empty()) native = english;

    QMFishLanguageEntry entry;
    entry.display = native;
    entry.bubble = native;
    entry.code = code;
    entry.aliases = {english, native, code};
    for (std::size_t k = 0; k < entry.aliases.size(); ++k)
      entry.normalizedAliases[k] = QMNormalizeLanguageAlias(entry.aliases[k]);
    entries.push_back(std::move(entry));
  }

  const platform::Collator collator;
  // Stable, so entries whose native names compare equal keep the locale data's order.
  std::stable_sort(entries.begin(), entries.end(),
                   [&collator](const QMFishLanguageEntry& a, const QMFishLanguageEntry& b) {
                     const int pa = PriorityOf(a.code);
                     const int pb = PriorityOf(b.code);
                     if (pa >= 0 && pb >= 0) return pa < pb;
                     if (pa >= 0 || pb >= 0) return pa >= 0;
                     return collator.compare(a.display, b.display) < 0;
                   });
  return entries;
}

QMFishLanguageAliasTable BuildAliasMap(const std::vector<QMFishLanguageEntry>& entries) {
  QMFishLanguageAliasTable map;
  for (const QMFishLanguageEntry& entry : entries) {
    for (const std::string& alias : entry.normalizedAliases) {
      if (!alias.empty()) map[alias] = entry.selection();
    }
  }
  return map;
}

}  // namespace

QMLanguageSelection QMNoLanguageHintSelection() {
  return {"", std::string(kQMNoLanguageHintBubble), ""};
}

bool QMIsPriorityLanguageCode(std::string_view code) { return PriorityOf(code) >= 0; }

std::string QMNormalizeLanguageAlias(std::string_view text) {
  // Plain ASCII has no accents or width forms to fold: trim and lower case it directly, which
  // keeps the common case (a code, an English name, a stage direction) away from ICU.
  const bool ascii = std::all_of(text.begin(), text.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && platform::isWhitespaceOrNewline(static_cast<char16_t>(text[first]))) ++first;
    while (last > first && platform::isWhitespaceOrNewline(static_cast<char16_t>(text[last - 1]))) --last;
    std::string out(text.substr(first, last - first));
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
  }
  const std::u16string units = platform::utf8ToUtf16(text);  // "" for ill-formed text
  const std::u16string_view trimmed = platform::trimWhitespaceAndNewlines(units);
  if (trimmed.empty()) return {};
  const std::u16string lower = platform::toLower(platform::foldDiacriticsAndWidth(trimmed));
  return platform::utf16ToUtf8(platform::trimWhitespaceAndNewlines(lower));
}

bool QMIsValidLanguageCodeString(std::string_view text) {
  return IsTwoLetterCode(QMNormalizeLanguageAlias(text));
}

std::string QMLocalizedLanguageNameForCode(std::string_view code, std::string_view localeId) {
  if (code.empty() || localeId.empty()) return {};
  const std::string name = platform::languageDisplayName(code, localeId);
  const std::u16string units = platform::utf8ToUtf16(name);
  if (units.empty()) return {};
  // A name of one character (one code point) stays as it is.
  const bool pair = units.size() == 2 && (units[0] & 0xFC00) == 0xD800;
  if (units.size() == 1 || pair) return name;
  // Title case rather than upper case for the first character: the same for most scripts,
  // but Georgian keeps its ordinary letters and a digraph such as 'ǆ' becomes 'ǅ', not 'Ǆ'.
  const std::u16string capitalized = platform::capitalizeFirstInLocale(units, localeId);
  return capitalized.empty() ? name : platform::utf16ToUtf8(capitalized);
}

const std::vector<QMFishLanguageEntry>& QMFishLanguageCanonicalEntries() {
  static const std::vector<QMFishLanguageEntry> entries = BuildCanonicalEntries();
  return entries;
}

const QMFishLanguageAliasTable& QMFishLanguageAliasMap() {
  static const QMFishLanguageAliasTable map = BuildAliasMap(QMFishLanguageCanonicalEntries());
  return map;
}

namespace {

// The no-hint words and the listed languages (by any alias), on a normalised text.
bool LookupListedAlias(const std::string& normalized, QMLanguageSelection* selection) {
  if (normalized.empty()) return false;
  if (std::find(kNoHintWords.begin(), kNoHintWords.end(), normalized) != kNoHintWords.end()) {
    if (selection) *selection = QMNoLanguageHintSelection();
    return true;
  }
  const QMFishLanguageAliasTable& map = QMFishLanguageAliasMap();
  if (const auto it = map.find(normalized); it != map.end()) {
    if (selection) *selection = it->second;
    return true;
  }
  return false;
}

}  // namespace

bool QMLookupFishLanguageAlias(std::string_view text, QMLanguageSelection* selection) {
  const std::string normalized = QMNormalizeLanguageAlias(text);
  if (normalized.empty()) return false;
  if (LookupListedAlias(normalized, selection)) return true;
  if (IsTwoLetterCode(normalized)) {
    if (selection) *selection = {"", normalized, normalized};
    return true;
  }
  return false;
}

bool QMExtractFishLanguageTags(std::string_view text, std::string* cleaned,
                               QMLanguageSelection* selection, std::vector<std::size_t>* positions) {
  const auto unchanged = [&] {
    if (cleaned) cleaned->assign(text);
    if (positions) {
      positions->resize(text.size() + 1);
      for (std::size_t i = 0; i <= text.size(); ++i) (*positions)[i] = i;
    }
    return false;
  };
  // Brackets are ASCII, so they are found in the UTF-8 bytes directly: no byte of a multi-byte
  // sequence can be one. The common text without a closing bracket ends here.
  if (text.empty() || text.find(')') == std::string_view::npos) return unchanged();
  if (!platform::isValidUtf8(text)) return unchanged();

  // Every "(...)" with no bracket inside, left to right, as a regular-expression search for
  // \(([^()]*)\) would find them: an opening bracket counts from the last one before a closing.
  struct Tag { std::size_t open, close; };
  std::vector<Tag> tags;
  std::size_t open = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '(') {
      open = i;
    } else if (text[i] == ')' && open != std::string_view::npos) {
      tags.push_back({open, i});
      open = std::string_view::npos;
    }
  }
  if (tags.empty()) return unchanged();

  // The tags never overlap, so each byte is either in a resolved one (and goes) or stays; the
  // last resolved tag in reading order chooses.
  std::vector<bool> kept(text.size(), true);
  bool resolvedAny = false;
  QMLanguageSelection chosen;
  for (const Tag& tag : tags) {
    // Only a listed language or a no-hint word: a bracketed "(uh)" or "(ok)" in a line is
    // part of what is said, not a language of its own.
    QMLanguageSelection found;
    if (!LookupListedAlias(QMNormalizeLanguageAlias(text.substr(tag.open + 1, tag.close - tag.open - 1)), &found))
      continue;
    std::fill(kept.begin() + std::ptrdiff_t(tag.open), kept.begin() + std::ptrdiff_t(tag.close + 1), false);
    chosen = std::move(found);
    resolvedAny = true;
  }
  if (!resolvedAny) {
    if (selection) *selection = {};
    return unchanged();
  }

  // Runs of spaces left by the removals become their first space; then both ends are trimmed
  // of white space and line breaks.
  std::vector<std::size_t> stay;  // offsets in `text` of the bytes that stay, in order
  stay.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!kept[i]) continue;
    if (text[i] == ' ' && !stay.empty() && text[stay.back()] == ' ') continue;
    stay.push_back(i);
  }
  std::string collapsed;
  collapsed.reserve(stay.size());
  for (std::size_t i : stay) collapsed.push_back(text[i]);
  const std::u16string units = platform::utf8ToUtf16(collapsed);
  const std::u16string_view trimmed = platform::trimWhitespaceAndNewlines(units);
  const std::size_t leadUnits = std::size_t(trimmed.data() - units.data());
  const std::size_t lead = platform::utf16ToUtf8(std::u16string_view(units).substr(0, leadUnits)).size();
  const std::size_t length = platform::utf16ToUtf8(trimmed).size();

  if (cleaned) *cleaned = collapsed.substr(lead, length);
  if (positions) {
    // A position lands after the bytes before it that stay: inside or just after a stretch that
    // went, it lands where the stretch was.
    std::fill(kept.begin(), kept.end(), false);
    for (std::size_t k = lead; k < lead + length; ++k) kept[stay[k]] = true;
    positions->assign(text.size() + 1, 0);
    for (std::size_t i = 0; i < text.size(); ++i) (*positions)[i + 1] = (*positions)[i] + (kept[i] ? 1 : 0);
  }
  if (selection) *selection = std::move(chosen);
  return true;
}

std::vector<const QMFishLanguageEntry*> QMFishLanguageMatches(std::string_view query) {
  const std::string normalized = QMNormalizeLanguageAlias(query);
  std::vector<const QMFishLanguageEntry*> matches;
  for (const QMFishLanguageEntry& entry : QMFishLanguageCanonicalEntries()) {
    const bool match =
        normalized.empty() ||
        std::any_of(entry.normalizedAliases.begin(), entry.normalizedAliases.end(),
                    [&](const std::string& alias) {
                      return alias.find(normalized) != std::string::npos;
                    });
    if (match) matches.push_back(&entry);
  }
  return matches;
}
