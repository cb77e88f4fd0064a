// Home-relative folders and timestamp texts.

#include "qm/platform/paths.h"
#include "qm/platform/time.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

using namespace qm::platform;

namespace {

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    if (old) saved_ = old;
    hadValue_ = old != nullptr;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (hadValue_)
      setenv(name_, saved_.c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::string saved_;
  bool hadValue_ = false;
};

// True when `text` has the layout of `shape`, where '9' stands for any ASCII digit.
bool hasShape(const std::string& text, const std::string& shape) {
  if (text.size() != shape.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (shape[i] == '9' ? !(text[i] >= '0' && text[i] <= '9') : text[i] != shape[i]) return false;
  }
  return true;
}

}  // namespace

TEST(Paths, EverythingLivesUnderHomeLibrary) {
  ScopedEnv home("HOME", "/tmp/somebody/");
  EXPECT_EQ(homeDirectory(), "/tmp/somebody/");
  EXPECT_EQ(libraryDirectory(), "/tmp/somebody/Library");
  EXPECT_EQ(libraryPath("Logs/Quillomancer"), "/tmp/somebody/Library/Logs/Quillomancer");
  EXPECT_EQ(preferencesDirectory(), "/tmp/somebody/Library/Preferences");
  EXPECT_EQ(logsDirectory(), "/tmp/somebody/Library/Logs");
  EXPECT_EQ(applicationSupportDirectory(), "/tmp/somebody/Library/Application Support");
  EXPECT_EQ(cachesDirectory(), "/tmp/somebody/Library/Caches");
  EXPECT_EQ(expandTilde("~"), "/tmp/somebody/");
  EXPECT_EQ(expandTilde("~/Library/x"), "/tmp/somebody/Library/x");
  EXPECT_EQ(expandTilde("~other/x"), "~other/x");
  EXPECT_EQ(expandTilde("/abs"), "/abs");
}

TEST(Paths, WithoutHomeThePasswordEntryIsUsed) {
  ScopedEnv home("HOME", nullptr);
  const std::string dir = homeDirectory();
  EXPECT_FALSE(dir.empty());
  EXPECT_EQ(dir.front(), '/');
}

TEST(Paths, JoinPutsExactlyOneSlash) {
  EXPECT_EQ(joinPath("/a", "b"), "/a/b");
  EXPECT_EQ(joinPath("/a/", "/b"), "/a/b");
  EXPECT_EQ(joinPath("/a//", "b/c"), "/a/b/c");
  EXPECT_EQ(joinPath("/", "b"), "/b");
  EXPECT_EQ(joinPath("/a", ""), "/a");
  EXPECT_EQ(joinPath("", "b"), "b");
}

TEST(Time, UtcTextHasTheFixedPattern) {
  EXPECT_EQ(formatUTCTimestamp(0), "1970-01-01T00:00:00Z");
  EXPECT_EQ(formatUTCTimestamp(951782400), "2000-02-29T00:00:00Z");
  EXPECT_EQ(formatUTCTimestamp(1767225599), "2025-12-31T23:59:59Z");
  EXPECT_TRUE(hasShape(utcNowISOString(), "9999-99-99T99:99:99Z"));
}

TEST(Time, LocalTextFollowsTheTimeZoneButNeverTheLocale) {
  ScopedEnv tz("TZ", "UTC-02:30");  // POSIX sign: 2:30 east of UTC
  tzset();
  // Whatever locale the process runs in, digits stay ASCII and the layout stays fixed.
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  std::setlocale(LC_ALL, "");
  EXPECT_EQ(formatLocalTimestamp(0), "1970-01-01 02:30:00");
  EXPECT_EQ(formatUTCTimestamp(0), "1970-01-01T00:00:00Z");
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_TRUE(hasShape(localNowString(), "9999-99-99 99:99:99"));
}
