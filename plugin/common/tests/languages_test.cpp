#include "QMLanguages.h"

#include "qm/platform/language.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

const QMLanguageSelection kEnglish{"", "English", "en"};
const QMLanguageSelection kFrench{"", "Fran\xC3\xA7" "ais", "fr"};
const QMLanguageSelection kGerman{"", "Deutsch", "de"};
const QMLanguageSelection kNoHint{"", "--", ""};
const QMLanguageSelection kUntouched{"p", "b", "c"};  // no lookup produces this

std::vector<std::string> MatchingCodes(const std::string& query) {
  std::vector<std::string> codes;
  for (const QMFishLanguageEntry* entry : QMFishLanguageMatches(query))
    codes.push_back(entry->code);
  return codes;
}

}  // namespace

TEST(LanguageList, PriorityGroupFirstThenNativeNamesInOrder) {
  const auto& entries = QMFishLanguageCanonicalEntries();
  ASSERT_GT(entries.size(), 150u);
  const char* const first[] = {"en", "es", "fr", "de", "it"};
  for (std::size_t k = 0; k < 5; ++k) EXPECT_EQ(entries[k].code, first[k]);
  const qm::platform::Collator collator;
  for (std::size_t k = 6; k < entries.size(); ++k)
    EXPECT_LE(collator.compare(entries[k - 1].display, entries[k].display), 0) << entries[k].code;
  EXPECT_EQ(entries[2].selection(), kFrench);  // capitalised: the locale data has "français"
  // Without locale data of its own a language is named in English; Georgian has no capitals.
  const std::vector<std::string> codes = MatchingCodes("abkhaz");
  ASSERT_EQ(codes, std::vector<std::string>{"ab"});
  EXPECT_EQ(QMFishLanguageMatches("abkhaz")[0]->display, "Abkhazian");
  EXPECT_EQ(QMLocalizedLanguageNameForCode("ka", "ka"),
            "\xE1\x83\xA5\xE1\x83\x90\xE1\x83\xA0\xE1\x83\x97\xE1\x83\xA3\xE1\x83\x9A\xE1\x83\x98");
  EXPECT_EQ(QMLocalizedLanguageNameForCode("de", "fr"), "Allemand");
  EXPECT_EQ(QMLocalizedLanguageNameForCode("de", ""), "");
}

TEST(LanguageLookup, NamesCodesAndNoHintWords) {
  struct Case { const char* text; QMLanguageSelection expected; };
  const Case cases[] = {
      {"English", kEnglish}, {"  eNGLISH \n", kEnglish}, {"\tEN ", kEnglish},
      {"\xEF\xBC\xA5\xEF\xBC\xAE", kEnglish},  // full-width EN
      {"francais", kFrench}, {"FRAN\xC3\x87" "AIS", kFrench}, {"french", kFrench},
      {"Deutsch", kGerman}, {"allemand", {}},  // a name in a third language is no alias
      // Any other two-letter word (of any script) is a code of its own, in lower case.
      {"Zq", {"", "zq", "zq"}}, {"\xC3\x89Q", {"", "eq", "eq"}},
      {"\xCE\xB1\xCE\xB2", {"", "\xCE\xB1\xCE\xB2", "\xCE\xB1\xCE\xB2"}},
      {"a1", {}}, {"d-", {}}, {"zqx", {}}, {"z", {}},
      {"\xF0\x90\x90\xA8", {}},  // one letter in two units
      {"", {}}, {" \n ", {}}, {"-----", {}}, {"\xFF\xFE", {}},
      {"auto", kNoHint}, {"AutoDetect", kNoHint}, {" automatic ", kNoHint}, {"DEFAULT", kNoHint},
      {"null", kNoHint}, {"Undefined\n", kNoHint}, {"none", kNoHint}, {"--", kNoHint},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    QMLanguageSelection selection = kUntouched;
    const bool resolves = !c.expected.bubble.empty();
    EXPECT_EQ(QMLookupFishLanguageAlias(c.text, &selection), resolves);
    EXPECT_EQ(selection, resolves ? c.expected : kUntouched);
  }
  for (const char* code : {" De ", "\xEF\xBC\xA5\xEF\xBC\xAE", "\xCE\xB1\xCE\xB2"})
    EXPECT_TRUE(QMIsValidLanguageCodeString(code)) << code;
  for (const char* text : {"a1", "d-", "deu", "z", "\xF0\x90\x90\xA8", "--"})
    EXPECT_FALSE(QMIsValidLanguageCodeString(text)) << text;
}

TEST(LanguageTags, ExtractionFromEditorText) {
  struct Case { const char* text; const char* cleaned; QMLanguageSelection selection; };
  const Case cases[] = {
      {"Hello (fr) world", "Hello world", kFrench},
      {"(en) text (de)", "text", kGerman},
      {"(auto) text", "text", kNoHint},
      {"call me (maybe)", "call me (maybe)", {}},
      {"(laughs) so (FR) be it", "(laughs) so be it", kFrench},
      {"one  (de)   two", "one two", kGerman},
      {"\n (de) x \n", "x", kGerman},
      {"() said (de)", "() said", kGerman},
      {"()", "()", {}},
      {" (maybe) ", " (maybe) ", {}},
      {"(de (fr) x)", "(de x)", kFrench},
      {"a ) b (de", "a ) b (de", kUntouched},
      {"", "", kUntouched},
      {"bad \xFF (de)", "bad \xFF (de)", kUntouched},
      // A two-letter word that names no listed language is said, not a tag.
      {"I never said (uh) she took the car.", "I never said (uh) she took the car.", {}},
      {"(uh) so (French) be it", "(uh) so be it", kFrench},
      {"(fr) well (ok)", "well (ok)", kFrench},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string cleaned = "stale";
    QMLanguageSelection selection = kUntouched;
    const bool resolved = std::string(c.text) != c.cleaned;
    EXPECT_EQ(QMExtractFishLanguageTags(c.text, &cleaned, &selection), resolved);
    EXPECT_EQ(cleaned, c.cleaned);
    EXPECT_EQ(selection, c.selection);
    EXPECT_EQ(QMExtractFishLanguageTags(c.text, nullptr, nullptr), resolved);
  }
}

TEST(LanguageMatches, QueryAgainstEveryAliasInListOrder) {
  EXPECT_EQ(QMFishLanguageMatches(" ").size(), QMFishLanguageCanonicalEntries().size());
  EXPECT_EQ(MatchingCodes("DEUTS"), std::vector<std::string>{"de"});
  EXPECT_EQ(MatchingCodes("ger"), std::vector<std::string>{"de"});
  const std::vector<std::string> ish = MatchingCodes("ish");  // English, Spanish, then others
  ASSERT_GE(ish.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(ish.begin(), ish.begin() + 2),
            (std::vector<std::string>{"en", "es"}));
  EXPECT_TRUE(MatchingCodes("undef").empty());
}

TEST(LanguageList, FirstUseFromManyThreadsBuildsOneTable) {
  std::vector<const QMFishLanguageAliasTable*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (std::size_t k = 0; k < seen.size(); ++k)
    threads.emplace_back([&seen, k] {
      EXPECT_TRUE(QMLookupFishLanguageAlias("deutsch"));
      seen[k] = &QMFishLanguageAliasMap();
    });
  for (auto& thread : threads) thread.join();
  for (const auto* table : seen) EXPECT_EQ(table, seen[0]);
}
