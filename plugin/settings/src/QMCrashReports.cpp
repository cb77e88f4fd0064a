// What Send Log gathers besides the plug-in's log: the newest crash reports (".ips" files) of the
// diagnostic-report folders, the host's first, and the updater's log. Files are only read when
// they are regular files reached without a symbolic link, and never more than 16 MiB of one.
// Sizes that must keep the upload within what the service takes are counted as the text is sent:
// escaped in JSON, where a control byte takes six.

#include "QMSettingsCardSupport.h"

#include "QuillomancerServer.h"

#include "qm/platform/paths.h"
#include "qm/platform/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <set>
#include <string_view>

namespace {

struct CrashCandidate {
  std::string path;
  std::string name;
  timespec modified{};
  off_t size = 0;
  bool hostMatched = false;
};

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool HasIpsExtension(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot != std::string_view::npos && dot > 0 && Lower(name.substr(dot + 1)) == "ips";
}

// The visible regular ".ips" files directly inside `folder` (no subfolders, no links).
void ListCandidates(const std::string& folder, std::vector<CrashCandidate>& out) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.' || !HasIpsExtension(name)) continue;
    CrashCandidate candidate;
    candidate.path = qm::platform::joinPath(folder, name);
    struct stat info {};
    if (lstat(candidate.path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    candidate.name = name;
    candidate.modified = info.st_mtim;
    candidate.size = info.st_size;
    candidate.hostMatched = QMIsLikelyHostCrashReportName(Lower(name));
    out.push_back(std::move(candidate));
  }
  closedir(dir);
}

// Where to cut `text` to keep at most `length` bytes of it: after the last line end within them,
// else at `length` (a character boundary the caller chose).
size_t LineCut(std::string_view text, size_t length) {
  if (length >= text.size()) return text.size();
  const size_t lineEnd = text.substr(0, length).rfind('\n');
  return lineEnd != std::string_view::npos ? lineEnd + 1 : length;
}

// Reads a regular file without following a link, up to `limit` bytes; a longer file is cut after
// its last line end within the limit (or at a character boundary when it has none there).
// `modified` gets the file's modification time as read now.
bool ReadRegularFile(const std::string& path, size_t limit, std::string& out, time_t& modified) {
  out.clear();
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return false;
  }
  modified = info.st_mtim.tv_sec;
  // One byte past the limit tells whether the file goes on.
  std::array<char, 1 << 16> block{};
  while (out.size() <= limit) {
    const ssize_t n = read(fd, block.data(), std::min(block.size(), limit + 1 - out.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return false;
    }
    if (n == 0) break;
    out.append(block.data(), static_cast<size_t>(n));
  }
  close(fd);
  if (out.size() > limit) {
    // The byte past the limit is still there, so a character running across the limit is seen.
    out.resize(LineCut(out, qm::platform::utf8PrefixLength(out, limit)));
  }
  return true;
}

// The report's text: as is when it is UTF-8, else read as ISO Latin 1.
std::string DecodeReport(const std::string& bytes) {
  if (qm::platform::isValidUtf8(bytes)) return bytes;
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

bool NewerFirst(const CrashCandidate& a, const CrashCandidate& b) {
  if (a.modified.tv_sec != b.modified.tv_sec) return a.modified.tv_sec > b.modified.tv_sec;
  if (a.modified.tv_nsec != b.modified.tv_nsec) return a.modified.tv_nsec > b.modified.tv_nsec;
  return a.path < b.path;
}

}  // namespace

bool QMIsLikelyHostCrashReportName(std::string_view name) {
  for (std::string_view host : {"pluginrunner", "pro tools", "protools", "avidmediacomposer", "media composer",
                                "mediacomposer"}) {
    if (name.find(host) != std::string_view::npos) return true;
  }
  return false;
}

std::vector<std::string> QMDefaultCrashReportFolders() {
  return {qm::platform::libraryPath("Logs/DiagnosticReports"), "/Library/Logs/DiagnosticReports"};
}

void QMCutForUpload(std::string& text, size_t sentBytes) {
  if (QMJSONStringBytes(text) > sentBytes) text.resize(LineCut(text, QMJSONStringPrefixLength(text, sentBytes)));
}

void QMKeepEndForUpload(std::string& text, size_t sentBytes) {
  const size_t sent = QMJSONStringBytes(text);
  if (sent <= sentBytes) return;
  // No character is sent as more than six bytes, so this start leaves out more than the excess.
  text.erase(0, QMJSONStringPrefixLength(text, sent - sentBytes + 6));
}

bool QMCollectCrashReportsForManualUpload(std::string& bundle, std::vector<std::string>* names, int* hostMatchedCount,
                                          const std::vector<std::string>& folders, size_t sentBytes) {
  bundle.clear();
  if (names) names->clear();
  if (hostMatchedCount) *hostMatchedCount = 0;
  std::vector<CrashCandidate> candidates;
  for (const std::string& folder : folders) ListCandidates(folder, candidates);
  if (candidates.empty()) return false;
  std::sort(candidates.begin(), candidates.end(), NewerFirst);

  std::set<std::string> taken;
  size_t hostTaken = 0, otherTaken = 0;
  size_t bundleSent = 0;
  for (const bool hostPass : {true, false}) {
    for (const CrashCandidate& candidate : candidates) {
      if (candidate.hostMatched != hostPass) continue;
      if ((hostPass ? hostTaken : otherTaken) >= (hostPass ? kQMMaxHostCrashReports : kQMMaxOtherCrashReports)) break;
      if (candidate.path.empty() || taken.count(candidate.path)) continue;
      // A file read whole is at least its listed size once decoded and sent: one that cannot fit
      // is not read at all (a longer file may be cut short at a line end, so it is read and measured).
      if (!bundle.empty() && candidate.size >= 0 && static_cast<size_t>(candidate.size) <= kQMCrashReportReadLimit &&
          (bundle.size() + static_cast<size_t>(candidate.size) > kQMCrashBundleMaxBytes ||
           bundleSent + static_cast<size_t>(candidate.size) > sentBytes))
        continue;
      std::string bytes;
      time_t modified = 0;
      if (!ReadRegularFile(candidate.path, kQMCrashReportReadLimit, bytes, modified)) continue;
      std::string text = DecodeReport(bytes);
      if (text.empty()) continue;
      const std::string header = "\n\n===== CRASH REPORT " + std::to_string(taken.size() + 1) +
                                 " =====\nSOURCE_FILE: " + (candidate.name.empty() ? "(unknown)" : candidate.name) +
                                 "\nSOURCE_SCOPE: " + (hostPass ? "host-matched" : "latest-any") +
                                 "\nSOURCE_PATH: " + candidate.path +
                                 "\nSOURCE_MTIME_EPOCH: " + std::to_string(static_cast<long long>(modified)) +
                                 "\nSOURCE_SIZE_BYTES: " + std::to_string(static_cast<unsigned long long>(candidate.size)) +
                                 "\n\n";
      const size_t headerSent = QMJSONStringBytes(header);
      size_t sectionSent = headerSent + QMJSONStringBytes(text);
      if (!bundle.empty() && (bundle.size() + header.size() + text.size() > kQMCrashBundleMaxBytes ||
                              bundleSent + sectionSent > sentBytes))
        continue;
      if (sectionSent > sentBytes) {
        // The first report goes whatever its size, but only as much of it as the upload can carry.
        if (headerSent >= sentBytes) continue;
        QMCutForUpload(text, sentBytes - headerSent);
        if (text.empty()) continue;
        sectionSent = headerSent + QMJSONStringBytes(text);
      }
      bundle += header;
      bundle += text;
      bundleSent += sectionSent;
      taken.insert(candidate.path);
      if (names) names->push_back(candidate.name);
      ++(hostPass ? hostTaken : otherTaken);
    }
  }
  if (hostMatchedCount) *hostMatchedCount = static_cast<int>(hostTaken);
  return !taken.empty();
}

bool QMReadUpdaterLogForManualUpload(std::string& text, std::string* path) {
  text.clear();
  if (path) path->clear();
  const std::string location = qm::platform::libraryPath("Application Support/Quillomancer/Updates/updater.log");
  std::string bytes;
  time_t modified = 0;
  // The updater moves its log aside at 5 MiB, so 16 MiB holds all of it.
  if (!ReadRegularFile(location, kQMCrashReportReadLimit, bytes, modified) || !qm::platform::isValidUtf8(bytes))
    return false;
  text = std::move(bytes);
  if (path) *path = location;
  return !text.empty();
}
