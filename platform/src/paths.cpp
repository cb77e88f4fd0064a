#include "qm/platform/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace qm::platform {

std::string homeDirectory() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
      *found->pw_dir)
    return found->pw_dir;
  return "/tmp";
}

std::string joinPath(std::string_view base, std::string_view name) {
  std::string out(base);
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  while (!name.empty() && name.front() == '/') name.remove_prefix(1);
  if (name.empty()) return out;
  if (out.empty()) return std::string(name);
  if (out.back() != '/') out.push_back('/');
  out.append(name);
  return out;
}

std::string libraryDirectory() { return joinPath(homeDirectory(), "Library"); }

std::string libraryPath(std::string_view relative) { return joinPath(libraryDirectory(), relative); }

std::string preferencesDirectory() { return libraryPath("Preferences"); }
std::string logsDirectory() { return libraryPath("Logs"); }
std::string applicationSupportDirectory() { return libraryPath("Application Support"); }
std::string cachesDirectory() { return libraryPath("Caches"); }

std::string expandTilde(std::string_view path) {
  if (path == "~") return homeDirectory();
  if (path.substr(0, 2) == "~/") return joinPath(homeDirectory(), path.substr(2));
  return std::string(path);
}

}  // namespace qm::platform
