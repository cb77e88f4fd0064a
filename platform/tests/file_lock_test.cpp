#include "qm/platform/file_lock.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using qm::platform::RemovableFileLock;
namespace fs = std::filesystem;

namespace {

struct Folder {
  fs::path path;
  Folder() {
    char tmpl[] = "/tmp/qm-file-lock-XXXXXX";
    path = ::mkdtemp(tmpl);
  }
  ~Folder() { fs::remove_all(path); }
};

// A child process that takes the lock and then stays until it is killed; returns its pid once
// it holds the lock.
pid_t holderInChild(const std::string& path) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    RemovableFileLock lock = RemovableFileLock::acquire(path, true);
    [[maybe_unused]] ssize_t n = ::write(ready[1], lock.held() ? "y" : "n", 1);
    for (int i = 0; i < 600; ++i) ::sleep(1);  // bounded, in case the test dies
    ::_exit(0);
  }
  char c = 0;
  [[maybe_unused]] ssize_t n = ::read(ready[0], &c, 1);
  ::close(ready[0]);
  ::close(ready[1]);
  return c == 'y' ? pid : -1;
}

}  // namespace

// A live holder in another process keeps the lock; one that died leaves only the file, which
// the next taker gets at once and removes when it lets go.
TEST(RemovableFileLock, ALiveHolderKeepsItAndADeadOneLeavesOnlyTheFile) {
  Folder folder;
  const std::string path = (folder.path / "request.lock").string();
  const pid_t holder = holderInChild(path);
  ASSERT_GT(holder, 0);
  int error = -1;
  EXPECT_FALSE(RemovableFileLock::acquire(path, false, &error).held());
  EXPECT_EQ(error, 0) << "held by another is no failure";

  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  ASSERT_TRUE(fs::exists(path));
  RemovableFileLock lock = RemovableFileLock::acquire(path, false, &error);
  EXPECT_TRUE(lock.held());
  lock.release();
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(lock.held());
}

TEST(RemovableFileLock, AFileThatCannotBeMadeIsAFailure) {
  int error = 0;
  EXPECT_FALSE(RemovableFileLock::acquire("/nonexistent-folder/x.lock", false, &error).held());
  EXPECT_EQ(error, ENOENT);
}
