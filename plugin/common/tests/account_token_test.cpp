#include "QMAccountToken.h"

#include "qm/platform/files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace {

struct TokenFolder : ::testing::Test {
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "qm-token-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    path = (root / "Quillomancer" / "account.json").string();
  }
  void TearDown() override { fs::remove_all(root); }
  fs::path root;
  std::string path;
};

}  // namespace

TEST_F(TokenFolder, AnUnusableTokenIsRefusedAndTheStoredOneStays) {
  ASSERT_EQ(QMWriteAccountTokenFile(path, "qm-test-token"), 0);
  EXPECT_EQ(QMWriteAccountTokenFile(path, std::string(256, 't')), EINVAL);
  EXPECT_EQ(QMWriteAccountTokenFile(path, "\xff"), EINVAL);  // not UTF-8
  EXPECT_EQ(QMReadAccountTokenFile(path), "qm-test-token");
  EXPECT_EQ(std::distance(fs::directory_iterator(root / "Quillomancer"), fs::directory_iterator()), 1)
      << "no temporary file is left";
}

TEST_F(TokenFolder, AnythingButAUsableTokenReadsAsNone) {
  const std::string longest(255, 't');
  struct Case {
    std::string file;
    std::string token;
  } cases[] = {
      {R"({"access_token":")" + longest + "\"}", longest},
      {R"({"access_token":")" + longest + "t\"}", ""},
      {R"({"access_token":""})", ""},
      {R"({"access_token":"a\u007fb"})", ""},
      {R"({"access_token":42})", ""},
      {"access_token=abc", ""},
      {R"({"access_token":"abc","pad":")" + std::string(4096, ' ') + "\"}", ""},  // over 4 KiB
  };
  fs::create_directories(root / "Quillomancer");
  for (const auto& c : cases) {
    ASSERT_EQ(qm::platform::writeFileAtomic(path, c.file), 0);
    EXPECT_EQ(QMReadAccountTokenFile(path), c.token) << c.file.substr(0, 40);
  }
}

TEST_F(TokenFolder, OnlyARegularFileOfTheUsersOwnThatOthersCannotReachIsRead) {
  fs::create_directories(root / "Quillomancer");
  const auto writeToken = [](const fs::path& at, mode_t mode) {
    ASSERT_EQ(qm::platform::writeFileAtomic(at.string(), R"({"access_token":"qm-test-token"})", mode), 0);
    ASSERT_EQ(chmod(at.c_str(), mode), 0);
  };
  const struct {
    const char* why;  // what follows the path; none when the token is read
    std::function<void()> make;
  } cases[] = {
      {"", [&] { writeToken(path, 0400); }},
      {"can be read or written by others", [&] { writeToken(path, 0640); }},
      {"can be read or written by others", [&] { writeToken(path, 0602); }},
      {"is a symbolic link", [&] { writeToken(root / "elsewhere.json", 0600), fs::create_symlink(root / "elsewhere.json", path); }},
      {"is not a regular file", [&] { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }},
      {"holds no usable token", [&] { ASSERT_EQ(qm::platform::writeFileAtomic(path, "{}", 0600), 0); }},
  };
  std::string why;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    c.make();
    EXPECT_EQ(QMReadAccountTokenFile(path, &why), *c.why ? "" : "qm-test-token");
    EXPECT_EQ(why, *c.why ? path + " " + c.why : "");
    fs::remove_all(path);
  }
  EXPECT_EQ(QMReadAccountTokenFile(path, &why) + why, "") << "a missing file is no fault";
  // Another user's file, where this one may hand it over (as root).
  writeToken(path, 0600);
  if (chown(path.c_str(), 65534, static_cast<gid_t>(-1)) != 0) GTEST_SKIP() << "cannot give the file away";
  EXPECT_EQ(QMReadAccountTokenFile(path, &why), "");
  EXPECT_EQ(why, path + " is not owned by this user");
}
