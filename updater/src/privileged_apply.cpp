#include "qm/updater/privileged_apply.h"

#include "qm/platform/process.h"
#include "qm/updater/errors.h"
#include "qm/updater/file_operations.h"
#include "qm/updater/path_text.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::updater {

namespace {

std::string trimmed(const std::string& text) {
  const char* space = " \t\r\n\v\f";
  const size_t first = text.find_first_not_of(space);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// Valid UTF-8 or nothing (undecodable helper output counts as empty).
bool isUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 4;
    if (extra == 4 || (extra > 0 && i + extra >= text.size())) return false;
    for (size_t k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    i += extra + 1;
  }
  return true;
}

}  // namespace

std::vector<std::string> defaultHelperCandidates(const std::string& programPath,
                                                 const std::string& updatesFolder) {
  std::vector<std::string> out;
  if (!programPath.empty()) out.push_back(parentOf(programPath) + "/" + kHelperName);
  out.push_back(std::string("/Library/Application Support/Quillomancer/Updater/") + kHelperName);
  out.push_back(std::string("/Applications/QuillomancerUpdater.app/Contents/MacOS/") + kHelperName);
  out.push_back(updatesFolder + "/" + kHelperName);
  return out;
}

std::optional<std::string> helperBinaryPath(const std::vector<std::string>& candidates) {
  for (const auto& c : candidates) {
    struct stat st {};
    if (::stat(c.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(c.c_str(), X_OK) == 0) return c;
  }
  return std::nullopt;
}

void rollbackSwap(const SwapLocations& where) {
  // The installed bundle is made whole beside the target and put in place in one step: exchanged
  // with whatever stands there, so the target never stands empty on the way, or renamed into an
  // empty target. An empty target is filled first: what stands beside it (after a kill between
  // two moves, the whole new bundle) is cleared only afterwards.
  const std::string sibling = exchangeSiblingOf(where.target);
  std::string reasons;
  if (isRealFolder(where.backup)) {
    int e = 0;
    if (!itemExists(where.target)) {
      e = copyIntoEmpty(where.backup, where.target);
      if (e == 0) clearBeside(where.target);  // only litter now: a later clearing takes what stays
    } else {
      e = clearBeside(where.target);
      if (e == 0) e = copyItem(where.backup, sibling);
      if (e == 0) e = putInPlace(sibling, where.target);
    }
    if (e == 0) return;
    reasons = "backup copy failed: " + errnoDescription(e);
  }
  if (itemExists(where.replacing)) {
    int e = 0;
    if (!itemExists(where.target)) {
      e = moveItem(where.replacing, where.target);
    } else {
      e = clearBeside(where.target);
      if (e == 0) e = moveItem(where.replacing, sibling);
      if (e == 0 && (e = putInPlace(sibling, where.target)) != 0) moveItem(sibling, where.replacing);
    }
    if (e == 0) return;
    if (!reasons.empty()) reasons += "; ";
    reasons += "moving back failed: " + errnoDescription(e);
  }
  throw UpdaterError(UpdaterErrorCode::swapRollbackFailed,
                     reasons.empty() ? "rollback sources missing" : reasons);
}

bool tryPrivilegedHelperApplyIfNeeded(const SwapLocations& where, int moveErrno,
                                      const std::vector<std::string>& candidates) {
  if (!isPermissionErrno(moveErrno)) return false;
  const auto helper = helperBinaryPath(candidates);
  if (!helper)
    throw UpdaterError(UpdaterErrorCode::swapApplyFailed, "permission denied and helper binary not found");

  // What each bundle looks like whole, so that what the helper left at the target can be told.
  const std::optional<std::string> newPrint = treeFingerprint(where.staged);
  const std::optional<std::string> oldPrint = treeFingerprint(where.target);

  qm::platform::ProcessOptions options;
  options.captureOutput = false;
  options.captureStandardErrorOnly = true;
  const auto result = qm::platform::runProcess(
      *helper, {"apply", where.target, where.staged, where.backup, where.replacing}, options);
  if (!result.started) throw FileOperationError(result.spawnErrno, *helper);
  if (result.exitCode == 0) return true;

  std::string detail = result.termSignal != 0
                           ? "privileged helper failed with signal " + std::to_string(result.termSignal)
                           : "privileged helper failed with exit " + std::to_string(result.exitCode);
  const std::string text = isUtf8(result.standardError) ? trimmed(result.standardError) : "";
  if (!text.empty()) detail += ": " + text;

  // The outcome is what the helper left at the target. The new bundle whole: applied (what
  // stands beside it is cleared later). The installed bundle untouched after a helper that was
  // killed: nothing was changed, and the swap may be run again. Neither: the installed bundle
  // goes back here.
  const Standing now = standingAt(where.target, newPrint, oldPrint);
  if (now == Standing::newBundle) return true;
  const bool untouched = now == Standing::oldBundle;
  if (untouched && result.termSignal != 0)
    throw UpdaterError(UpdaterErrorCode::unexpectedException, detail + "; nothing was changed");
  if (!untouched) {
    try {
      rollbackSwap(where);
    } catch (const UpdaterError& e) {
      throw UpdaterError(UpdaterErrorCode::swapRollbackFailed, detail + "; rollback: " + e.detail);
    }
  }
  throw UpdaterError(UpdaterErrorCode::swapApplyFailed, detail);
}

}  // namespace qm::updater
