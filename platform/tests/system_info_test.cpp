#include "qm/platform/system_info.h"

#include <gtest/gtest.h>

#include <utility>

using namespace qm::platform;

TEST(SystemInfo, VersionIsMajorMinorPatchOfTheKernelRelease) {
  const std::pair<const char*, const char*> cases[] = {
      {"6.1.0-18-amd64", "6.1.0"}, {"5.15", "5.15.0"}, {"6.8.12+deb13", "6.8.12"}, {"4.19.0.7", "4.19.0"},
      {"6.", "6.0.0"}, {"v6.1", "0.0.0"}, {"", "0.0.0"}, {"99999999999.1.2", "999999999.1.2"}};
  for (const auto& [release, version] : cases) EXPECT_EQ(versionFromKernelRelease(release), version) << release;
  EXPECT_NE(operatingSystemVersion(), "0.0.0");
}
