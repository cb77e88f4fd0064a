#include "QMVersionComparison.h"

#include <gtest/gtest.h>

TEST(VersionComparison, OrdersVersionsAsTheOfferNeeds) {
  struct Case {
    const char* a;
    const char* b;
    int expected;
  } cases[] = {
      {"2.0.2", "2.0.2", 0},
      {"2.0.10", "2.0.9", 1},  // numeric, not text order
      {"2.0.9", "2.0.10", -1},
      {"2.0", "2.0.0", 0},  // missing parts are 0
      {"2.0.2.", "2.0.2", 0},  // trailing dots dropped
      {"v2.0.3", "2.0.2", 1},  // leading letters skipped
      {"2.0.2-beta", "2.0.2", 1},  // a suffix sorts after the bare version
      {"2.0.2", "2.0.2-beta", -1},
      {"2.0.2-Beta", "2.0.2-beta", 0},  // suffix lowercased
      {"2.0.2-alpha", "2.0.2-beta", -1},
      {"2.0.2 rc1", "2.0.2rc1", 0},  // white space dropped from the suffix
      {"2.0.2-beta.10", "2.0.2-beta.9", -1},  // digits after the suffix starts are suffix text
      {"2.0.2-beta.10", "2.0.2-beta", 1},  // a proper prefix first
      {"2.0.3-beta", "2.0.2", 1},
      {"2.0.1", "2.0.2", -1},
      {"2..3", "2.0.3", 0},
      {"", "0", 0},
      {"release", "0.0", 0},
      {"", "0.0.1", -1},
      {"99999999999", "0", 0},  // too large for 32 bits: 0
      {"2.99999999999.1", "2.0.1", 0},
      {"2147483647", "2147483646", 1},
      {"2.0.2-\xc3\xa9", "2.0.2-z", 1},  // suffix bytes compare unsigned
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    EXPECT_EQ(QMCompareVersionWithSuffix(c.a, c.b), c.expected);
    EXPECT_EQ(QMCompareVersionWithSuffix(c.b, c.a), -c.expected);
  }
}

TEST(VersionComparison, SplitKeepsEverySegment) {
  using V = std::vector<std::string>;
  EXPECT_EQ(QMSplitString("", '.'), V{""});
  EXPECT_EQ(QMSplitString("2.0.", '.'), (V{"2", "0", ""}));
  EXPECT_EQ(QMSplitString("2..3", '.'), (V{"2", "", "3"}));
  EXPECT_EQ(QMSplitString(".", '.'), (V{"", ""}));
  EXPECT_EQ(QMSplitString("abc", '.'), V{"abc"});
}
