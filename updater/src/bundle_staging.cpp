#include "qm/updater/bundle_staging.h"

#include "qm/platform/process.h"
#include "qm/updater/errors.h"
#include "qm/updater/file_operations.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace qm::updater {

namespace {

constexpr int kMaxLinks = 40;

std::string lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The extension of a file name as a file manager sees it ("" for none or a leading dot only).
std::string extensionOf(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return "";
  return name.substr(dot + 1);
}

bool isLitter(const std::string& name) {
  return name == "__MACOSX" || name == ".DS_Store" || name.rfind("._", 0) == 0;
}

[[noreturn]] void invalid(const std::string& detail) {
  throw UpdaterError(UpdaterErrorCode::swapArtifactInvalid, detail);
}

std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    if (next > pos) out.push_back(path.substr(pos, next - pos));
    pos = next + 1;
  }
  return out;
}

bool within(const std::vector<std::string>& path, const std::vector<std::string>& folder) {
  return path.size() >= folder.size() && std::equal(folder.begin(), folder.end(), path.begin());
}

// Follows the link at `link` the way the system would, and says whether every step of the way
// stays inside `folder` (both absolute, `folder` without links).
bool linkStaysInside(const std::string& link, const std::string& folder) {
  const std::vector<std::string> root = components(folder);
  std::vector<std::string> current = components(link);
  std::vector<std::string> pending;
  int links = 0;
  for (;;) {
    // `current` ends in a link: replace it by its target.
    std::string soFar;
    for (const auto& p : current) soFar += "/" + p;
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(soFar.c_str(), buf, sizeof buf - 1);
    if (n < 0 || ++links > kMaxLinks) return false;
    const std::string target(buf, static_cast<size_t>(n));
    current.pop_back();
    if (!target.empty() && target[0] == '/') return false;
    std::vector<std::string> parts = components(target);
    pending.insert(pending.end(), parts.rbegin(), parts.rend());
    bool sawLink = false;
    while (!pending.empty()) {
      const std::string part = pending.back();
      pending.pop_back();
      if (part == ".") continue;
      if (part == "..") {
        if (current.empty()) return false;
        current.pop_back();
      } else {
        current.push_back(part);
      }
      if (!within(current, root)) return false;
      std::string p;
      for (const auto& c : current) p += "/" + c;
      struct stat st {};
      if (::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        sawLink = true;
        break;
      }
    }
    if (!sawLink) return true;
  }
}

// Refuses archive output that could reach outside the staging folder.
void checkArchiveOutput(const std::string& staging) {
  char real[PATH_MAX];
  if (!::realpath(staging.c_str(), real)) throw FileOperationError(errno, staging);
  const std::string root = real;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    std::error_code sec;
    const fs::file_status st = it->symlink_status(sec);
    if (fs::is_symlink(st)) {
      if (!linkStaysInside(it->path().string(), root))
        invalid("artifact holds a link leading outside the staging folder: " +
                it->path().lexically_relative(root).string());
    } else if (!fs::is_regular_file(st) && !fs::is_directory(st)) {
      invalid("artifact holds an item that is neither file nor folder: " +
              it->path().lexically_relative(root).string());
    }
  }
  if (ec) throw FileOperationError(ec.value(), staging);
}

// The bundle: the shallowest item with the bundle extension, then by name; it must be a real
// folder. Nothing inside a bundle is looked at.
std::string chooseBundle(const std::string& staging) {
  struct Candidate {
    int depth;
    std::string name;
    fs::path path;
  };
  std::vector<Candidate> found;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(staging, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (isLitter(name) || lowercase(extensionOf(name)) != "aaxplugin") continue;
    found.push_back({it.depth(), it->path().lexically_relative(staging).string(), it->path()});
    it.disable_recursion_pending();
  }
  if (ec) throw FileOperationError(ec.value(), staging);
  if (found.empty()) invalid("no .aaxplugin found in artifact");
  const auto best = std::min_element(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return a.depth != b.depth ? a.depth < b.depth : a.name < b.name;
  });
  if (!isRealFolder(best->path.string())) invalid("bundle in artifact is not a folder: " + best->name);
  return best->path.string();
}

}  // namespace

void removeArchiveJunk(const std::string& folder) noexcept {
  try {
    std::vector<std::string> litter;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
      if (isLitter(it->path().filename().string())) litter.push_back(it->path().string());
    }
    std::stable_sort(litter.begin(), litter.end(),
                     [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const auto& item : litter)
      if (itemExists(item)) removeItem(item);
  } catch (...) {
  }
}

std::string stagePluginBundle(const std::string& artifact, const std::string& operationRoot,
                              const std::string& unzipProgram) {
  const std::string staging = operationRoot + "/staging";
  if (itemExists(staging)) removeItem(staging);
  createFolders(staging);

  const std::string extension = lowercase(extensionOf(fs::path(artifact).filename().string()));
  if (extension == "pkg") invalid("swap requires AAX artifact (.zip/.aaxplugin), received .pkg");
  if (extension == "zip") {
    qm::platform::ProcessOptions options;
    options.captureOutput = false;
    const auto result = qm::platform::runProcess(
        unzipProgram, {"-o", artifact, "-d", staging, "-x", "__MACOSX/*", "*/__MACOSX/*", "._*",
                       "*/._*", ".DS_Store", "*/.DS_Store"},
        options);
    if (!result.started) throw FileOperationError(result.spawnErrno, unzipProgram);
    if (result.exitCode != 0) invalid("unzip failed");
  } else if (extension == "aaxplugin") {
    copyItemReplaceIfExists(artifact, staging + "/Quillomancer.aaxplugin");
  } else {
    invalid("unsupported artifact extension");
  }

  checkArchiveOutput(staging);
  const std::string bundle = chooseBundle(staging);
  removeArchiveJunk(bundle);
  // The archive tool leaves its output to the page cache; the bundle goes in place of the
  // installed one, so it must be on the disk whole before that.
  if (int e = flushTree(bundle)) throw FileOperationError(e, bundle);
  return bundle;
}

}  // namespace qm::updater
