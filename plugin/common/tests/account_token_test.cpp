#include "QMAccountToken.h"

#include "qm/platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>

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
