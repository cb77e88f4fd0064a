#include "qm/platform/uuid.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace qm::platform;

TEST(Uuid, RandomVersionFourInBothCases) {
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    const std::string u = randomUuidString();
    EXPECT_TRUE(isUuidText(u) && u[14] == '4' && std::string("89AB").find(u[19]) != std::string::npos) << u;
    EXPECT_EQ(u.find_first_of("abcdef"), std::string::npos) << u;
    seen.insert(u);
  }
  EXPECT_EQ(seen.size(), 50u);
  const std::string lower = randomUuidString(false);
  EXPECT_TRUE(isUuidText(lower) && lower[14] == '4') << lower;
  EXPECT_EQ(lower.find_first_of("ABCDEF"), std::string::npos) << lower;
  for (const char* bad : {"", "0B6C1A52-5F0E-4C8E-9A4B-2F1D3C4B5A6G", "../../../../../../../../../etc/passwd"})
    EXPECT_FALSE(isUuidText(bad)) << bad;
}
