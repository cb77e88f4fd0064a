#include "qm/updater/update_report.h"

#include "qm/updater/time_text.h"

namespace qm::updater {

std::string stageLine(std::string_view stageName) { return "stage=" + std::string(stageName); }

UpdateStatus UpdateReporter::document(const std::string& status, std::string_view stageName) const {
  UpdateStatus doc;
  doc.requestID = payload_.requestID;
  doc.username = payload_.username;
  doc.host = payload_.host;
  doc.installedVersion = payload_.installedVersion;
  doc.targetVersion = payload_.targetVersion;
  doc.status = status;
  doc.stage = std::string(stageName);
  doc.createdAtUTC = createdAt_;
  doc.updatedAtUTC = nowInternetDateTime();
  return doc;
}

void UpdateReporter::step(std::string_view stageName, const std::optional<std::string>& logMessage,
                          const std::string& eventName, const std::optional<std::string>& eventStage,
                          const std::string& eventStatus) {
  writeStatus(stageName);
  if (logMessage) log(*logMessage);
  event(eventName, eventStage, std::nullopt, eventStatus);
}

void UpdateReporter::writeStatus(std::string_view stageName) {
  context_.statusStore.write(document("success", stageName));
}

void UpdateReporter::log(const std::string& message) noexcept {
  context_.logger.log(payload_.requestID, payload_.username, message);
}

void UpdateReporter::event(const std::string& eventName, const std::optional<std::string>& eventStage,
                           const std::optional<std::string>& errorCode,
                           const std::string& eventStatus) noexcept {
  if (context_.telemetryClient)
    emitTelemetry(context_.logger, *context_.telemetryClient, payload_, eventName, eventStage,
                  errorCode, eventStatus);
}

void UpdateReporter::writeFailure(const std::string& code, const std::string& detail) noexcept {
  try {
    UpdateStatus doc = document("failed", stage::failed);
    doc.errorCode = code;
    doc.errorDetail = detail;
    context_.statusStore.write(doc);
  } catch (...) {
  }
}

}  // namespace qm::updater
