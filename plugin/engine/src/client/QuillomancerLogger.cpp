#include "QuillomancerLogger.h"

#include "QuillomancerServerPrivate.h"

#include "qm/platform/files.h"
#include "qm/platform/paths.h"
#include "qm/platform/text.h"
#include "qm/platform/time.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

bool isAscii(std::string_view s) {
  unsigned char any = 0;
  for (const char c : s) any |= static_cast<unsigned char>(c);
  return any < 0x80;
}

// Invalid bytes become U+FFFD, so the file always stays readable as UTF-8.
std::string toValidUtf8(std::string_view s) {
  if (isAscii(s) || qm::platform::isValidUtf8(s)) return std::string(s);
  std::string out;
  out.reserve(s.size() + 16);
  for (size_t i = 0; i < s.size();) {
    const size_t n = QMUtf8SequenceLength(s, i);
    if (n == 0) {
      out.append("\xEF\xBF\xBD");
      ++i;
    } else {
      out.append(s.substr(i, n));
      i += n;
    }
  }
  return out;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

std::string QuillomancerLogger::defaultFolder() { return qm::platform::libraryPath("Logs/Quillomancer"); }

QuillomancerLogger& QuillomancerLogger::shared() {
  // Destroyed when the module is unloaded (or the process ends), which a host does only once no
  // job is running: a bundle that is loaded and unloaded again leaves nothing behind.
  static QuillomancerLogger instance(defaultFolder());
  return instance;
}

QuillomancerLogger::QuillomancerLogger(const std::string& folder) {
  if (folder.empty()) return;
  qm::platform::makeDirectories(folder, 0755);  // errors show up as failed appends, which are silent
  logPath_ = qm::platform::joinPath(folder, "quillomancer.log");
  std::string banner = "\n[" + qm::platform::localNowString() + "] ";
  banner.append(kSessionBanner);
  banner.push_back('\n');
  appendString(banner);
}

QuillomancerLogger::~QuillomancerLogger() {
  std::lock_guard<std::mutex> guard(lock_);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void QuillomancerLogger::logMessage(const char* message) noexcept {
  if (!message) return;
  logMessage(std::string_view(message));
}

void QuillomancerLogger::logMessage(std::string_view message) noexcept {
  try {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (!logPath_.empty()) {
        const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
        const std::string& stamp = stampLocked(now);
        std::string line;
        line.reserve(stamp.size() + message.size() + 4);
        line += '[';
        line += stamp;
        line += "] ";
        line.append(message);
        line.push_back('\n');
        appendLocked(line);
      }
    }
    std::lock_guard<std::mutex> guard(observerLock_);
    if (observer_) observer_(std::string(message));
  } catch (...) {
    // The log never reports a failure.
  }
}

void QuillomancerLogger::setMessageObserver(std::function<void(const std::string&)> observer) {
  std::lock_guard<std::mutex> guard(observerLock_);
  observer_ = std::move(observer);
}

void QMLogFormat(const char* format, ...) {
  if (!format) return;
  char small[512];
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (needed < 0) {
    va_end(copy);
    return;
  }
  if (static_cast<size_t>(needed) < sizeof small) {
    va_end(copy);
    QuillomancerLogger::shared().logMessage(std::string_view(small, static_cast<size_t>(needed)));
    return;
  }
  try {
    std::vector<char> big(static_cast<size_t>(needed) + 1);
    std::vsnprintf(big.data(), big.size(), format, copy);
    va_end(copy);
    QuillomancerLogger::shared().logMessage(std::string_view(big.data(), static_cast<size_t>(needed)));
  } catch (...) {
    va_end(copy);
  }
}

void QMLogRenderWindow(std::int64_t hostLocation, std::int64_t localStart, std::int32_t size) {
  try {
    std::string line;
    line.reserve(112);
    char digits[24];
    const auto number = [&](auto value) { line.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr); };
    line += "  Render window: hostLocation=";
    number(hostLocation);
    line += " localStart=";
    number(localStart);
    line += " size=";
    number(size);
    QuillomancerLogger::shared().logMessage(line);
  } catch (...) {
  }
}

void QuillomancerLogger::appendString(std::string_view text) noexcept {
  std::lock_guard<std::mutex> guard(lock_);
  try {
    appendLocked(text);
  } catch (...) {
  }
}

const std::string& QuillomancerLogger::stampLocked(std::int64_t now) {
  if (now != stampSecond_) {
    stamp_ = qm::platform::formatLocalTimestamp(static_cast<std::time_t>(now));
    stampSecond_ = now;
  }
  return stamp_;
}

// Opens the log for appending, only ever as a regular file of its own: a link at the path is
// never followed (it is removed and the log made anew beside it, its target left as it is), and
// anything else there (a folder, a FIFO, a device) leaves the plug-in without a log rather than
// blocking it. The open itself never waits (a FIFO without a reader would hold it for ever).
bool QuillomancerLogger::openLocked() {
  if (logPath_.empty()) return false;
  if (fd_ >= 0) ::close(fd_);
  constexpr int kFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
  fd_ = ::open(logPath_.c_str(), kFlags | O_CREAT, 0644);
  if (fd_ < 0 && errno == ELOOP) {
    struct stat link {};
    if (::lstat(logPath_.c_str(), &link) == 0 && S_ISLNK(link.st_mode) && ::unlink(logPath_.c_str()) == 0)
      fd_ = ::open(logPath_.c_str(), kFlags | O_CREAT | O_EXCL, 0644);
  }
  if (fd_ < 0) return false;
  struct stat info {};
  if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
  fileBytes_ = static_cast<std::uint64_t>(info.st_size);
  return true;
}

// The open file, still the one at the log's path (a file deleted under it is made anew), with its size.
bool QuillomancerLogger::checkFileLocked() {
  struct stat info {};
  if (fd_ < 0 || ::fstat(fd_, &info) != 0 || info.st_nlink == 0) return openLocked();
  fileBytes_ = static_cast<std::uint64_t>(info.st_size);
  return true;
}

// Deletes the file and starts a new one.
void QuillomancerLogger::restartFileLocked() {
  ::unlink(logPath_.c_str());
  if (!openLocked()) fileBytes_ = 0;
}

void QuillomancerLogger::writeLocked(std::string_view bytes) {
  if (fd_ < 0 || bytes.empty()) return;
  if (writeAll(fd_, bytes)) fileBytes_ += bytes.size();
}

// Written at once, never held in memory: a line is in the file when its call returns, so a process
// stopped by a signal a moment later (a host ending with SIGTERM, a crash) loses none of its lines.
void QuillomancerLogger::appendLocked(std::string_view text) {
  if (logPath_.empty() || !checkFileLocked()) return;
  if (fileBytes_ >= kMaxLogBytes) restartFileLocked();
  writeLocked(toValidUtf8(text));
}

std::string QMLogUploadSlice(const std::string& text) {
  const size_t limit = QuillomancerLogger::kUploadTailBytes;
  if (text.size() <= limit) return text;

  // The cut may fall inside a character: move forward to the next character boundary.
  std::string_view tail;
  bool decoded = false;
  const size_t cut = text.size() - limit;
  for (size_t shift = 0; shift <= 7 && cut + shift < text.size(); ++shift) {
    tail = std::string_view(text).substr(cut + shift);
    if (qm::platform::isValidUtf8(tail)) {
      decoded = true;
      break;
    }
  }
  if (!decoded || tail.empty()) return text;

  const size_t banner = tail.find(QuillomancerLogger::kSessionBanner);
  if (banner == std::string_view::npos) return text;
  const size_t lineEnd = tail.rfind('\n', banner);
  const size_t lineStart = lineEnd == std::string_view::npos ? 0 : lineEnd + 1;
  return std::string(tail.substr(lineStart));
}

std::optional<std::string> QuillomancerLogger::getLogContents() noexcept {
  if (logPath_.empty()) return std::nullopt;
  try {
    std::string text;
    {
      std::lock_guard<std::mutex> guard(lock_);
      // Never more than the deletion threshold plus one line can be there; the bound is generous.
      // Only the plug-in's own file is sent: a link at the path is not followed.
      qm::platform::FileOpenOptions options;
      options.maxBytes = 64u << 20;
      if (qm::platform::readRegularFile(logPath_, text, options) != qm::platform::FileRefusal::none)
        return std::nullopt;
    }
    if (text.empty()) return text;
    // A torn or foreign byte must not make the whole log unavailable to Send Log.
    text = toValidUtf8(text);
    return QMLogUploadSlice(text);
  } catch (...) {
    return std::nullopt;
  }
}
