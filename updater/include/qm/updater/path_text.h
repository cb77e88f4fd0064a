#pragma once
// Splitting a path at its last "/", as text: nothing is looked up on disk.

#include <string>

namespace qm::updater {

// The folder part: "." when there is no "/", "/" for an item at the root.
inline std::string parentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The part after the last "/" (the whole text when there is none).
inline std::string lastComponent(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace qm::updater
