#include "qm/platform/files.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qm::platform;

namespace {

struct TempDir {
  fs::path path;
  TempDir() {
    char tmpl[] = "/tmp/qm-files-XXXXXX";
    path = ::mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path); }
};

mode_t modeOf(const fs::path& p) {
  struct stat st {};
  ::stat(p.c_str(), &st);
  return st.st_mode & 07777;
}

}  // namespace

TEST(AtomicWrite, CreatesWithExactModeDespiteUmaskAndReplacesWhole) {
  TempDir dir;
  const auto file = (dir.path / "status.json").string();
  const mode_t old = ::umask(0077);
  ASSERT_EQ(writeFileAtomic(file, "first", 0644), 0);
  ::umask(old);
  EXPECT_EQ(modeOf(file), 0644u);

  ASSERT_EQ(writeFileAtomic(file, "second, longer", 0600), 0);
  std::string back;
  ASSERT_TRUE(readFile(file, back));
  EXPECT_EQ(back, "second, longer");
  EXPECT_EQ(modeOf(file), 0600u);
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
}

TEST(AtomicWrite, FailureLeavesOldFileAndNoLitter) {
  TempDir dir;
  const auto file = (dir.path / "x").string();
  ASSERT_EQ(writeFileAtomic(file, "keep"), 0);
  EXPECT_NE(writeFileAtomic((dir.path / "missing" / "y").string(), "z"), 0);
  std::string back;
  ASSERT_TRUE(readFile(file, back));
  EXPECT_EQ(back, "keep");
}

TEST(ReadFile, RefusesLargerThanLimit) {
  TempDir dir;
  const auto file = (dir.path / "big").string();
  ASSERT_EQ(writeFileAtomic(file, std::string(100, 'a')), 0);
  std::string out;
  EXPECT_FALSE(readFile(file, out, 99));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(readFile(file, out, 100));
  EXPECT_FALSE(readFile((dir.path / "none").string(), out));
}

// Outside paths of every kind are refused at once with their reasons, a FIFO without blocking.
TEST(ReadRegularFile, RefusesWhatIsNotARegularFileWithoutBlocking) {
  TempDir dir;
  const auto file = (dir.path / "plain").string(), fifo = (dir.path / "fifo").string(), link = (dir.path / "link").string();
  ASSERT_EQ(writeFileAtomic(file, "text"), 0);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink(file, link);
  struct Case {
    std::string path;
    bool followLinks;
    FileRefusal expected;
    std::string reason;
    size_t maxBytes = FileOpenOptions{}.maxBytes;
  } cases[] = {
      {file, false, FileRefusal::none, "was read"},
      {file, false, FileRefusal::tooLarge, "is larger than 3 bytes", 3},
      {dir.path.string(), false, FileRefusal::folder, "is a folder"},
      {fifo, false, FileRefusal::notRegularFile, "is not a regular file"},
      {link, false, FileRefusal::symbolicLink, "is a symbolic link"},
      {link, true, FileRefusal::none, "was read"},
      {(dir.path / "none").string(), false, FileRefusal::missing, "does not exist"},
      {(dir.path / "plain" / "below").string(), false, FileRefusal::missing, "does not exist"},
  };
  for (const auto& c : cases) {
    std::string out;
    const FileOpenOptions options{c.followLinks, c.maxBytes};
    EXPECT_EQ(readRegularFile(c.path, out, options), c.expected) << c.path;
    EXPECT_EQ(describeFileRefusal(c.expected, c.maxBytes), c.reason) << c.path;
    EXPECT_EQ(out, c.expected == FileRefusal::none ? "text" : "") << c.path;
  }
  std::string out;
  EXPECT_FALSE(readFile(fifo, out));  // the plain reader never blocks on a FIFO either
  // The file kept open is blocking again, for the caller's reads.
  const FileOpenResult opened = openRegularFile(file);
  ASSERT_GE(opened.fd, 0);
  EXPECT_EQ(::fcntl(opened.fd, F_GETFL) & O_NONBLOCK, 0);
  ::close(opened.fd);
}

TEST(MakeDirectories, CreatesParentsAndRefusesFile) {
  TempDir dir;
  const auto deep = dir.path / "a" / "b" / "c";
  EXPECT_EQ(makeDirectories(deep.string(), 0700), 0);
  EXPECT_TRUE(fs::is_directory(deep));
  EXPECT_EQ(modeOf(deep), 0700u);
  EXPECT_EQ(makeDirectories(deep.string()), 0);
  ASSERT_EQ(writeFileAtomic((dir.path / "f").string(), "x"), 0);
  EXPECT_NE(makeDirectories((dir.path / "f" / "g").string()), 0);
}
