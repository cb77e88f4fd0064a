#pragma once
// How every step of an update run reports itself, always in this order: the status document the
// plug-in polls, a line in the updater log, then a telemetry event.

#include "qm/updater/launch_payload.h"
#include "qm/updater/updater_main.h"

#include <optional>
#include <string>
#include <string_view>

namespace qm::updater {

// The log line of most steps: "stage=" + the stage name.
std::string stageLine(std::string_view stageName);

class UpdateReporter {
 public:
  UpdateReporter(UpdaterContext& context, const LaunchPayload& payload, std::string createdAt)
      : context_(context), payload_(payload), createdAt_(std::move(createdAt)) {}

  // A successful step: status document (throws as the status store does), then the log line
  // when there is one, then the event (never fails).
  void step(std::string_view stageName, const std::optional<std::string>& logMessage,
            const std::string& eventName, const std::optional<std::string>& eventStage,
            const std::string& eventStatus);

  // The status document of a successful step alone.
  void writeStatus(std::string_view stageName);
  void log(const std::string& message) noexcept;
  void event(const std::string& eventName, const std::optional<std::string>& eventStage,
             const std::optional<std::string>& errorCode, const std::string& eventStatus) noexcept;
  // The failure document (status "failed", stage "failed"); an error in writing it is ignored.
  void writeFailure(const std::string& code, const std::string& detail) noexcept;

  const std::string& createdAt() const { return createdAt_; }

 private:
  UpdateStatus document(const std::string& status, std::string_view stageName) const;

  UpdaterContext& context_;
  const LaunchPayload& payload_;
  std::string createdAt_;
};

}  // namespace qm::updater
