#include "qm/updater/local_logger.h"
#include "qm/updater/time_text.h"

#include "updater_test_support.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qm::updater;
using qm::updater::testing::TempDir;
using qm::updater::testing::readText;
using qm::updater::testing::modeOf;

TEST(LocalLogger, FirstCallCreatesFolderAndPrivateFileWithOneLine) {
  TempDir dir;
  const fs::path log = dir.path / "Library/Application Support/Quillomancer/Updates/updater.log";
  std::ostringstream err;
  LocalLogger logger(log.string(), kDefaultMaxLogBytes, &err);
  logger.log("req-1", "editor", "stage=launch_validated");
  EXPECT_EQ(modeOf(log), 0600u);
  const std::string text = readText(log);
  ASSERT_GT(text.size(), 20u);
  EXPECT_TRUE(parseInternetDateTime(text.substr(0, 20))) << text;
  EXPECT_EQ(text.substr(20), " request_id=req-1 username=editor stage=launch_validated\n");
  logger.log("req-1", "editor", "parsed_action=install");
  const std::string both = readText(log);
  EXPECT_EQ(std::count(both.begin(), both.end(), '\n'), 2);
  EXPECT_TRUE(err.str().empty());
}

TEST(LocalLogger, RotatesAtTheThreshold) {
  struct Case {
    std::uintmax_t size;
    bool rotates;
  } cases[] = {{5242879, false}, {5242880, true}, {6000000, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    TempDir dir;
    const fs::path log = dir.path / "updater.log";
    const fs::path backup = dir.path / "updater.log.1";
    { std::ofstream(backup) << "older backup"; }
    { std::ofstream(log) << std::string(c.size, 'x'); }
    LocalLogger logger(log.string());
    logger.log("r", "u", "next");
    if (c.rotates) {
      EXPECT_EQ(fs::file_size(backup), c.size);  // the old backup was replaced
      EXPECT_EQ(modeOf(log), 0600u);
      EXPECT_NE(readText(log).find(" next\n"), std::string::npos);
      EXPECT_LT(fs::file_size(log), 200u);
    } else {
      EXPECT_EQ(readText(backup), "older backup");
      EXPECT_GT(fs::file_size(log), c.size);
    }
  }
}

TEST(LocalLogger, MessageWrittenAsIsButUserNameCannotForgeLines) {
  TempDir dir;
  const fs::path log = dir.path / "updater.log";
  LocalLogger logger(log.string());
  logger.log("r", "eve\n2026-01-01T00:00:00Z request_id=x username=root stage=installer_opened",
             "first\nsecond");
  const std::string text = readText(log);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);  // only the message's own break
  EXPECT_NE(text.find("username=eve\\n2026-01-01"), std::string::npos);
  EXPECT_NE(text.find(" first\nsecond\n"), std::string::npos);
}

TEST(LocalLogger, SecretsNeverReachTheFile) {
  TempDir dir;
  const fs::path log = dir.path / "updater.log";
  LocalLogger logger(log.string());
  logger.addSecret("tok-very-secret");
  logger.addSecret("ab");  // too short to redact safely
  logger.log("r", "u", "telemetry_post_start endpoint=https://h/x?t=tok-very-secret about");
  const std::string text = readText(log);
  EXPECT_EQ(text.find("tok-very-secret"), std::string::npos);
  EXPECT_NE(text.find("t=<redacted> about"), std::string::npos);
}

TEST(LocalLogger, UnwritableLogReportsOnErrorStreamAndDoesNotThrow) {
  TempDir dir;
  // A folder in the log's place exists but cannot be opened for writing (even as root).
  const fs::path log = dir.path / "updater.log";
  fs::create_directories(log);
  std::ostringstream err;
  LocalLogger logger(log.string(), kDefaultMaxLogBytes, &err);
  logger.log("r", "u", "lost");
  EXPECT_EQ(err.str().rfind("logger_error: ", 0), 0u) << err.str();
  EXPECT_NE(err.str().find("Is a directory"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(log));
}

// Updater processes started side by side write one log: from the first line of a new log on, no
// line is lost or torn, and a rotation never tears one either.
TEST(LocalLogger, ProcessesLoggingAtOnceKeepEveryLineWhole) {
  for (const std::uint64_t maxBytes : {kDefaultMaxLogBytes, std::uint64_t{4000}}) {
    SCOPED_TRACE(maxBytes);
    TempDir dir;
    const fs::path log = dir.path / "Updates/updater.log";
    std::vector<pid_t> writers;
    for (int w = 0; w < 4; ++w) {
      const pid_t pid = ::fork();
      if (pid == 0) {
        LocalLogger logger(log.string(), maxBytes);
        for (int i = 0; i < 100; ++i) logger.log("writer" + std::to_string(w), "u", "line " + std::to_string(i));
        ::_exit(0);
      }
      writers.push_back(pid);
    }
    for (const pid_t pid : writers) ::waitpid(pid, nullptr, 0);

    std::map<std::string, int> perWriter;
    int lines = 0;
    for (const fs::path& file : {log, fs::path(log.string() + ".1")}) {
      std::istringstream in(readText(file));
      for (std::string line; std::getline(in, line); ++lines) {
        EXPECT_TRUE(parseInternetDateTime(line.substr(0, 20))) << line;
        const size_t id = line.find(" request_id=writer");
        ASSERT_EQ(id, 20u) << line;
        EXPECT_NE(line.find(" username=u line "), std::string::npos) << line;
        ++perWriter[line.substr(id + 12, 7)];
      }
    }
    if (maxBytes == kDefaultMaxLogBytes) {
      EXPECT_EQ(lines, 400);
      for (const auto& [writer, count] : perWriter) EXPECT_EQ(count, 100) << writer;
    }
  }
}
