#include "qm/platform/language.h"
#include "qm/platform/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <set>
#include <sstream>

using namespace qm::platform;

namespace {

// Names with locale data (one from a parent locale), and the cases where ICU would fall back to
// the default locale's data ("ab" and "xx" have none) or to the code itself ("qq").
const char* const kNames[][3] = {
    {"fr", "fr", "fran\xC3\xA7" "ais"}, {"de", "en_US_POSIX", "German"},
    {"en", "de_CH", "Englisch"},
    {"ab", "ab", ""}, {"ab", "en_US_POSIX", "Abkhazian"}, {"en", "xx", ""}, {"qq", "en", ""},
    {"en", "", ""}, {"", "en", ""}, {"en@calendar", "fr", ""}, {"en", "fr@x=y", ""},
};

std::string AllNames() {
  std::ostringstream out;
  for (const auto& c : kNames)
    out << c[0] << '|' << c[1] << '|' << languageDisplayName(c[0], c[1]) << '\n';
  return out.str();
}

constexpr const char* kChildFlag = "QM_LANGUAGE_NAMES_CHILD";

}  // namespace

TEST(LanguageNames, FromTheLocaleDataOrNone) {
  for (const auto& c : kNames)
    EXPECT_EQ(languageDisplayName(c[0], c[1]), c[2]) << c[0] << " in " << c[1];
}

// The same names whatever the machine's locale: this program runs again under other LANG values
// and must print what it finds here.
TEST(LanguageNames, DoNotFollowTheMachineLocale) {
  if (std::getenv(kChildFlag)) {
    std::cout << "<<" << AllNames() << ">>";
    return;
  }
  const char* lang = std::getenv("LANG");
  const std::string oldLang = lang ? lang : "";
  setenv(kChildFlag, "1", 1);
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  for (const char* other : {"de_DE.UTF-8", "ja_JP.UTF-8"}) {
    SCOPED_TRACE(other);
    setenv("LANG", other, 1);
    const ProcessResult run =
        runProcess("/proc/self/exe", {"--gtest_filter=LanguageNames.DoNotFollowTheMachineLocale"});
    ASSERT_EQ(run.exitCode, 0) << run.standardError;
    const std::size_t begin = run.standardOutput.find("<<");
    const std::size_t end = run.standardOutput.find(">>", begin);
    ASSERT_NE(end, std::string::npos) << run.standardOutput;
    EXPECT_EQ(run.standardOutput.substr(begin + 2, end - begin - 2), AllNames());
  }
  unsetenv(kChildFlag);
  setenv("LANG", oldLang.c_str(), 1);
}

TEST(LanguageCodes, TwoLettersWhereTheLanguageHasThem) {
  const std::vector<std::string> codes = isoLanguageCodes();
  const std::set<std::string> unique(codes.begin(), codes.end());
  EXPECT_EQ(unique.size(), codes.size());
  for (const char* code : {"en", "ja", "zu", "haw"}) EXPECT_TRUE(unique.count(code)) << code;
  // Codes replaced long ago (Hebrew, Indonesian), and three-letter forms of two-letter ones.
  for (const char* code : {"iw", "in", "eng"}) EXPECT_FALSE(unique.count(code)) << code;
}

TEST(LanguageCase, UpperAndCapitalizedFollowTheLocale) {
  EXPECT_EQ(toUpperInLocale(u"istanbul", ""), u"ISTANBUL");
  EXPECT_EQ(toUpperInLocale(u"istanbul", "tr"), u"\u0130STANBUL");
  // Upper case can outgrow its text by far: every 'ß' becomes two letters.
  EXPECT_EQ(toUpperInLocale(std::u16string(40, u'\u00DF'), ""), std::u16string(80, u'S'));
  EXPECT_EQ(capitalizeFirstInLocale(u"iNGILIZCE", "tr"), u"\u0130NGILIZCE");  // the rest is kept
  EXPECT_EQ(capitalizeFirstInLocale(u"\u01C6ungla", ""), u"\u01C5ungla");
  const std::u16string georgian = u"\u10E5\u10D0\u10E0\u10D7\u10E3\u10DA\u10D8";
  EXPECT_EQ(capitalizeFirstInLocale(georgian, "ka"), georgian);
  EXPECT_EQ(capitalizeFirstInLocale(u"\U00010428x", ""), u"\U00010400x");  // a pair as a whole
}

TEST(LanguageLetters, LettersAndMarksOfAnyScript) {
  for (char16_t c : std::u16string(u"aZ\u00E9\u0301\u4E2D\u093F\u05D0\u0416"))
    EXPECT_TRUE(isLetter(c)) << int(c);
  for (char16_t c : std::u16string(u"9\u0663 -'\u00BD\xD801\xDC28"))
    EXPECT_FALSE(isLetter(c)) << int(c);
}

TEST(LanguageCollation, IgnoresCaseButNotAccents) {
  const Collator collator;
  EXPECT_EQ(collator.compare("deutsch", "DEUTSCH"), 0);
  EXPECT_LT(collator.compare("cote", "c\xC3\xB4te"), 0);
  // Latin (accented letters beside their base letter), then Greek, then Cyrillic.
  std::vector<std::string> names = {"\xD0\xA0\xD1\x83", "zulu", "\xC3\x8D" "slenska",
                                    "\xCE\x95\xCE\xBB", "Italiano", "islenska"};
  std::sort(names.begin(), names.end(),
            [&](const std::string& a, const std::string& b) { return collator.compare(a, b) < 0; });
  const std::vector<std::string> expected = {"islenska", "\xC3\x8D" "slenska", "Italiano", "zulu",
                                             "\xCE\x95\xCE\xBB", "\xD0\xA0\xD1\x83"};
  EXPECT_EQ(names, expected);
}
