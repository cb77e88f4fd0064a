#include "AAX_CString.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

TEST(CString, NullAndEmptyConstruction) {
  const AAX_CString fromNull(static_cast<const char*>(nullptr));
  EXPECT_TRUE(fromNull.Empty());
  EXPECT_STREQ(fromNull.Get(), "");
  EXPECT_EQ(fromNull.Length(), 0u);
  EXPECT_EQ(fromNull.MaxLength(), 0xFFFFFFFEu);

  AAX_CString s("abc");
  s.Set(nullptr);
  EXPECT_TRUE(s.Empty());
  s = static_cast<const char*>(nullptr);
  EXPECT_TRUE(s.Empty());
}

TEST(CString, ConstructFromInterfaceCopiesText) {
  const AAX_CString source("Pro Tools");
  const AAX_IString& asInterface = source;
  const AAX_CString copy(asInterface);
  EXPECT_EQ(copy, "Pro Tools");
  AAX_CString assigned;
  assigned = asInterface;
  EXPECT_EQ(assigned, "Pro Tools");
}

TEST(CString, AppendForms) {
  AAX_CString s("a");
  s.Append(AAX_CString("b")).Append("c");
  s += std::string("d");
  s += "e";
  s += AAX_CString("f");
  s.Append(static_cast<const char*>(nullptr));
  EXPECT_EQ(s, "abcdef");

  // The string forms append only up to the first NUL.
  AAX_CString withNul(std::string("x\0y", 3));
  AAX_CString t("t");
  t.Append(withNul);
  t += std::string("u\0v", 3);
  EXPECT_EQ(t.StdString(), "txu");
}

struct NumberCase {
  double value;
  int precision;
  const char* text;
};

TEST(CString, AppendNumberFixedPoint) {
  const NumberCase cases[] = {{2.5, 3, "2.500"}, {-1.25, 1, "-1.2"}, {3.0, 0, "3"}, {0.1, -2, "0"}};
  for (const NumberCase& c : cases) {
    AAX_CString s;
    s.AppendNumber(c.value, c.precision);
    EXPECT_EQ(s, c.text) << c.value << " / " << c.precision;
  }
  AAX_CString n;
  n.AppendNumber(-42);
  EXPECT_EQ(n, "-42");
}

struct HexCase {
  int value;
  int width;
  const char* text;
};

TEST(CString, AppendHex) {
  const HexCase cases[] = {
      {255, 4, "0x00ff"}, {-1, 2, "0xffffffff"}, {10, 0, "0xa"}, {0x12345, 2, "0x12345"}, {0, 3, "0x000"}, {7, -5, "0x7"},
  };
  for (const HexCase& c : cases) {
    AAX_CString s;
    s.AppendHex(c.value, c.width);
    EXPECT_EQ(s, c.text) << c.value << " / " << c.width;
  }
}

TEST(CString, InsertReplaceEraseAndOutOfRange) {
  AAX_CString s("Media");
  s.Insert(5, " Composer");
  EXPECT_EQ(s, "Media Composer");
  s.Insert(0, AAX_CString(">"));
  EXPECT_EQ(s, ">Media Composer");
  s.Insert(1000, "<");  // past the end appends
  EXPECT_EQ(s, ">Media Composer<");
  s.Replace(1, 5, "Sound");
  EXPECT_EQ(s, ">Sound Composer<");
  s.Replace(500, 3, "!");
  EXPECT_EQ(s, ">Sound Composer<!");

  AAX_CString n("ab");
  n.InsertNumber(1, 7);
  n.InsertNumber(0, 1.5, 1);
  n.InsertHex(100, 16, 2);
  EXPECT_EQ(n, "1.5a7b0x10");

  AAX_CString ten("0123456789");
  ten.Erase(5, 8);
  EXPECT_EQ(ten, "01234");
  ten.Erase(50, 2);
  EXPECT_EQ(ten, "01234");
  ten.Erase(1, 2);
  EXPECT_EQ(ten, "034");
}

TEST(CString, SubString) {
  const AAX_CString s("Media Composer");
  AAX_CString out("old");
  s.SubString(6, 100, &out);
  EXPECT_EQ(out, "Composer");
  s.SubString(0, 5, &out);
  EXPECT_EQ(out, "Media");
  s.SubString(99, 1, &out);
  EXPECT_EQ(out, "");
  s.SubString(0, 1, nullptr);  // must not crash
}

TEST(CString, FindFirstAndLast) {
  const AAX_CString s("Media Composer");
  EXPECT_EQ(s.FindFirst("Composer"), 6u);
  EXPECT_EQ(AAX_CString("Pro Tools").FindFirst(AAX_CString("Composer")), 0xFFFFFFFFu);
  EXPECT_EQ(s.FindFirst('e'), 1u);
  EXPECT_EQ(s.FindLast('e'), 12u);
  EXPECT_EQ(s.FindLast("o"), 10u);
  EXPECT_EQ(s.FindLast(AAX_CString("zz")), 0xFFFFFFFFu);
}

struct IntegerCase {
  const char* text;
  bool ok;
  int32_t value;
};

TEST(CString, ToInteger) {
  const IntegerCase cases[] = {
      {" 42abc", true, 42},          {"abc", false, 0},       {"", false, 0},
      {"-17", true, -17},            {"+8", true, 8},          {"\t\n 5 6", true, 5},
      {"2147483647", true, 2147483647}, {"-2147483648", true, -2147483647 - 1},
      {"2147483648", false, 0},      {"-2147483649", false, 0}, {"99999999999999999999", false, 0},
      {"-", false, 0},               {"0x10", true, 0},
  };
  for (const IntegerCase& c : cases) {
    int32_t value = 12345;
    EXPECT_EQ(AAX_CString(c.text).ToInteger(&value), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(value, c.value) << '"' << c.text << '"';
  }
}

TEST(CString, ToDouble) {
  double value = 9.0;
  EXPECT_TRUE(AAX_CString("  -2.5dB").ToDouble(&value));
  EXPECT_DOUBLE_EQ(value, -2.5);
  EXPECT_TRUE(AAX_CString("1e3").ToDouble(&value));
  EXPECT_DOUBLE_EQ(value, 1000.0);
  EXPECT_FALSE(AAX_CString("dB").ToDouble(&value));
  EXPECT_EQ(value, 0.0);
  value = 9.0;
  EXPECT_FALSE(AAX_CString("1e999").ToDouble(&value));
  EXPECT_EQ(value, 0.0);
}

TEST(CString, ComparisonsAndEmbeddedNul) {
  const AAX_CString a(std::string("abc\0x", 5));
  const AAX_CString b(std::string("abc\0y", 5));
  EXPECT_TRUE(a == b);  // C-string comparison stops at the NUL
  EXPECT_FALSE(a == std::string("abc\0y", 5));
  EXPECT_TRUE(a == std::string("abc\0x", 5));
  EXPECT_TRUE(a == "abc");
  EXPECT_FALSE(a != "abc");
  EXPECT_TRUE(AAX_CString("") == static_cast<const char*>(nullptr));
  EXPECT_TRUE(AAX_CString("abc") < AAX_CString("abd"));
  EXPECT_TRUE(AAX_CString("b") > AAX_CString("abc"));
  EXPECT_FALSE(AAX_CString("b") < AAX_CString("b"));
}

TEST(CString, IndexingStaysInsideTheText) {
  AAX_CString s("abc");
  s[1] = 'X';
  EXPECT_EQ(s, "aXc");
  s[10] = 'Z';  // out of range: a scratch byte, the text is untouched
  EXPECT_EQ(s, "aXc");
  EXPECT_EQ(s.Length(), 3u);
  const AAX_CString& cs = s;
  EXPECT_EQ(cs[2], 'c');
  EXPECT_EQ(cs[3], '\0');
  EXPECT_EQ(cs[1000], '\0');
}

TEST(CString, StreamOperators) {
  std::ostringstream out;
  out << AAX_CString("Pro Tools");
  EXPECT_EQ(out.str(), "Pro Tools");
  std::istringstream in("  first second");
  AAX_CString word;
  in >> word;
  EXPECT_EQ(word, "first");
}

}  // namespace
