#include "qm/updater/app_paths.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace qm::updater {

AppPaths AppPaths::forHome(const std::string& homeDirectory) {
  std::string home = homeDirectory;
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  AppPaths p;
  p.baseDirectory = home + "/Library/Application Support/Quillomancer/Updates";
  p.cacheDirectory = p.baseDirectory;
  p.statusDirectory = p.baseDirectory + "/status";
  p.requestsDirectory = p.baseDirectory + "/requests";
  p.logFile = p.baseDirectory + "/updater.log";
  p.swapStateDirectory = p.baseDirectory + "/SwapState";
  p.swapOperationsDirectory = p.swapStateDirectory + "/operations";
  p.swapLocksDirectory = p.swapStateDirectory + "/locks";
  return p;
}

std::string currentUserHomeDirectory() {
  if (const char* env = std::getenv("HOME"); env && env[0] == '/') return env;
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd pw{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir)
    return found->pw_dir;
  return "/";
}

AppPaths AppPaths::defaultPaths() { return forHome(currentUserHomeDirectory()); }

}  // namespace qm::updater
