#pragma once
// Small helpers shared by the updater's tests.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::updater::testing {

struct TempDir {
  std::filesystem::path path;
  TempDir() {
    char tmpl[] = "/tmp/qm-updater-XXXXXX";
    path = ::mkdtemp(tmpl);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path, ec);
  }
  std::string str() const { return path.string(); }
};

inline unsigned modeOf(const std::filesystem::path& p) {
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

inline bool runningAsRoot() { return ::geteuid() == 0; }

}  // namespace qm::updater::testing
