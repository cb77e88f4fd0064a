#pragma once
// The updater's folder layout under "Library/Application Support/Quillomancer/Updates" of the
// user's home. Computing it touches nothing on disk; each component creates what it writes into.

#include <string>

namespace qm::updater {

struct AppPaths {
  std::string baseDirectory;            // the updates folder
  std::string cacheDirectory;           // the updates folder itself
  std::string statusDirectory;          // + "/status"
  std::string requestsDirectory;        // + "/requests"
  std::string logFile;                  // + "/updater.log"
  std::string swapStateDirectory;       // + "/SwapState"
  std::string swapOperationsDirectory;  // + "/SwapState/operations"
  std::string swapLocksDirectory;       // + "/SwapState/locks"

  // The layout below a given home folder.
  static AppPaths forHome(const std::string& homeDirectory);

  // The layout for the current user: $HOME when it is an absolute path, else the home folder of
  // the user database entry of the real user id. Every call gives the same layout.
  static AppPaths defaultPaths();
};

// The current user's home folder as defaultPaths() finds it.
std::string currentUserHomeDirectory();

}  // namespace qm::updater
