#pragma once
// Folder listings for the cache and the pending scan: direct entries without hidden ones, with
// modification times, sorted so that every run makes the same choice.

#include <ctime>
#include <string>
#include <vector>

namespace qm::updater {

struct FolderEntry {
  std::string name;
  bool timeKnown = false;  // false: counts as the most distant past
  timespec mtime{};
};

// Entries in name order. Throws PlatformError when the folder cannot be listed.
std::vector<FolderEntry> listFolder(const std::string& folder);

// Later times first; an unknown time is older than everything; equal times keep their order.
void sortNewestFirst(std::vector<FolderEntry>& entries);

// The name's last extension ("" when none; a leading dot does not start one).
std::string fileExtension(const std::string& name);
// The name without its last extension.
std::string fileStem(const std::string& name);

}  // namespace qm::updater
