#pragma once
// The swap helper: moves the installed plug-in bundle aside and the staged bundle into its place
// for an updater that lacks the rights to do so itself. It trusts none of its arguments: only the
// one fixed target is accepted, and every other path must lie strictly inside the real user's
// swap operations folder.

#include <string>
#include <vector>

namespace qm::helper {

enum class HelperErrorKind { invalidArgs, invalidPath, io };

// An error of the helper's own (exit code 2).
struct HelperError {
  HelperErrorKind kind;
  std::string message;
  std::string text() const;  // "invalid_args: ...", "invalid_path: ...", "io: ..."
};

// Any other failure (exit code 3), with the system's description.
struct SystemError {
  std::string description;
};

// "." and ".." removed; a relative path is taken against the working folder. No link resolved.
std::string normalizePath(const std::string& path);

// `path` normalised with every symbolic link resolved; components that do not exist are kept
// as written. Returns false when the links loop or cannot be read.
bool resolveLinks(const std::string& path, std::string& resolved);

// Faults for the test build only (the installed program never sets any): file systems that
// refuse the exchange, moves that fail, and the helper killed around its exchange.
struct HelperFaults {
  bool refuseExchange = false;    // the exchange fails with EINVAL, as on a file system without it
  bool failMoveAside = false;     // moving the replaced bundle aside fails with EIO
  bool failExchangeBack = false;  // exchanging it back fails with EIO
  bool failMoveIn = false;        // without exchange, moving the new bundle into place fails with EIO
  bool killBeforeExchange = false;
  bool killAfterExchange = false;
  bool killBeforeClearingAside = false;  // killed as the installed bundle's leftover is to be deleted
  // From a comma-separated list of the names above in snake_case ("refuse_exchange", ...).
  static HelperFaults parse(const std::string& list);
};

class QuillomancerUpdaterHelper {
 public:
  // allowedTarget: the only target accepted. homeOverride: empty in the installed program (the
  // real user's home comes from the user database); the test build fixes it at compile time.
  QuillomancerUpdaterHelper(std::string allowedTarget, std::string homeOverride);

  // Runs the command line (program name excluded). Returns the exit code; on failure
  // `errorLine` holds the line for standard error ("helper_error: ...\n").
  int run(const std::vector<std::string>& arguments, std::string& errorLine) const noexcept;

  // Checks the four (normalised) paths and returns them as they will be acted on: the target
  // as given, the others with links resolved. Throws HelperError.
  struct CheckedPaths {
    std::string root, target, staged, backup, replacing;
  };
  CheckedPaths validate(const std::string& target, const std::string& staged,
                        const std::string& backup, const std::string& replacing) const;

  // Performs the swap on checked paths. Throws HelperError or SystemError.
  void apply(const CheckedPaths& paths) const;

  // The operations root with links resolved; throws HelperError when the home is unknown.
  std::string operationsRoot() const;

  void setFaultsForTests(const HelperFaults& faults) { faults_ = faults; }

 private:
  HelperFaults faults_;
  std::string allowedTarget_;
  std::string homeOverride_;
};

}  // namespace qm::helper
