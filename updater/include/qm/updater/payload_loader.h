#pragma once
// Turns the updater's command line into one validated update request: from a file
// ("--payload"), inline ("--payload-json"), or the newest eligible pending request.

#include "qm/updater/app_paths.h"
#include "qm/updater/launch_payload.h"
#include "qm/updater/small_file.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace qm::updater {

class LaunchPayloadLoader {
 public:
  // `errorStream` receives the pending scan's rejection and summary lines.
  LaunchPayloadLoader(AppPaths paths, LaunchPayloadValidator validator, std::ostream& errorStream);

  // Argument vector (program name first) to a validated request. Throws UpdaterError (usage,
  // validation, "No pending requests"), PlatformError (a file that cannot be read) or
  // DecodingError.
  LaunchPayload load(const std::vector<std::string>& arguments) const;

  // The pending scan: the newest request file that is valid and has no status file, or whose
  // status file records a failed swap that may be retried. Ties in time go by file name.
  std::optional<LaunchPayload> loadNewestPendingRequest() const;

  // The request, when the status file records a retryable failure of a swap request.
  std::optional<LaunchPayload> loadRetryableIfEligible(const std::string& requestFile,
                                                       const std::string& statusFile) const;

 private:
  LaunchPayload readAndValidate(const std::string& path) const;

  AppPaths paths_;
  LaunchPayloadValidator validator_;
  std::ostream& err_;
};

}  // namespace qm::updater
