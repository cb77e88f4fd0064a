#pragma once
// Small helpers shared by the updater's tests.

#include "qm/updater/launch_payload.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

inline void writeText(const std::filesystem::path& p, const std::string& text) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

// The whole file, or "" when it cannot be read.
inline std::string readText(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline unsigned modeOf(const std::filesystem::path& p) {
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

inline bool runningAsRoot() { return ::geteuid() == 0; }

// A request that passes every check of the production configuration when `timestampUTC` is
// recent: the install of 2.0.2 over 2.0.1, with no action and no telemetry.
inline LaunchPayload sampleRequest(const std::string& id, const std::string& timestampUTC) {
  LaunchPayload p;
  p.schemaVersion = "1";
  p.requestID = id;
  p.timestampUTC = timestampUTC;
  p.host = "pro_tools";
  p.username = "editor";
  p.installedVersion = "2.0.1";
  p.targetVersion = "2.0.2";
  p.effectiveChannel = "stable";
  p.updatePkgURL = "https://api.quillomancer.com/releases/Quillomancer-2.0.2.pkg";
  p.updatePkgSHA256 = std::string(64, 'a');
  p.releaseNotesURL = "https://www.quillomancer.com/notes";
  return p;
}

// Makes `p` a swap request with every key a swap needs.
inline void makeSwapRequest(LaunchPayload& p) {
  p.action = "swap";
  p.operationID = "7d3f2a10-1b2c-4d5e-8f90-a1b2c3d4e5f6";
  p.artifactURL = "https://releases.quillomancer-storage.net/Quillomancer-2.0.2.zip";
  p.artifactSHA256 = std::string(64, 'b');
  p.manifestVersion = "7";
  p.manifestSignature = "sig";
  p.releasedAt = "2026-12-01";
}

}  // namespace qm::updater::testing
