#pragma once
// The words of the status document that the updater writes and the plug-in reads: every stage,
// whether it ends the request (the plug-in stops polling, the updater's recovery leaves it be),
// and the failure codes after which a swap request is run again. One table for both sides and for
// the helper, so that a word added here reaches every reader. Header only: constant data.

#include <string_view>

namespace qm::updater {

// Stage names written into status documents.
namespace stage {
inline constexpr std::string_view launchValidated = "launch_validated";
inline constexpr std::string_view downloadStarted = "download_started";
inline constexpr std::string_view downloadOk = "download_ok";
inline constexpr std::string_view hashOk = "hash_ok";
inline constexpr std::string_view readyToInstall = "ready_to_install";
inline constexpr std::string_view installerOpened = "installer_opened";
inline constexpr std::string_view swapOpCreated = "swap_op_created";
inline constexpr std::string_view swapPreflightOk = "swap_preflight_ok";
inline constexpr std::string_view swapHostWaiting = "swap_host_waiting";
inline constexpr std::string_view swapHostClosed = "swap_host_closed";
inline constexpr std::string_view swapBackupCaptured = "swap_backup_captured";
inline constexpr std::string_view swapApplied = "swap_applied";
inline constexpr std::string_view swapPostcheckOk = "swap_postcheck_ok";
inline constexpr std::string_view swapCommitComplete = "swap_commit_complete";
inline constexpr std::string_view swapRollbackStarted = "swap_rollback_started";
inline constexpr std::string_view swapRollbackComplete = "swap_rollback_complete";
inline constexpr std::string_view swapRollbackFailed = "swap_rollback_failed";
inline constexpr std::string_view failed = "failed";
}  // namespace stage

struct UpdateStage {
  std::string_view name;
  bool final;  // nothing more is written for the request after it
};

// Every stage. "swap_rollback_complete" is final: a later start that made a failed rollback good
// ends the request with it, as a success.
inline constexpr UpdateStage kUpdateStages[] = {
    {stage::launchValidated, false},    {stage::downloadStarted, false},      {stage::downloadOk, false},
    {stage::hashOk, false},             {stage::readyToInstall, true},        {stage::installerOpened, true},
    {stage::swapOpCreated, false},      {stage::swapPreflightOk, false},      {stage::swapHostWaiting, false},
    {stage::swapHostClosed, false},     {stage::swapBackupCaptured, false},   {stage::swapApplied, false},
    {stage::swapPostcheckOk, false},    {stage::swapCommitComplete, true},    {stage::swapRollbackStarted, false},
    {stage::swapRollbackComplete, true}, {stage::swapRollbackFailed, false}, {stage::failed, true},
};

// True for the final stages of the table; false for any other text, also the empty one.
constexpr bool isFinalUpdateStage(std::string_view stageName) noexcept {
  for (const UpdateStage& s : kUpdateStages)
    if (s.name == stageName) return s.final;
  return false;
}

// The codes the plug-in itself gives a request whose updater ended without a final status (the
// updater never writes them).
inline constexpr std::string_view kUpdaterExitedBeforeFinalStatus = "updater_exited_before_final_status";
inline constexpr std::string_view kUpdaterExitedWithoutStatus = "updater_exited_without_status";

// The failure codes after which a failed swap is run again: the updater takes the same request
// again, the plug-in launches a new one. Compared exactly.
inline constexpr std::string_view kRetryableFailureCodes[] = {
    "download_start_failed",         "download_http_error", "download_io_error",
    "swap_host_still_running",       "swap_in_progress",    "unexpected_exception",
    kUpdaterExitedBeforeFinalStatus, kUpdaterExitedWithoutStatus,
};

constexpr bool isRetryableFailureCode(std::string_view errorCode) noexcept {
  for (const std::string_view c : kRetryableFailureCodes)
    if (c == errorCode) return true;
  return false;
}

}  // namespace qm::updater
