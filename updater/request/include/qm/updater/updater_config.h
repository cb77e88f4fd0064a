#pragma once
// What the updater may talk to and how far it goes. The program uses production(); tests build
// their own (loopback hosts, a test certificate authority). Nothing in the environment widens it.

#include <cstdint>
#include <string>
#include <vector>

namespace qm::updater {

struct UpdaterConfig {
  // Lowercase host names that may serve update_pkg_url and artifact_url (and every redirect).
  std::vector<std::string> allowedUpdateHosts;
  // Lowercase host names that may receive telemetry.
  std::vector<std::string> allowedTelemetryHosts;

  // Certificate authority bundle for https (empty: the system's).
  std::string caFile;

  // A download larger than this is abandoned.
  std::uint64_t maxDownloadBytes = 2ull << 30;
  double downloadIdleTimeoutSeconds = 60;      // no bytes moving for this long ends a download
  double downloadTotalTimeoutSeconds = 7200;   // hard cap on one download
  double telemetryTimeoutSeconds = 60;

  // Tool that opens an installer package (given its path as the one argument).
  std::string installerOpenerProgram = "xdg-open";

  static UpdaterConfig production();
};

}  // namespace qm::updater
