// The plug-in log: line format, the 1 MiB deletion, many writers, and the upload tail.

#include "QuillomancerLogger.h"

#include "qm/platform/files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qm-logger-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string read(const std::string& path) {
    std::string out;
    qm::platform::readFile(path, out);
    return out;
  }
  void write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  }

  std::string dir;
};

const std::string kBanner(QuillomancerLogger::kSessionBanner);

// True when `line` is "[yyyy-MM-dd HH:mm:ss] " followed by `message`.
bool isLogLine(const std::string& line, const std::string& message) {
  const std::string shape = "[9999-99-99 99:99:99] ";
  if (line.size() != shape.size() + message.size()) return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] == '9' ? !(line[i] >= '0' && line[i] <= '9') : line[i] != shape[i]) return false;
  }
  return line.compare(shape.size(), std::string::npos, message) == 0;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(text.substr(start, nl - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

}  // namespace

TEST_F(LoggerTest, CreatesFolderAndWritesBannerThenLines) {
  QuillomancerLogger log(dir + "/Logs/Quillomancer");
  EXPECT_EQ(log.logPath(), dir + "/Logs/Quillomancer/quillomancer.log");
  log.logMessage("=== PreRender ===");
  log.logMessage(static_cast<const char*>(nullptr));
  log.logMessage(std::string("[SRV] done"));

  const std::string text = read(log.logPath());
  ASSERT_EQ(text.front(), '\n');
  ASSERT_EQ(text.back(), '\n');
  const auto lines = splitLines(text.substr(1));
  ASSERT_EQ(lines.size(), 3u) << text;
  EXPECT_TRUE(isLogLine(lines[0], kBanner)) << lines[0];
  EXPECT_TRUE(isLogLine(lines[1], "=== PreRender ===")) << lines[1];
  EXPECT_TRUE(isLogLine(lines[2], "[SRV] done")) << lines[2];

  // A second session on the same file starts with its own banner after the old lines.
  QuillomancerLogger again(dir + "/Logs/Quillomancer");
  const std::string both = read(log.logPath());
  EXPECT_EQ(both.rfind(kBanner), both.size() - kBanner.size() - 1);
  EXPECT_EQ(both.substr(0, text.size()), text);
}

TEST_F(LoggerTest, SharedLoggerLivesUnderHomeLibraryLogs) {
  const char* oldHome = std::getenv("HOME");
  const std::string savedHome = oldHome ? oldHome : "";
  setenv("HOME", dir.c_str(), 1);
  QuillomancerLogger& log = QuillomancerLogger::shared();
  if (oldHome) setenv("HOME", savedHome.c_str(), 1); else unsetenv("HOME");
  if (log.logPath() != dir + "/Library/Logs/Quillomancer/quillomancer.log")
    GTEST_SKIP() << "the shared logger was created earlier in this process";
  EXPECT_EQ(&log, &QuillomancerLogger::shared());
  log.logMessage("hello");
  EXPECT_NE(read(log.logPath()).find("] hello\n"), std::string::npos);
}

TEST_F(LoggerTest, MissingFolderOrPathMeansNothingHappens) {
  QuillomancerLogger none("");
  none.logMessage("x");
  EXPECT_FALSE(none.getLogContents().has_value());

  // A folder that cannot be created (a file is in the way): appends do nothing, no throw.
  write(dir + "/blocked", "file");
  QuillomancerLogger blocked(dir + "/blocked/sub");
  blocked.logMessage("x");
  EXPECT_FALSE(blocked.getLogContents().has_value());
}

TEST_F(LoggerTest, FileOfOneMebibyteIsDeletedBeforeTheNextLine) {
  QuillomancerLogger log(dir);
  for (std::uint64_t size : {QuillomancerLogger::kMaxLogBytes - 1, QuillomancerLogger::kMaxLogBytes,
                             QuillomancerLogger::kMaxLogBytes + 5000}) {
    write(log.logPath(), std::string(size, 'a'));
    log.logMessage("next");
    const std::string text = read(log.logPath());
    if (size < QuillomancerLogger::kMaxLogBytes) {
      EXPECT_GT(text.size(), size);
      EXPECT_EQ(text.substr(0, size), std::string(size, 'a'));
    } else {
      EXPECT_LT(text.size(), 64u) << size;
      EXPECT_EQ(text.front(), '[');
    }
  }
}

// A host may end with SIGTERM at any moment: every line logged before it is in the file.
TEST_F(LoggerTest, LinesLoggedBeforeASignalAreInTheFile) {
  const char* oldHome = std::getenv("HOME");
  const std::string savedHome = oldHome ? oldHome : "";
  setenv("HOME", dir.c_str(), 1);
  const std::string path = QuillomancerLogger::shared().logPath();
  if (oldHome) setenv("HOME", savedHome.c_str(), 1); else unsetenv("HOME");
  if (path != dir + "/Library/Logs/Quillomancer/quillomancer.log")
    GTEST_SKIP() << "the shared logger was created earlier in this process";

  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::alarm(60);  // a child that cannot finish ends with SIGALRM rather than hanging the test
    QuillomancerLogger::shared().logMessage("Account token not used: before the render");
    QMLogRenderWindow(4096, 0, 1024);
    QMLogRenderWindow(5120, 1024, 1024);
    std::raise(SIGTERM);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  const auto lines = splitLines(read(path));
  const char* want[] = {"Account token not used: before the render", "  Render window: hostLocation=4096 localStart=0 size=1024",
                        "  Render window: hostLocation=5120 localStart=1024 size=1024"};
  ASSERT_GE(lines.size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(isLogLine(lines[lines.size() - 3 + i], want[i])) << read(path);
}

TEST_F(LoggerTest, AFileDeletedUnderTheLogIsMadeAnew) {
  QuillomancerLogger log(dir);
  log.logMessage("first");
  EXPECT_NE(log.getLogContents().value_or("").find("] first\n"), std::string::npos);
  for (const char* message : {"second", "third"}) {
    fs::remove(log.logPath());
    log.logMessage(message);
    EXPECT_TRUE(isLogLine(splitLines(read(log.logPath())).at(0), message));
  }
}

TEST_F(LoggerTest, LinesFromManyThreadsNeverInterleave) {
  QuillomancerLogger log(dir);
  constexpr int kThreads = 8, kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&log, t] {
      for (int i = 0; i < kLines; ++i)
        log.logMessage("thread " + std::to_string(t) + " line " + std::to_string(i) + " " + std::string(100, 'x'));
    });
  for (auto& th : threads) th.join();

  std::set<std::string> seen;
  int lines = 0;
  for (const std::string& line : splitLines(read(log.logPath()))) {
    if (line.empty() || line.find(kBanner) != std::string::npos) continue;
    const size_t start = line.find("] thread ");
    ASSERT_NE(start, std::string::npos) << line;
    const std::string message = line.substr(start + 2);
    ASSERT_TRUE(isLogLine(line, message)) << line;
    ASSERT_EQ(message.substr(message.size() - 101), " " + std::string(100, 'x')) << line;
    seen.insert(message);
    ++lines;
  }
  EXPECT_EQ(lines, kThreads * kLines);
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
}

TEST_F(LoggerTest, InvalidUtf8IsReplacedSoTheLogStaysReadable) {
  QuillomancerLogger log(dir);
  log.logMessage(std::string("bad \xFF\xC3 byte"));
  const auto text = log.getLogContents();
  ASSERT_TRUE(text.has_value());
  EXPECT_NE(text->find("bad \xEF\xBF\xBD\xEF\xBF\xBD byte"), std::string::npos);
}

TEST(LogUploadSlice, SizesBannersAndCharacterBoundaries) {
  const size_t limit = QuillomancerLogger::kUploadTailBytes;
  const std::string bannerLine = "\n[2026-01-01 10:00:00] " + kBanner + "\n";

  // Exactly the limit: whole; one byte more with a banner in the tail: the tail from its line.
  std::string text = std::string(limit - bannerLine.size() - 10, 'a') + bannerLine + std::string(10, 'b');
  ASSERT_EQ(text.size(), limit);
  EXPECT_EQ(QMLogUploadSlice(text), text);
  text = "z" + text;
  EXPECT_EQ(QMLogUploadSlice(text), bannerLine.substr(1) + std::string(10, 'b'));

  // No banner in the tail (only before it): the whole file.
  const std::string early = bannerLine + std::string(limit + 100, 'c');
  EXPECT_EQ(QMLogUploadSlice(early), early);

  // Two banners in the tail: from the first one's line.
  const std::string two = std::string(limit, 'd') + "\n[t1] " + kBanner + "\nmid\n[t2] " + kBanner + "\nend\n";
  EXPECT_EQ(QMLogUploadSlice(two), "[t1] " + kBanner + "\nmid\n[t2] " + kBanner + "\nend\n");

  // A banner that is not at the start of its line: the line's start is included.
  const std::string inLine = std::string(limit, 'e') + "\nprefix " + kBanner + "\n";
  EXPECT_EQ(QMLogUploadSlice(inLine), "prefix " + kBanner + "\n");

  // The cut falls inside a three-byte character: the tail starts at the next character, and
  // the banner line is then the tail's first line.
  const std::string euro = "\xE2\x82\xAC";
  std::string cutInside = std::string(1000, 'f') + euro;  // cut after the euro sign's first byte
  std::string rest = "[t] " + kBanner + "\nafter\n";
  rest += std::string(limit - 2 - rest.size(), 'g');
  cutInside += rest;
  ASSERT_EQ(cutInside.size() - limit, 1001u);
  EXPECT_EQ(QMLogUploadSlice(cutInside), rest);
}

TEST_F(LoggerTest, GetLogContentsReadsTheFile) {
  QuillomancerLogger log(dir);
  write(log.logPath(), "");
  EXPECT_EQ(log.getLogContents(), std::string());
  const std::string big = std::string(QuillomancerLogger::kUploadTailBytes, 'x') + "\n[t] " + kBanner + "\nlast\n";
  write(log.logPath(), big);
  EXPECT_EQ(log.getLogContents(), "[t] " + kBanner + "\nlast\n");
  fs::remove(log.logPath());
  EXPECT_FALSE(log.getLogContents().has_value());
}

// Only a regular file of the logger's own is written or read at the log's path: a link there (to
// a file, or to nothing yet) is replaced and its target left as it was, and a folder leaves the
// plug-in without a log.
TEST_F(LoggerTest, ALinkOrFolderAtThePathIsNeverWrittenThroughOrRead) {
  const std::string path = dir + "/quillomancer.log", target = dir + "/elsewhere.txt";
  const struct { const char* what; bool targetExists, folder; } cases[] = {
      {"link to a file", true, false}, {"link to nothing", false, false}, {"folder", false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(path);
    fs::remove(target);
    if (c.targetExists) write(target, "someone else's text\n");
    c.folder ? void(fs::create_directory(path)) : fs::create_symlink(target, path);
    QuillomancerLogger log(dir);
    log.logMessage("a line of ours");
    EXPECT_EQ(fs::exists(target) ? read(target) : "<none>", c.targetExists ? "someone else's text\n" : "<none>");
    if (!c.folder) {
      ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(path))) << "the link was not replaced by a log";
      EXPECT_TRUE(isLogLine(splitLines(read(path)).back(), "a line of ours"));
      fs::remove(path);  // a link put there later is not read for upload either
      fs::create_symlink(target, path);
    }
    EXPECT_EQ(fs::is_directory(path), c.folder);
    EXPECT_FALSE(log.getLogContents().has_value());
  }
}

// A FIFO at the log's path, which nothing reads, does not hold the first line up: the logger goes
// on without a log and leaves the FIFO as it was.
TEST_F(LoggerTest, AFifoAtThePathHoldsNothingUp) {
  const std::string path = dir + "/quillomancer.log";
  ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::alarm(60);  // a logger that blocks ends with SIGALRM rather than hanging the test
    QuillomancerLogger log(dir);
    log.logMessage("a line");
    ::_exit(log.getLogContents().has_value() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(path))) << "left as it was";
}
