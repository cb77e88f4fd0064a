#include "qm/platform/text.h"

#include <gtest/gtest.h>

using namespace qm::platform;

TEST(TextConversion, RoundTripsWellFormedText) {
  const std::string text = "Caf\xC3\xA9 \xE2\x80\x99 \xF0\x9F\x8E\xA4 end";  // é, ’, a microphone
  const std::u16string wide = utf8ToUtf16(text);
  EXPECT_EQ(wide.size(), 13u);  // the emoji is a surrogate pair
  EXPECT_EQ(utf16ToUtf8(wide), text);
  EXPECT_EQ(utf16Length(text), 13u);
  EXPECT_TRUE(isValidUtf8(text));
}

TEST(TextConversion, IllFormedInputGivesEmptyString) {
  struct Case { const char* name; std::string bytes; };
  const Case cases[] = {
      {"lone continuation", "a\x80" "b"},
      {"truncated sequence", "ab\xE2\x80"},
      {"overlong slash", "\xC0\xAF"},
      {"encoded surrogate", "\xED\xA0\x80"},
      {"above U+10FFFF", "\xF4\x90\x80\x80"},
      {"invalid byte", "\xFF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(isValidUtf8(c.bytes));
    EXPECT_TRUE(utf8ToUtf16(c.bytes).empty());
    EXPECT_EQ(utf16Length(c.bytes), 0u);
  }
  EXPECT_TRUE(utf16ToUtf8(std::u16string(u"a\xD800" "b")).empty());
  EXPECT_TRUE(utf16ToUtf8(std::u16string(1, u'\xDC00')).empty());
  // An embedded NUL is a character like any other.
  EXPECT_EQ(utf8ToUtf16(std::string("a\0b", 3)).size(), 3u);
}

TEST(TextCut, Utf8CutsOnlyAtCodePointBoundaries) {
  const std::string text = "a\xC3\xA9\xE2\x80\x99\xF0\x9F\x8E\xA4";  // 1 + 2 + 3 + 4 bytes
  const std::size_t expected[] = {0, 1, 1, 3, 3, 3, 6, 6, 6, 6, 10, 10};
  for (std::size_t max = 0; max < std::size(expected); ++max) {
    SCOPED_TRACE(max);
    const std::size_t cut = utf8PrefixLength(text, max);
    EXPECT_EQ(cut, expected[max]);
    EXPECT_TRUE(isValidUtf8(text.substr(0, cut)));
  }
}

TEST(TextCut, Utf16NeverSplitsASurrogatePair) {
  const std::u16string text = u"ab\U0001F3A4c";
  EXPECT_EQ(utf16PrefixLength(text, 2), 2u);
  EXPECT_EQ(utf16PrefixLength(text, 3), 2u);
  EXPECT_EQ(utf16PrefixLength(text, 4), 4u);
  EXPECT_EQ(utf16PrefixLength(text, 99), 5u);
}

TEST(TextClasses, AlphanumericCoversLettersMarksAndNumbers) {
  for (char16_t c : std::u16string(u"aZ\u00E9\u0301\u0663\u00BD\u4E2D\u0915\u093F"))
    EXPECT_TRUE(isAlphanumeric(c)) << int(c);
  for (char16_t c : std::u16string(u" _-'\u2019.,!\u00A0\u20AC"))
    EXPECT_FALSE(isAlphanumeric(c)) << int(c);
  EXPECT_FALSE(isAlphanumeric(u'\xD83C'));  // surrogate halves belong to no class
  EXPECT_FALSE(isAlphanumeric(u'\xDFA4'));
}

TEST(TextClasses, WhitespaceAndNewlines) {
  for (char16_t c : std::u16string(u" \t\u00A0\u3000\u2003")) {
    EXPECT_TRUE(isWhitespace(c)) << int(c);
    EXPECT_TRUE(isWhitespaceOrNewline(c)) << int(c);
  }
  for (char16_t c : std::u16string(u"\n\r\u000B\u000C\u0085\u2028\u2029")) {
    EXPECT_FALSE(isWhitespace(c)) << int(c);
    EXPECT_TRUE(isWhitespaceOrNewline(c)) << int(c);
  }
  EXPECT_FALSE(isWhitespaceOrNewline(u'x'));
  EXPECT_EQ(trimWhitespaceAndNewlines(u" \n\tab c\u00A0\r\n"), u"ab c");
  EXPECT_EQ(trimWhitespaceAndNewlines(u" \n "), u"");
}

TEST(TextFold, RemovesDiacriticsAndWidthButKeepsCase) {
  struct Case { std::u16string in, out; };
  const Case cases[] = {
      {u"Caf\u00E9", u"Cafe"},
      {u"Cafe\u0301", u"Cafe"},             // decomposed accent
      {u"na\u00EFve", u"naive"},
      {u"\uFF21\uFF42\uFF43\uFF11", u"Abc1"},  // full-width letters and digit
      {u"\uFF76", u"\u30AB"},                 // half-width katakana
      {u"\u00C5NGSTR\u00D6M", u"ANGSTROM"},
      {u"\uD55C\uAD6D", u"\uD55C\uAD6D"},     // Hangul survives decomposition
      {u"\u00DF\u00E6", u"\u00DF\u00E6"},     // letters that are not accented stay
      {u"\uFB01", u"\uFB01"},                 // a ligature is not a width form
      {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(foldDiacriticsAndWidth(c.in), c.out);
}

TEST(TextCase, LowerCaseMayGrow) {
  EXPECT_EQ(toLower(u"ABC\u00C9"), u"abc\u00E9");
  EXPECT_EQ(toLower(u"\u0130"), u"i\u0307");
  EXPECT_EQ(toLower(u"\u03A3"), u"\u03C3");
  EXPECT_EQ(toLower(u""), u"");
}

TEST(TextRegex, ReplacesAllMatchesWithGroups) {
  std::u16string text = u"I  told you ,  not him !";
  ASSERT_TRUE(regexReplaceAll(text, u"\\s{2,}", u" "));
  EXPECT_EQ(text, u"I told you , not him !");
  ASSERT_TRUE(regexReplaceAll(text, u"\\s+([,.;:!?])", u"$1"));
  EXPECT_EQ(text, u"I told you, not him!");
  std::u16string unchanged = u"abc";
  EXPECT_FALSE(regexReplaceAll(unchanged, u"([a-", u"x"));
  EXPECT_EQ(unchanged, u"abc");
}

TEST(TextRange, Intersection) {
  EXPECT_EQ(intersectionLength({0, 5}, {3, 5}), 2u);
  EXPECT_EQ(intersectionLength({0, 3}, {3, 5}), 0u);  // touching is not intersecting
  EXPECT_EQ(intersectionLength({2, 0}, {0, 5}), 0u);
  EXPECT_EQ(intersectionLength({kTextNotFound, 3}, {0, 5}), 0u);
  EXPECT_TRUE(rangesIntersect({4, 1}, {0, 5}));
}
