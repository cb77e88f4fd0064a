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
  const std::string good = R"({"access_token":"qm-test-token"})";
  const auto file = [&](mode_t mode) {
    return [this, mode, good] {
      ASSERT_EQ(qm::platform::writeFileAtomic(path, good, mode), 0);
      ASSERT_EQ(chmod(path.c_str(), mode), 0);
    };
  };
  const struct {
    const char* name;
    std::function<void()> make;
    std::string token, why;  // why: what follows the path
  } cases[] = {
      {"missing", [] {}, "", ""},
      {"0600", file(0600), "qm-test-token", ""},
      {"0400", file(0400), "qm-test-token", ""},
      {"read by the group", file(0640), "", "can be read or written by others"},
      {"written by others", file(0602), "", "can be read or written by others"},
      {"a link to a good file", [&] {
         ASSERT_EQ(qm::platform::writeFileAtomic((root / "elsewhere.json").string(), good, 0600), 0);
         fs::create_symlink(root / "elsewhere.json", path);
       }, "", "is a symbolic link"},
      {"a FIFO", [&] { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }, "", "is not a regular file"},
      {"a folder", [&] { fs::create_directory(path); }, "", "is a folder"},
      {"no token in it", [&] { ASSERT_EQ(qm::platform::writeFileAtomic(path, "{}", 0600), 0); }, "", "holds no usable token"},
  };
  for (const auto& c : cases) {
    std::string why = "unchanged";
    c.make();
    EXPECT_EQ(QMReadAccountTokenFile(path, &why), c.token) << c.name;
    EXPECT_EQ(why, c.why.empty() ? "" : path + " " + c.why) << c.name;
    fs::remove_all(path);
  }
  // Another user's file, where this one may hand it over (as root).
  ASSERT_EQ(qm::platform::writeFileAtomic(path, good, 0600), 0);
  if (chown(path.c_str(), 65534, static_cast<gid_t>(-1)) != 0) GTEST_SKIP() << "cannot give the file away";
  std::string why;
  EXPECT_EQ(QMReadAccountTokenFile(path, &why), "");
  EXPECT_EQ(why, path + " is not owned by this user");
}
