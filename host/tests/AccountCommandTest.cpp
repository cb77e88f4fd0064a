// `qmhost account`: the token is stored where the plug-in reads it, and never printed.

#include "qm/platform/files.h"
#include "qm/platform/process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

TEST(AccountCommand, SetTokenAndClear) {
  const fs::path home = fs::temp_directory_path() / ("qm-account-home-" + std::to_string(getpid()));
  fs::create_directories(home);
  const std::string saved = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", home.c_str(), 1);
  const std::string qmhost = std::string(QM_BINARY_DIR) + "/bin/qmhost";
  const fs::path file = home / "Library/Application Support/Quillomancer/account.json";

  auto set = qm::platform::runProcess(qmhost, {"account", "set-token", "secret-token-123"});
  EXPECT_EQ(set.exitCode, 0) << set.standardError;
  std::string stored;
  ASSERT_TRUE(qm::platform::readFile(file.string(), stored));
  EXPECT_EQ(stored, "{\"access_token\":\"secret-token-123\"}\n");
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ((set.standardOutput + set.standardError).find("secret-token-123"), std::string::npos);

  EXPECT_EQ(qm::platform::runProcess(qmhost, {"account", "set-token", "a\nb"}).exitCode, 2);
  EXPECT_TRUE(fs::exists(file)) << "a refused token leaves the stored one";
  EXPECT_EQ(qm::platform::runProcess(qmhost, {"account", "clear"}).exitCode, 0);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(qm::platform::runProcess(qmhost, {"account", "clear"}).exitCode, 0) << "nothing to clear is no error";

  // The token on standard input: the first line, without its line end; a refused one keeps the stored.
  const auto piped = [&](const std::string& input) {
    return qm::platform::runProcess("/bin/sh", {"-c", "printf '" + input + "' | \"$0\" account set-token -", qmhost});
  };
  const auto fromInput = piped("piped-token-456\\r\\nsecond line\\n");
  EXPECT_EQ(fromInput.exitCode, 0) << fromInput.standardError;
  for (const std::string& refused : {std::string(), std::string("\\n"), std::string(256, 't') + "\\n"})
    EXPECT_EQ(piped(refused).exitCode, 2) << refused.size();
  ASSERT_TRUE(qm::platform::readFile(file.string(), stored));
  EXPECT_EQ(stored, "{\"access_token\":\"piped-token-456\"}\n");

  // A byte-order mark before the token (as some editors save a file) is not part of it.
  for (const std::string& token : {std::string("marked-token-789"), std::string(255, 'm')}) {
    EXPECT_EQ(piped("\\357\\273\\277" + token + "\\r\\n").exitCode, 0) << token.size();
    ASSERT_TRUE(qm::platform::readFile(file.string(), stored));
    EXPECT_EQ(stored, "{\"access_token\":\"" + token + "\"}\n");
  }
  EXPECT_EQ(qm::platform::runProcess(qmhost, {"account", "set-token", "\xEF\xBB\xBF" "argument-token"}).exitCode, 0);
  ASSERT_TRUE(qm::platform::readFile(file.string(), stored));
  EXPECT_EQ(stored, "{\"access_token\":\"argument-token\"}\n");

  setenv("HOME", saved.c_str(), 1);
  fs::remove_all(home);
}
