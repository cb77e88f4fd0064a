#include "qm/updater/folder_listing.h"

#include "qm/updater/errors.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

namespace qm::updater {

std::vector<FolderEntry> listFolder(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) throw platformErrorFromErrno(errno, folder);
  std::vector<FolderEntry> entries;
  try {
    errno = 0;
    while (const dirent* d = ::readdir(dir)) {
      if (d->d_name[0] != '.') {
        FolderEntry e;
        e.name = d->d_name;
        struct stat st {};
        if (::lstat((folder + "/" + e.name).c_str(), &st) == 0) {
          e.timeKnown = true;
          e.mtime = st.st_mtim;
        }
        entries.push_back(std::move(e));
      }
      errno = 0;
    }
  } catch (...) {
    ::closedir(dir);
    throw;
  }
  const int err = errno;
  ::closedir(dir);
  if (err) throw platformErrorFromErrno(err, folder);
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return entries;
}

void sortNewestFirst(std::vector<FolderEntry>& entries) {
  std::stable_sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
    if (a.timeKnown != b.timeKnown) return a.timeKnown;
    if (!a.timeKnown) return false;
    if (a.mtime.tv_sec != b.mtime.tv_sec) return a.mtime.tv_sec > b.mtime.tv_sec;
    return a.mtime.tv_nsec > b.mtime.tv_nsec;
  });
}

std::string fileExtension(const std::string& name) {
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return {};
  return name.substr(dot + 1);
}

std::string fileStem(const std::string& name) {
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name;
  return name.substr(0, dot);
}

}  // namespace qm::updater
