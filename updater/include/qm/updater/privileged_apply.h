#pragma once
// The swap's fallback when the updater lacks the rights to move the installed bundle: the swap
// helper program does the two moves. And the rollback that puts the installed bundle back.

#include <optional>
#include <string>
#include <vector>

namespace qm::updater {

struct SwapLocations {
  std::string target;     // the installed bundle
  std::string staged;     // the replacement bundle in the operation's staging folder
  std::string backup;     // the copy of the installed bundle taken before the swap
  std::string replacing;  // where the installed bundle is moved aside
};

inline constexpr const char* kHelperName = "QuillomancerUpdaterHelper";

// Where to look for the helper, in order: beside the running updater program (its folder from
// /proc/self/exe, given as `programPath`), the two system locations, then the updates folder.
std::vector<std::string> defaultHelperCandidates(const std::string& programPath,
                                                 const std::string& updatesFolder);

// The first candidate that is an executable file.
std::optional<std::string> helperBinaryPath(const std::vector<std::string>& candidates);

// Offers a failed move to the helper. Returns false (nothing done) when `moveErrno` is not a
// permission error; true when the helper applied the swap, or failed or was killed but left the
// new bundle whole at the target (compared by treeFingerprint). Otherwise throws UpdaterError:
// swap_apply_failed ("permission denied and helper binary not found", or "privileged helper
// failed with exit <n>[: <its standard error>]"), after putting the installed bundle back when
// the helper left neither bundle whole at the target (swap_rollback_failed when that fails too);
// unexpected_exception ("privileged helper failed with signal <n>; nothing was changed") when it
// was killed and the installed bundle stands untouched, so that the swap may be run again.
bool tryPrivilegedHelperApplyIfNeeded(const SwapLocations& where, int moveErrno,
                                      const std::vector<std::string>& candidates);

// Puts the installed bundle back: a copy of the backup is made beside the target and exchanged
// with whatever stands there (the target is never emptied first), or renamed into an empty
// target before anything beside it is cleared; when that cannot be done, the moved-aside bundle
// goes back the same way. Throws UpdaterError swap_rollback_failed with the reasons; what stands
// at the target then stays.
void rollbackSwap(const SwapLocations& where);

}  // namespace qm::updater
