#include "qm/platform/files.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

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
