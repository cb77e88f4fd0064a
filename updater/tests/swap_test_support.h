#pragma once
// Helpers for the swap tests: bundle trees and their fingerprints, the fixed tree of the test
// build of the swap helper (shared with other test programs, so used in turns), fake network
// parts, and a child process that runs a swap under chosen faults.

#include "qm/updater/bundle_swap.h"
#include "qm/updater/download.h"
#include "qm/updater/file_operations.h"
#include "qm/updater/telemetry.h"
#include "qm/updater/updater_main.h"
#include "updater_test_support.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace qm::updater::testing {

namespace fs = std::filesystem;

// One line per item (kind, mode, content or link target): equal strings mean equal trees.
inline std::string fingerprint(const fs::path& root) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(root, ec))) return "<missing>";
  std::map<std::string, std::string> items;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it); it.increment(ec)) {
    struct stat st {};
    ::lstat(it->path().c_str(), &st);
    std::string desc = std::to_string(st.st_mode & 07777) + " ";
    if (S_ISLNK(st.st_mode)) desc += "link " + fs::read_symlink(it->path()).string();
    else if (S_ISDIR(st.st_mode)) desc += "dir";
    else desc += "file " + readText(it->path());
    items[it->path().lexically_relative(root).string()] = desc;
  }
  std::string out;
  for (const auto& [k, v] : items) out += k + "=" + v + "\n";
  return out;
}

inline void makeBundle(const fs::path& p, const std::string& version) {
  writeText(p / "Contents/Info.plist", "version " + version);
  writeText(p / "Contents/x86_64-linux/Quillomancer.so", "binary " + version);
  writeText(p / "Contents/Resources/strings.txt", "strings " + version);
  fs::create_symlink("x86_64-linux/Quillomancer.so", p / "Contents/current");
}

// The fixed paths of the helper's test build. Tests that use them hold this lock throughout.
struct HelperTestTree {
  static inline const std::string root = QM_HELPER_TEST_ROOT;
  static inline const std::string home = root + "/home";
  static inline const std::string plugIns = root + "/Plug-Ins";
  static inline const std::string target = plugIns + "/Quillomancer.aaxplugin";
  static std::string helper() { return std::string(QM_BINARY_DIR) + "/bin/QuillomancerUpdaterHelperTest"; }

  int lockFd = -1;
  HelperTestTree() {
    lockFd = ::open("/tmp/qm-helper-test.lock", O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd >= 0) ::flock(lockFd, LOCK_EX);
    clear();
  }
  ~HelperTestTree() {
    clear();
    if (lockFd >= 0) ::close(lockFd);
  }
  static void clear() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

// A private folder, removed with everything in it. In memory (/dev/shm) when `inMemory` and the
// system has it: many runs of a swap in a row, each writing status files flushed to disk, would
// otherwise spend their time waiting for the disk.
struct ScratchDir {
  std::string path;
  explicit ScratchDir(bool inMemory) {
    std::string tmpl = (inMemory && fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp");
    tmpl += "/qm-swap-XXXXXX";
    if (::mkdtemp(tmpl.data())) path = tmpl;
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
};

// A pgrep stand-in that finds no host: it exits 1 as pgrep does when nothing matches. (Real
// processes of the host's name elsewhere on the machine must not stall the tests.)
inline const std::string kNoHostPgrep = "/bin/false";

// A host stand-in: the pgrep it gives finds the host between start() and quit().
struct HostStandIn {
  explicit HostStandIn(const std::string& folder) : flag(folder + "/host-runs"), pgrep(folder + "/pgrep-host") {
    std::ofstream(pgrep) << "#!/bin/sh\n[ -e '" << flag << "' ]\n";
    fs::permissions(pgrep, fs::perms::owner_all);
  }
  void start() { std::ofstream{flag}; }
  void quit() { fs::remove(flag); }
  std::string flag, pgrep;
};

inline bool sameFileSystem(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

// "Downloads" by copying local files registered per address.
class CopyDownloader : public Downloader {
 public:
  std::map<std::string, std::string> files;  // address -> local file
  DownloadResult download(const std::string& url, const std::string& destination) override {
    const auto it = files.find(url);
    if (it == files.end()) throw UpdaterError(UpdaterErrorCode::downloadHTTPError, "HTTP 404");
    fs::create_directories(fs::path(destination).parent_path());
    fs::copy_file(it->second, destination, fs::copy_options::overwrite_existing);
    return {};
  }
};

class RecordingTelemetry : public TelemetryClient {
 public:
  std::vector<TelemetryEvent> events;
  std::string dieAt;  // an event name: the process is killed when it is sent
  void send(const TelemetryEvent& event, const std::string&, const std::string&) override {
    if (event.eventName == dieAt) ::kill(::getpid(), SIGKILL);
    events.push_back(event);
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& e : events) out.push_back(e.eventName + "/" + e.status.value_or(""));
    return out;
  }
};

class NoOpener : public InstallerOpener {
 public:
  std::vector<std::string> opened;
  void openInstaller(const std::string& path) override { opened.push_back(path); }
};

// The log's messages without their time, request id and user name.
inline std::vector<std::string> logMessages(const std::string& logFile) {
  std::vector<std::string> out;
  std::istringstream in(readText(logFile));
  for (std::string line; std::getline(in, line);) {
    const size_t user = line.find(" username=");
    if (user == std::string::npos) continue;
    const size_t space = line.find(' ', user + 1);
    if (space != std::string::npos) out.push_back(line.substr(space + 1));
  }
  return out;
}

inline bool contains(const std::vector<std::string>& lines, const std::string& line) {
  for (const auto& l : lines)
    if (l == line) return true;
  return false;
}

// Runs `body` in a child process; returns its wait status. The child ends with _exit(0) when
// `body` returns true, 1 when false, 2 when it throws.
template <typename Body>
int inChild(Body body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    int code = 2;
    try {
      code = body() ? 0 : 1;
    } catch (...) {
    }
    ::_exit(code);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

}  // namespace qm::updater::testing
