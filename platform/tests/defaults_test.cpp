// User defaults kept as a JSON file.

#include "qm/platform/defaults.h"

#include "qm/platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using qm::platform::UserDefaults;
namespace fs = std::filesystem;

namespace {

class DefaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qm-defaults-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    path = dir + "/Library/Preferences/test.domain.json";
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string dir, path;
};

}  // namespace

TEST_F(DefaultsTest, ValuesSurviveIntoANewInstance) {
  {
    UserDefaults d(path);
    EXPECT_FALSE(d.has("com.quillomancer.takesRequested"));
    EXPECT_TRUE(d.set("com.quillomancer.takesRequested", 5));
    EXPECT_TRUE(d.set("com.quillomancer.selectedLanguage", "de"));
    EXPECT_TRUE(d.set("queue", nlohmann::json::array({{{"id", "1"}}})));
  }
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  UserDefaults again(path);
  EXPECT_EQ(again.integerForKey("com.quillomancer.takesRequested"), 5);
  EXPECT_EQ(again.stringForKey("com.quillomancer.selectedLanguage"), "de");
  EXPECT_EQ((*again.object("queue"))[0]["id"], "1");
  EXPECT_TRUE(again.remove("queue"));
  EXPECT_FALSE(UserDefaults(path).has("queue"));
}

TEST_F(DefaultsTest, TypedReadersConvertLikeThePlatform) {
  UserDefaults d(path);
  d.set("b_true", true);
  d.set("n_two", 2);
  d.set("n_zero", 0);
  d.set("f", 3.75);
  d.set("s_yes", "YES");
  d.set("s_num", "42abc");
  d.set("s_word", "hello");
  d.set("big", 1e300);
  d.set("obj", nlohmann::json::object());
  struct Case {
    const char* key;
    bool b;
    std::int64_t i;
    double f;
    const char* s;
  } cases[] = {
      {"b_true", true, 1, 1.0, ""},  {"n_two", true, 2, 2.0, "2"},       {"n_zero", false, 0, 0.0, "0"},
      {"f", true, 3, 3.75, "3.75"},  {"s_yes", true, 0, 0.0, "YES"},      {"s_num", true, 42, 42.0, "42abc"},
      {"s_word", false, 0, 0.0, "hello"}, {"big", true, INT64_MAX, 1e300, "1.0000000000000001e+300"},
      {"obj", false, 0, 0.0, ""},    {"absent", false, 0, 0.0, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(d.boolForKey(c.key), c.b) << c.key;
    EXPECT_EQ(d.integerForKey(c.key), c.i) << c.key;
    EXPECT_DOUBLE_EQ(d.doubleForKey(c.key), c.f) << c.key;
    EXPECT_EQ(d.stringForKey(c.key), c.s) << c.key;
  }
}

TEST_F(DefaultsTest, ChangesFromAnotherWriterAreKept) {
  UserDefaults a(path), b(path);
  a.set("one", 1);
  b.set("two", 2);  // b never read "one", but must not drop it
  EXPECT_TRUE(a.synchronize());
  EXPECT_EQ(a.integerForKey("one"), 1);
  EXPECT_EQ(a.integerForKey("two"), 2);
}

TEST_F(DefaultsTest, DamagedFileIsSetAsideNotOverwritten) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << "{\"one\": 1,";  // cut short
  UserDefaults d(path);
  EXPECT_FALSE(d.has("one"));
  EXPECT_FALSE(d.synchronize());
  EXPECT_TRUE(d.set("two", 2));
  std::string kept;
  ASSERT_TRUE(qm::platform::readFile(path + ".unreadable", kept));
  EXPECT_EQ(kept, "{\"one\": 1,");
  EXPECT_EQ(UserDefaults(path).integerForKey("two"), 2);

  // A top level that is not an object counts as damaged too.
  std::ofstream(path, std::ios::trunc) << "[1,2]";
  UserDefaults e(path);
  EXPECT_FALSE(e.has("two"));
}

TEST_F(DefaultsTest, UnwritableFolderReportsFailureButKeepsTheValue) {
  fs::create_directories(dir + "/Library");
  std::ofstream(dir + "/Library/Preferences") << "a file where the folder should be";
  UserDefaults d(path);
  EXPECT_FALSE(d.set("k", "v"));
  EXPECT_EQ(d.stringForKey("k"), "v");
}
